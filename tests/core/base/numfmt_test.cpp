// Number formats with the decimal comma: general, fixed(P, D) and parsing.
#include <gtest/gtest.h>

#include "core/base/numfmt.h"

namespace mdv {
namespace {

TEST(NumFmt, Fixed) {
  Real time = 0;
  for (int i = 0; i < 201; ++i) time += 0.005L;  // a run's clock: near 1,005, not exactly
  struct Row {
    const char* name;
    Real v;
    int p, d;
    const char* expected;
  } rows[] = {
      {"time step", 0.005L, 6, 3, "0,005"},
      {"accumulated time", time, 6, 3, "1,005"},
      {"angle in degrees", 30, 4, 2, "30,00"},
      {"zero", 0, 7, 5, "0,00000"},
      {"negative speed", -1.23456789L, 6, 4, "-1,2346"},
      {"places beyond P written as zero", 123.456789L, 7, 5, "123,45680"},
      {"rounding carries into a new digit", 999.9996L, 6, 3, "1000,000"},
      {"rounds at D decimals, not only at P digits", 0.0015678L, 6, 3, "0,002"},
      {"tiny negative shows no minus", -0.00001L, 6, 4, "0,0000"},
      {"half of the last place", 0.000049L, 6, 4, "0,0000"},
      {"more integer digits than P", 12345.6L, 4, 2, "1,235E4"},
      {"P integer digits still fixed", 1234.4L, 4, 2, "1234,00"},
  };
  for (const Row& r : rows) EXPECT_EQ(FormatFixed(r.v, r.p, r.d), r.expected) << r.name;
}

TEST(NumFmt, General) {
  struct Row {
    const char* name;
    Real v;
    const char* expected;
  } rows[] = {
      {"channel radius", 0.15L, "0,15"},
      {"negative half", -0.5L, "-0,5"},
      {"below 1e-5 is scientific", 1e-6L, "1E-6"},
      {"scientific with fraction", -2.5e-7L, "-2,5E-7"},
      {"1e-5 is still fixed", 1e-5L, "0,00001"},
      {"zero", 0, "0"},
      {"integer", 100, "100"},
      {"15 integer digits", 123456789012345.0L, "123456789012345"},
      {"16 integer digits", 1e15L, "1E15"},
      {"15 significant digits", 3.1415926535897932385L, "3,14159265358979"},
      {"sum rounded to 15 digits", 0.1L + 0.2L, "0,3"},
      {"far distance", 1.2L + 0.01L, "1,21"},
      {"plane position", -0.5L, "-0,5"},
  };
  for (const Row& r : rows) EXPECT_EQ(FormatGeneral(r.v), r.expected) << r.name;
}

TEST(NumFmt, FourSignificantDigits) {
  const struct {
    const char* name;
    Real v;
    const char* expected;
  } rows[] = {
      {"small value", 0.00132594L, "0,001326"},
      {"rounds up into a new digit", 0.99996L, "1"},
      {"rounds down", 2.71828L, "2,718"},
      {"trailing zeros dropped", 0.5L, "0,5"},
      {"integer digits beyond four are zeros", 123456, "123500"},
      {"negative", -0.0333333L, "-0,03333"},
      {"below 1e-5", 1.23456e-7L, "1,235E-7"},
  };
  for (const auto& r : rows) EXPECT_EQ(FormatSignificant(r.v, 4), r.expected) << r.name;
}

TEST(NumFmt, ParseRealWithDecimalComma) {
  struct Row {
    const char* text;
    Real expected;
  } good[] = {
      {"0,5", 0.5L},           {" 0,005 ", 0.005L}, {"0,15", 0.15L},   {"-0,5", -0.5L},
      {"1e-3", 0.001L},        {"1,5E+2", 150},     {"30", 30},        {"+2", 2},
      {"\t0,1", 0.1L},         {",25", 0.25L},
  };
  for (const Row& r : good) {
    const auto v = ParseReal(r.text);
    ASSERT_TRUE(v.has_value()) << "'" << r.text << "'";
    EXPECT_EQ(*v, r.expected) << "'" << r.text << "' must give the correctly rounded extended value";
  }
  for (const char* bad : {"0.5", "", " ", ",", "abc", "1,2,3", "1e", "e5", "1e5000", "0,5x", "--1",
                          "inf", "nan", "1 000"}) {
    EXPECT_FALSE(ParseReal(bad).has_value()) << "'" << bad << "'";
  }
}

TEST(NumFmt, ParseRealLenientTakesPointOrComma) {
  EXPECT_EQ(ParseRealLenient("0.5"), 0.5L);
  EXPECT_EQ(ParseRealLenient("0,5"), 0.5L);
  EXPECT_EQ(ParseRealLenient("-1.2e-1"), -0.12L);
  EXPECT_FALSE(ParseRealLenient("0.5,1").has_value());
  EXPECT_FALSE(ParseRealLenient("x").has_value());
}

TEST(NumFmt, ParseInt) {
  EXPECT_EQ(ParseInt("400"), 400);
  EXPECT_EQ(ParseInt(" -3 "), -3);
  EXPECT_EQ(ParseInt("+5"), 5);
  EXPECT_EQ(ParseInt("2147483647"), 2147483647);
  for (const char* bad : {"2147483648", "1,0", "1.0", "+-5", "", "12a", "0x10"}) {
    EXPECT_FALSE(ParseInt(bad).has_value()) << "'" << bad << "'";
  }
}

TEST(NumFmt, ConversionErrorTexts) {
  EXPECT_EQ(InvalidFloatMessage("0.5"), "'0.5' is not a valid floating point value");
  EXPECT_EQ(InvalidIntMessage("4x"), "'4x' is not a valid integer value");
}

}  // namespace
}  // namespace mdv
