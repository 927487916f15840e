// Inputs the fuzzers found troublesome, kept as ordinary cases.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/base/bytes.h"
#include "core/model/records.h"

namespace mdv {
namespace {

TEST(FuzzRegressions, PulsationRecordWithNoPointsAndHugeSampleCountAllocatesNothing) {
  // 28 bytes: start time, step, P = 0, M = 2^31 - 1. The length is consistent
  // (no points means no samples in the file), so the reader accepts it, but it
  // must not build a row of M samples for points that do not exist.
  Bytes b;
  ByteWriter w(b);
  w.Ext(0);
  w.Ext(0.005L);
  w.Int32(0);
  w.Int32(0x7fffffff);
  ASSERT_EQ(b.size(), 28u);
  PulsationRecord r;
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = DecodePulsationRecord(b, r, error);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(200));
  if (ok) {
    EXPECT_TRUE(r.Points.empty());
    EXPECT_TRUE(r.Vx.empty());
    EXPECT_TRUE(r.Vy.empty());
  } else {
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace mdv
