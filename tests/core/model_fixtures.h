#pragma once
// Shared helpers of the flow-model tests: close comparison of reals and
// points with context, ready-built models and observers that record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/model/area.h"
#include "core/flow/circulation.h"
#include "core/model/model.h"
#include "core/base/observer.h"

namespace mdv::test {

inline std::string Show(Real v) {
  std::ostringstream s;
  s.precision(21);
  s << v;
  return s.str();
}

inline std::string Show(const TRealPoint& p) {
  std::ostringstream s;
  s.precision(21);
  s << '(' << p.X << ", " << p.Y << ')';
  return s.str();
}

inline ::testing::AssertionResult RealNear(Real actual, Real expected, Real tol) {
  if (std::fabs(actual - expected) <= tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "actual " << Show(actual) << ", expected "
                                       << Show(expected) << ", tolerance " << Show(tol);
}

inline ::testing::AssertionResult PointNear(const TRealPoint& actual, const TRealPoint& expected,
                                            Real tol) {
  if (std::fabs(actual.X - expected.X) <= tol && std::fabs(actual.Y - expected.Y) <= tol) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "actual " << Show(actual) << ", expected "
                                       << Show(expected) << ", tolerance " << Show(tol);
}

inline bool SameBits(Real a, Real b) {
  // The 80-bit value lives in the first 10 bytes; the rest is padding.
  return std::memcmp(&a, &b, 10) == 0;
}

// The model as the program has it after start-up: defaults, built area,
// shedding intervals (0, 0, 0).
inline Model DefaultModel() {
  Model m;
  BuildArea(m);
  SetSheddingIntervals(m, 0, 0, 0);
  return m;
}

// A cheaper model for long runs: the default hood with a coarse spacing.
inline Model CoarseModel(Real spacing = 0.05L) {
  Model m;
  m.VortexSpacing = spacing;
  BuildArea(m);
  SetSheddingIntervals(m, 0, 0, 0);
  return m;
}

// Builds and solves the attached system of the free vortices present.
inline void SolveAttached(Model& m) {
  m.Circulations.assign(static_cast<size_t>(m.AttachedCount), 0);
  BuildInfluenceMatrix(m);
  UpdateRightHandSide(m);
  SolveCirculations(m);
}

// Records what a run reports and stops it on request.
class RecordingObserver : public Observer {
 public:
  void StatusText(const std::string& text) override { statusTexts.push_back(text); }
  void StepDone(const Model& m) override {
    stepTimes.push_back(m.Time);
    freeCounts.push_back(m.FreeVortexCount);
  }
  void PumpEvents() override {
    ++pumps;
    if (onPump) onPump(pumps);
  }
  bool StopRequested() override { return stopAfter > 0 && pumps >= stopAfter; }

  std::vector<std::string> statusTexts;
  std::vector<Real> stepTimes;
  std::vector<int32_t> freeCounts;
  int pumps = 0;
  int stopAfter = 0;                 // > 0: ask to stop after that many steps
  std::function<void(int)> onPump;   // runs inside the pump, as a window handler would
};

// A fresh directory for the files of one test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::ostringstream name;
    name << "mdv_" << info->test_suite_name() << '_' << info->name() << '_' << ::getpid();
    path_ = std::filesystem::temp_directory_path() / name.str();
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace mdv::test
