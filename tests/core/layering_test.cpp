// The core's folders are layers: base, model, flow, analysis, averages, study.
// A file may include headers of its own folder and of the folders below it,
// never of one above, and no core file includes a Qt header.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kLayers{"base", "model", "flow", "analysis", "averages", "study"};

int Layer(const std::string& folder) {
  for (size_t i = 0; i < kLayers.size(); ++i) {
    if (kLayers[i] == folder) return static_cast<int>(i);
  }
  return -1;
}

TEST(Layering, NoCoreFileIncludesAHigherFolderOrQt) {
  const fs::path core = fs::path(MDV_SOURCE_DIR) / "src" / "core";
  const std::regex quoted(R"(^\s*#\s*include\s*"core/([a-z_]+)/)");
  const std::regex qt(R"(^\s*#\s*include\s*<Q)");
  int files = 0, includes = 0;
  for (const auto& entry : fs::recursive_directory_iterator(core)) {
    if (!entry.is_regular_file()) continue;
    const fs::path rel = fs::relative(entry.path(), core);
    ASSERT_EQ(std::distance(rel.begin(), rel.end()), 2) << rel << ": every core file lies in a layer's folder";
    const int own = Layer(rel.begin()->string());
    ASSERT_GE(own, 0) << rel << ": a folder that is no layer";
    std::ifstream in(entry.path());
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
      ++lineNo;
      std::smatch m;
      EXPECT_FALSE(std::regex_search(line, qt)) << rel.string() << ":" << lineNo << ": " << line;
      if (!std::regex_search(line, m, quoted)) continue;
      ++includes;
      const int used = Layer(m[1].str());
      EXPECT_GE(used, 0) << rel.string() << ":" << lineNo << ": no such layer: " << line;
      EXPECT_LE(used, own) << rel.string() << ":" << lineNo << ": includes a higher layer: " << line;
    }
    ++files;
  }
  EXPECT_GT(files, 60);
  EXPECT_GT(includes, 100);
}

}  // namespace
