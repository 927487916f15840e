// Pulsation (.pls) and circulation (.fvt) records: byte layouts and the
// refusal of damaged files.
#include <gtest/gtest.h>

#include <limits>

#include "core/model/records.h"

namespace mdv {
namespace {

PulsationRecord MakePulsation(int points, int samples) {
  PulsationRecord r;
  r.StartTime = 0.5L;
  r.TimeStep = 0.005L;
  for (int i = 0; i < points; ++i) r.Points.push_back({0.1L * (i + 1), 0.05L * i});
  r.SampleCount = samples;
  // Rows longer than M, as the run loop leaves them (capacity grows by 20).
  const int capacity = (samples / 20 + 1) * 20;
  r.Vx.assign(points, TRealArray(capacity, 99));
  r.Vy.assign(points, TRealArray(capacity, 99));
  for (int i = 0; i < points; ++i) {
    for (int j = 0; j < samples; ++j) {
      r.Vx[i][j] = i + j / 1000.0L;
      r.Vy[i][j] = -i - j / 7.0L;
    }
  }
  return r;
}

TEST(PulsationRecord, LayoutOfThreePointsAndTwoHundredSamples) {
  const PulsationRecord r = MakePulsation(3, 200);
  const Bytes b = EncodePulsationRecord(r);
  ASSERT_EQ(b.size(), 12100u);  // 28 + 24·3 + 20·200·3
  EXPECT_EQ(GetExt(&b[0]), 0.5L);
  EXPECT_EQ(GetExt(&b[10]), 0.005L);
  EXPECT_EQ(GetInt32(&b[20]), 3);
  // Second point: X at 24 + 24, Y 10 bytes later, then 4 zero padding bytes.
  EXPECT_EQ(GetExt(&b[48]), 0.2L);
  EXPECT_EQ(GetExt(&b[58]), 0.05L);
  for (int k = 68; k < 72; ++k) EXPECT_EQ(b[k], 0) << "padding byte " << k;
  EXPECT_EQ(GetInt32(&b[96]), 200);
  // Axial samples of point 1 start after the 200 of point 0; radial after all axial.
  EXPECT_EQ(GetExt(&b[100 + 10 * 200 + 10 * 5]), r.Vx[1][5]);
  EXPECT_EQ(GetExt(&b[100 + 10 * 600 + 10 * (400 + 7)]), r.Vy[2][7]);

  PulsationRecord back;
  std::string error;
  ASSERT_TRUE(DecodePulsationRecord(b, back, error)) << error;
  EXPECT_EQ(back.SampleCount, 200);
  ASSERT_EQ(back.Points.size(), 3u);
  ASSERT_EQ(back.Vx.size(), 3u);
  ASSERT_EQ(back.Vx[2].size(), 200u);
  EXPECT_EQ(back.Vy[2][199], r.Vy[2][199]);
  EXPECT_EQ(EncodePulsationRecord(back), b);
}

TEST(PulsationRecord, EmptyRecordsDecode) {
  std::string error;
  PulsationRecord back;
  const Bytes noSamples = EncodePulsationRecord(MakePulsation(2, 0));
  EXPECT_EQ(noSamples.size(), 28u + 48u);
  ASSERT_TRUE(DecodePulsationRecord(noSamples, back, error)) << error;
  EXPECT_EQ(back.SampleCount, 0);
  EXPECT_EQ(back.Points.size(), 2u);

  const Bytes noPoints = EncodePulsationRecord(MakePulsation(0, 0));
  EXPECT_EQ(noPoints.size(), 28u);
  ASSERT_TRUE(DecodePulsationRecord(noPoints, back, error)) << error;
  EXPECT_TRUE(back.Points.empty());

  // No points: any sample count fits in 28 bytes and must not allocate rows.
  Bytes hugeCount = noPoints;
  PutInt32(&hugeCount[24], 0x7FFFFFFF);
  ASSERT_TRUE(DecodePulsationRecord(hugeCount, back, error)) << error;
  EXPECT_EQ(back.SampleCount, 0x7FFFFFFF);
  EXPECT_TRUE(back.Vx.empty());
}

TEST(PulsationRecord, DamagedFilesAreRefusedAndTheRecordKept) {
  const Bytes good = EncodePulsationRecord(MakePulsation(2, 3));
  auto with = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  struct Row {
    const char* name;
    Bytes data;
  } rows[] = {
      {"empty", {}},
      {"shorter than the header", Bytes(good.begin(), good.begin() + 20)},
      {"truncated by one byte", Bytes(good.begin(), good.end() - 1)},
      {"one byte too many", with([](Bytes& b) { b.push_back(0); })},
      {"negative point count", with([](Bytes& b) { PutInt32(&b[20], -1); })},
      {"huge point count", with([](Bytes& b) { PutInt32(&b[20], 0x7FFFFFFF); })},
      {"negative sample count", with([](Bytes& b) { PutInt32(&b[72], -3); })},
      {"huge sample count", with([](Bytes& b) { PutInt32(&b[72], 0x7FFFFFFF); })},
      {"NaN start time", with([](Bytes& b) { PutExt(&b[0], std::numeric_limits<Real>::quiet_NaN()); })},
      {"infinite sample", with([](Bytes& b) { PutExt(&b[76 + 30], std::numeric_limits<Real>::infinity()); })},
  };
  for (const Row& r : rows) {
    PulsationRecord kept = MakePulsation(1, 1);
    std::string error;
    EXPECT_FALSE(DecodePulsationRecord(r.data, kept, error)) << r.name;
    EXPECT_EQ(error.rfind("Файл повреждён: ", 0), 0u) << r.name << ": " << error;
    EXPECT_EQ(kept.Points.size(), 1u) << r.name;
    EXPECT_EQ(kept.SampleCount, 1) << r.name;
  }
}

TrackRecord MakeTrack(int n) {
  TrackRecord r;
  r.StartTime = 0.5L;
  r.TimeStep = 0.005L;
  r.Spacing = 0.01L;
  for (int k = 0; k < n; ++k) r.Gammas.push_back(-0.001L * k);
  return r;
}

TEST(TrackRecord, LayoutAndRoundTrip) {
  const Bytes b = EncodeTrackRecord(MakeTrack(200));
  ASSERT_EQ(b.size(), 2034u);
  EXPECT_EQ(GetInt32(&b[0]), 200);
  EXPECT_EQ(GetExt(&b[4]), 0.5L);
  EXPECT_EQ(GetExt(&b[14]), 0.005L);
  EXPECT_EQ(GetExt(&b[24]), 0.01L);
  EXPECT_EQ(GetExt(&b[34 + 10 * 199]), -0.001L * 199);
  TrackRecord back;
  std::string error;
  ASSERT_TRUE(DecodeTrackRecord(b, back, error)) << error;
  EXPECT_EQ(EncodeTrackRecord(back), b);

  const Bytes empty = EncodeTrackRecord(MakeTrack(0));
  EXPECT_EQ(empty.size(), 34u);
  ASSERT_TRUE(DecodeTrackRecord(empty, back, error)) << error;
  EXPECT_TRUE(back.Gammas.empty());
  EXPECT_EQ(back.StartTime, 0.5L);
}

TEST(TrackRecord, DamagedFilesAreRefusedAndTheRecordKept) {
  const Bytes good = EncodeTrackRecord(MakeTrack(4));
  auto with = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  struct Row {
    const char* name;
    Bytes data;
  } rows[] = {
      {"shorter than the header", Bytes(good.begin(), good.begin() + 33)},
      {"truncated", Bytes(good.begin(), good.end() - 10)},
      {"over-long", with([](Bytes& b) { b.insert(b.end(), 10, 0); })},
      {"negative count", with([](Bytes& b) { PutInt32(&b[0], -1); })},
      {"huge count", with([](Bytes& b) { PutInt32(&b[0], 0x7FFFFFFF); })},
      {"NaN circulation", with([](Bytes& b) { PutExt(&b[44], std::numeric_limits<Real>::quiet_NaN()); })},
      {"unnormal spacing", with([](Bytes& b) { b[31] &= 0x7F; })},
  };
  for (const Row& r : rows) {
    TrackRecord kept = MakeTrack(1);
    std::string error;
    EXPECT_FALSE(DecodeTrackRecord(r.data, kept, error)) << r.name;
    EXPECT_EQ(error.rfind("Файл повреждён: ", 0), 0u) << r.name << ": " << error;
    EXPECT_EQ(kept.Gammas.size(), 1u) << r.name;
  }
}

}  // namespace
}  // namespace mdv
