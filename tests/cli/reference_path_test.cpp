// `run --reference` (the literal path: full elimination every step, two kernel
// calls per point, one thread) and the fast path with any --threads save the
// same bytes, vortex file and records alike.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch_text.h"

namespace fs = std::filesystem;

namespace {

using mdv::test::Slurp;

TEST(ReferencePath, SameFilesAsTheFastPathForEveryThreadCount) {
  const fs::path dir = fs::temp_directory_path() / ("mdv_reference_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  struct Variant {
    const char* name;
    std::string options;
  };
  const std::vector<Variant> variants = {
      {"reference", "--reference"}, {"one thread", "--threads 1"}, {"default", ""}, {"three threads", "--threads 3"}};
  std::string firstState, firstPulsation, firstTrack;
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    // 12 steps: time 0 to 0.0575 with 0.005.
    const std::string cmd = "cd '" + dir.string() + "' && '" + MDV_BATCH_EXE +
                            "' run --quiet --max-time 0.0575 --save s.evt --pulsation-points '0.2,0.05;-0.2,0.3'"
                            " --pulsation-file p.pls --track-file t.fvt " +
                            v.options + " >out.txt 2>err.txt";
    const int raw = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << Slurp(dir / "err.txt");
    const std::string state = Slurp(dir / "s.evt");
    const std::string pulsation = Slurp(dir / "p.pls");
    const std::string track = Slurp(dir / "t.fvt");
    ASSERT_GT(state.size(), 1000u);
    if (firstState.empty()) {
      firstState = state;
      firstPulsation = pulsation;
      firstTrack = track;
      continue;
    }
    EXPECT_TRUE(state == firstState) << "vortex file differs from the reference";
    EXPECT_TRUE(pulsation == firstPulsation) << "pulsation record differs from the reference";
    EXPECT_TRUE(track == firstTrack) << "circulation record differs from the reference";
  }
  fs::remove_all(dir);
}

}  // namespace
