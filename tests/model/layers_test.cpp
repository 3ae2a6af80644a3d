// The source folders form layers: io <- model <- laws <- {terrain,
// simulation, routing, output} <- load <- calibration <- driver. A file may include
// its own layer and the ones below it; only io opens files. The laws are
// functions of numbers: they include other laws and the model's limits only.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

const std::map<std::string, int> kLayer = {{"io", 0},         {"model", 1},      {"laws", 2},
                                           {"terrain", 3},    {"simulation", 3}, {"routing", 3},
                                           {"output", 3},     {"load", 4},       {"calibration", 5},
                                           {"driver", 6}};

TEST(Layers, IncludesRunDownTheLayersAndOnlyIoOpensFiles) {
  const std::filesystem::path src = test::source_dir() / "src";
  const std::regex include_re("#include \"([a-z_]+)/");
  const std::regex law_include_re("#include \"(?!laws/|model/limits\\.hpp\")[^\"]*\"");
  const std::regex open_re("fopen\\(|std::[io]?fstream|std::filebuf|\\bopen\\(");
  int files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(src)) {
    if (!e.is_regular_file()) continue;
    const std::string dir = e.path().parent_path().filename().string();
    ASSERT_TRUE(kLayer.count(dir)) << "folder " << dir << " has no layer";
    std::ifstream in(e.path());
    std::stringstream text;
    text << in.rdbuf();
    const std::string body = text.str();
    ++files;
    for (std::sregex_iterator m(body.begin(), body.end(), include_re), end; m != end; ++m) {
      const std::string to = (*m)[1];
      ASSERT_TRUE(kLayer.count(to)) << e.path() << " includes from unknown folder " << to;
      EXPECT_LE(kLayer.at(to), kLayer.at(dir)) << e.path() << " includes " << to << "/";
    }
    if (dir == "laws") {
      EXPECT_FALSE(std::regex_search(body, law_include_re)) << e.path() << " includes the program";
    }
    if (dir != "io") {
      EXPECT_FALSE(std::regex_search(body, open_re)) << e.path() << " opens a file";
    }
  }
  EXPECT_GT(files, 50);
}

}  // namespace
}  // namespace tarvex
