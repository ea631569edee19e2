#include "tax/amount_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "tax/errors.h"

namespace tax {
namespace {

TEST(AmountFromText, Accepts) {
  const struct {
    const char* name;
    std::u16string text;
    double value;
  } rows[] = {
      {"plain", u"1050", 1050},
      {"zero", u"0", 0},
      {"negative", u"-1", -1},
      {"plus sign", u"+21", 21},
      {"minus sign U+2212",
       u"\u2212"
       u"20",
       -20},
      {"full-width signs",
       u"\uFF0B"
       u"5",
       5},
      {"full-width minus",
       u"\uFF0D"
       u"5",
       -5},
      {"fraction", u"20.7", 20.7},
      {"trailing point", u"105.", 105},
      {"leading point", u".5", 0.5},
      {"grouped", u"1,050", 1050},
      {"grouped millions", u"1,000,000", 1000000},
      {"full-width digits", u"\uFF11\uFF10\uFF15\uFF10", 1050},
      {"full-width comma and point", u"1\uFF0C050\uFF0E5", 1050.5},
      {"yen sign",
       u"\u00A5"
       u"1,050",
       1050},
      {"full-width yen sign after sign",
       u"-\uFFE5"
       u"3",
       -3},
      {"yen character after", u"1050\u5186", 1050},
      {"exponent", u"1.05e3", 1050},
      {"exponent with sign", u"1E+15", 1e15},
      {"full-width exponent",
       u"1\uFF45"
       u"2",
       100},
      {"blanks around", u" \t1050\u3000 ", 1050},
      {"many digits round correctly", u"0.1000000000000000055511151231257827021181583404541015625",
       0.1},
      {"halfway rounds to even", u"9007199254740993", 9007199254740992.0},
      {"tiny reads as zero", u"1e-400", 0},
      {"tiny with leading zeros", u"0.0001e-320", 0},
      {"subnormal", u"4.9406564584124654e-324", 4.9406564584124654e-324},
      {"zero with a huge exponent", u"0e999999999999", 0},
      {"largest double", u"1.7976931348623157e308", DBL_MAX},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(AmountFromText(row.text), row.value);
  }
}

TEST(AmountFromText, RejectsWithTheTextItCouldNotRead) {
  const struct {
    const char* name;
    std::u16string text;
  } rows[] = {
      {"empty", u""},
      {"blanks alone", u" \u3000"},
      {"sign alone", u"-"},
      {"point alone", u"."},
      {"yen alone", u"\u00A5"},
      {"letters", u"abc"},
      {"trailing letter", u"12a"},
      {"inf", u"inf"},
      {"nan", u"nan"},
      {"Infinity", u"Infinity"},
      {"hexadecimal", u"0x10"},
      {"basic hexadecimal", u"&H10"},
      {"blank inside", u"10 50"},
      {"second sign", u"--5"},
      {"sign after yen", u"\u00A5-5"},
      {"comma as decimal point", u"1,05"},
      {"comma between single digits", u"1,0,0"},
      {"four digits after a comma", u"1,0000"},
      {"leading comma", u",100"},
      {"trailing comma", u"100,"},
      {"comma in the fraction", u"0.100,000"},
      {"exponent without digits", u"1e"},
      {"exponent sign alone", u"1e+"},
      {"two points", u"1.2.3"},
      {"kanji numerals", u"\u4E00\u5343"},
      {"yen character twice", u"5\u5186\u5186"},
      {"blank before yen character", u"5 \u5186"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      AmountFromText(row.text);
      ADD_FAILURE() << "accepted";
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.text(), row.text);
    }
  }
}

TEST(AmountFromText, BeyondTheDoubleRangeIsAnArithmeticError) {
  const std::u16string rows[] = {u"1e400", u"-1e400", u"1.8e308", u"1e99999999999999999999",
                                 std::u16string(400, u'9')};
  for (const auto& text : rows) {
    EXPECT_THROW(AmountFromText(text), ArithmeticError);
  }
}

TEST(TextFromAmount, GivesPlainDigitsForWholeAmounts) {
  const struct {
    double value;
    std::u16string text;
  } rows[] = {
      {0, u"0"},
      {-0.0, u"0"},
      {1050, u"1050"},
      {-2, u"-2"},
      {952381, u"952381"},
      {999999999999999, u"999999999999999"},
      {-999999999999999, u"-999999999999999"},
  };
  for (const auto& row : rows) EXPECT_EQ(TextFromAmount(row.value), row.text) << row.value;
  EXPECT_THROW(TextFromAmount(INFINITY), ArithmeticError);
  EXPECT_THROW(TextFromAmount(NAN), ArithmeticError);
}

void ExpectRoundTrip(double value) {
  const std::u16string text = TextFromAmount(value);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(AmountFromText(text)),
            std::bit_cast<std::uint64_t>(value == 0 ? 0.0 : value))
      << std::string(text.begin(), text.end());
}

TEST(TextFromAmount, ReadsBackToTheSameDouble) {
  for (const double value : {1e15, -1e15, 1e15 + 1, 0.5, 0.1, 1.05, 123456.789, DBL_MAX, -DBL_MAX,
                             DBL_MIN, DBL_TRUE_MIN, -DBL_TRUE_MIN, 9007199254740993.0, -0.0}) {
    ExpectRoundTrip(value);
  }
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 200'000; ++i) {
    const auto value = std::bit_cast<double>(random());
    if (std::isfinite(value)) ExpectRoundTrip(value);
    ExpectRoundTrip(std::floor(std::ldexp(static_cast<double>(random() >> 11), -(i % 60))));
  }
}

}  // namespace
}  // namespace tax
