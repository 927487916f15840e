// --precision: `run --precision double` saves the same bytes for any
// --threads and another state than the extended run; every command that
// evaluates the flow takes it; a wrong value and --reference with double
// are refused before anything is written.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/batch_text.h"

namespace fs = std::filesystem;

namespace {

using mdv::test::Slurp;

class Batch {
 public:
  Batch() : dir_(fs::temp_directory_path() / ("mdv_precision_" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~Batch() { fs::remove_all(dir_); }
  // Exit status of the batch tool with these arguments, run in the test's folder.
  int Run(const std::string& args) {
    const std::string cmd = "cd '" + dir_.string() + "' && '" + MDV_BATCH_EXE + "' " + args +
                            " >out.txt 2>err.txt";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string File(const std::string& name) const { return Slurp(dir_ / name); }
  bool Exists(const std::string& name) const { return fs::exists(dir_ / name); }

 private:
  fs::path dir_;
};

TEST(PrecisionOption, RunAndAnalysisFollowTheChoice) {
  Batch b;
  const std::string run = "run --quiet --max-time 0,06 ";
  ASSERT_EQ(b.Run(run + "--save e.evt"), 0) << b.File("err.txt");
  ASSERT_EQ(b.Run(run + "--precision double --threads 1 --save d1.evt"), 0) << b.File("err.txt");
  ASSERT_EQ(b.Run(run + "--precision double --threads 3 --save d3.evt"), 0) << b.File("err.txt");
  EXPECT_TRUE(b.File("d1.evt") == b.File("d3.evt")) << "thread counts differ";
  EXPECT_TRUE(b.File("d1.evt") != b.File("e.evt")) << "the double run is another arithmetic";

  struct Row {
    const char* name;
    std::string args;
  };
  for (const Row& row : {Row{"velocity", "velocity d1.evt 0,1 0,05"},
                         Row{"report", "report d1.evt"},
                         Row{"streamline", "streamline d1.evt 0,1 0,005 0,005 0,05"},
                         Row{"vortex-area", "vortex-area d1.evt"}}) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(b.Run(row.args + " --precision extended"), 0) << b.File("err.txt");
    const std::string extended = b.File("out.txt");
    ASSERT_EQ(b.Run(row.args + " --precision double"), 0) << b.File("err.txt");
    ASSERT_FALSE(extended.empty());
    if (std::string(row.name) == "streamline") {
      // Fifteen digits show the other arithmetic.
      EXPECT_NE(b.File("out.txt"), extended);
    } else {
      // Rounded for the engineer, the two agree.
      EXPECT_EQ(b.File("out.txt"), extended);
    }
  }

  for (const Row& row : {Row{"unknown value", "--precision quad"},
                         Row{"reference path", "--precision double --reference"}}) {
    SCOPED_TRACE(row.name);
    EXPECT_NE(b.Run(run + row.args + " --save refused.evt"), 0);
    EXPECT_FALSE(b.Exists("refused.evt"));
    EXPECT_NE(b.File("err.txt").find("--precision"), std::string::npos) << b.File("err.txt");
  }
}

}  // namespace
