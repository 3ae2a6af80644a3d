# The two everyday commands; see README.md.
.PHONY: demo test build calibrate

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

# Runs the calibration search on a scratch copy of the example catchment
# (out/calibrate); SEARCH_ARGS adds options, e.g. SEARCH_ARGS="-j 2".
# With SEARCH_ARGS="--resume" the search in out/calibrate goes on where it
# stopped: the scratch copy is kept.
calibrate:
	@test -x build/tarvex || { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build --target tarvex -j$$(nproc); }
ifneq ($(filter --resume,$(SEARCH_ARGS)),)
	@test -f out/calibrate/sce_checkpoint.txt || { echo "make calibrate: no search to resume in out/calibrate (no sce_checkpoint.txt)" >&2; exit 1; }
else
	rm -rf out/calibrate && mkdir -p out/calibrate && cp examples/catchment/* out/calibrate/
endif
	cd out/calibrate && ../../build/tarvex --search --progress $(SEARCH_ARGS)
