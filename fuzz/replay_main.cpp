// Runs fuzz inputs through a target's entry function without the fuzzer:
// every file named, and every file of every directory named, in name order.
// A crash or an uncaught exception fails the run; a path that does not exist
// holds no inputs yet.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  // The target changes the working directory: resolve every path first.
  std::vector<fs::path> inputs;
  for (int k = 1; k < argc; ++k) {
    const fs::path p = fs::absolute(argv[k]);
    if (fs::is_directory(p)) {
      std::vector<fs::path> here;
      for (const auto& e : fs::directory_iterator(p)) {
        if (e.is_regular_file()) here.push_back(e.path());
      }
      std::sort(here.begin(), here.end());
      inputs.insert(inputs.end(), here.begin(), here.end());
    } else if (fs::is_regular_file(p)) {
      inputs.push_back(p);
    } else {
      std::fprintf(stderr, "replay: %s does not exist (nothing to replay)\n", p.c_str());
    }
  }
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "replay: %s\n", p.filename().c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::fprintf(stderr, "replay: %zu inputs ran\n", inputs.size());
  return 0;
}
