// The little-endian codec: exact byte images, bounds of the reader and the
// recognition of encodings the processor refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/base/bytes.h"

namespace mdv {
namespace {

Bytes ExtImage(Real v) {
  Bytes b;
  ByteWriter(b).Ext(v);
  return b;
}

TEST(Bytes, ExtendedImagesAreTheX87Layout) {
  struct Row {
    const char* name;
    Real value;
    Bytes image;  // significand (low byte first), then exponent and sign
  } rows[] = {
      {"one", 1.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
      {"minus 2.5", -2.5L, {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}},
      {"zero", 0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"smallest denormal", std::numeric_limits<Real>::denorm_min(), {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ExtImage(r.value), r.image) << r.name;
    const Real back = GetExt(r.image.data());
    EXPECT_EQ(back, r.value) << r.name;
    EXPECT_TRUE(IsFiniteExtImage(r.image.data())) << r.name;
  }
}

TEST(Bytes, RoundTripKeepsEveryBit) {
  const Real values[] = {0.15L, -0.5L, 3.1415926535897932385L, 1e-4000L,
                         std::numeric_limits<Real>::max(), -std::numeric_limits<Real>::min()};
  for (Real v : values) {
    const Bytes b = ExtImage(v);
    ASSERT_EQ(b.size(), ExtSize);
    EXPECT_EQ(GetExt(b.data()), v) << "v = " << v;
  }
}

TEST(Bytes, Int32IsTwosComplementLittleEndian) {
  Bytes b;
  ByteWriter w(b);
  w.Int32(2);
  w.Int32(-2);
  w.Int32(std::numeric_limits<int32_t>::min());
  EXPECT_EQ(b, (Bytes{2, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80}));
  ByteReader r(b);
  int32_t a = 0, c = 0, d = 0;
  ASSERT_TRUE(r.Int32(a) && r.Int32(c) && r.Int32(d));
  EXPECT_EQ(a, 2);
  EXPECT_EQ(c, -2);
  EXPECT_EQ(d, std::numeric_limits<int32_t>::min());
}

TEST(Bytes, ReaderNeverReadsPastTheEnd) {
  const Bytes b = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ByteReader r(b);
  Real v = 7;
  EXPECT_FALSE(r.Ext(v)) << "9 bytes hold no extended real";
  EXPECT_EQ(v, 7);
  EXPECT_EQ(r.Pos(), 0u);
  int32_t i = 0;
  ASSERT_TRUE(r.Int32(i));
  ASSERT_TRUE(r.Int32(i));
  EXPECT_FALSE(r.Int32(i));
  EXPECT_EQ(r.Remaining(), 1u);
  EXPECT_FALSE(r.Skip(2));
  EXPECT_TRUE(r.Skip(1));
  EXPECT_EQ(r.Remaining(), 0u);
}

TEST(Bytes, RefusesNonFiniteAndNonCanonicalImages) {
  struct Row {
    const char* name;
    Bytes image;
  } rows[] = {
      {"infinity", ExtImage(std::numeric_limits<Real>::infinity())},
      {"quiet NaN", ExtImage(std::numeric_limits<Real>::quiet_NaN())},
      {"pseudo-infinity (integer bit clear)", {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0x7F}},
      {"unnormal 1.0 (integer bit clear)", {0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F}},
      {"pseudo-denormal", {0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0}},
  };
  for (const Row& r : rows) {
    EXPECT_FALSE(IsFiniteExtImage(r.image.data())) << r.name;
    ByteReader in(r.image);
    Real v = 0;
    EXPECT_FALSE(in.FiniteExt(v)) << r.name;
    EXPECT_EQ(in.Pos(), 0u) << r.name;
  }
}

}  // namespace
}  // namespace mdv
