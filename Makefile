# The two everyday commands; see README.md.
.PHONY: demo test build

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j$$(nproc)

# Builds the program if needed and runs the default calibration evaluation on
# the bundled example in a scratch copy.
demo:
	./scripts/demo.sh

# Builds everything and runs the whole test suite.
test:
	./scripts/test.sh
