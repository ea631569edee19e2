// The rules by example, where an example shows what no other does; every whole gross up to a
// million; and amounts that read back to the same double.
#include "tax/tax.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>

#include "tax/amount_text.h"
#include "tax/errors.h"

namespace tax {
namespace {

TEST(Tax, RulesByExample) {
  EXPECT_EQ(std::bit_cast<std::uint64_t>(TaxFactor), 0x3FF0CCCCCCCCCCCDu);
  const struct {
    const char* name;
    std::function<double(double)> rule;
    double in, out;
  } rows[] = {
      {"a product just above a whole number", GrossFromNet, 101, 106},
      {"a fraction of a net amount", GrossFromNet, 20.7, 21},
      {"floor, not towards zero", GrossFromNet, -1, -2},
      {"a fractional gross", NetFromGross, 105.5, 101},
      {"half a yen", NetFromGross, 0.5, 1},
      {"a negative gross", NetFromGross, -20, -19},
      {"a negative whole quotient", NetFromGross, -21, -20},
      {"the top of the range", NetFromGross, DBL_MAX, std::floor(DBL_MAX / TaxFactor)},
  };
  for (const auto& row : rows) EXPECT_EQ(row.rule(row.in), row.out) << row.name;
  EXPECT_TRUE(GrossMatchesNet(100, 105.9)) << "the gross's whole part is compared";
  EXPECT_FALSE(GrossMatchesNet(1, 0.5));
  EXPECT_FALSE(GrossMatchesNet(0, -1));
  EXPECT_THROW(GrossFromNet(DBL_MAX), ArithmeticError);
  EXPECT_THROW(GrossMatchesNet(-DBL_MAX, 0), ArithmeticError);
  EXPECT_THROW(NetFromGross(-HUGE_VAL), ArithmeticError);
  EXPECT_THROW(GrossMatchesNet(1, std::nan("")), ArithmeticError);
}

// The net found is the least that reaches the gross, and only grosses that leave 20 on division
// by 21 have no net that gives them back.
TEST(Tax, EveryWholeGrossUpToAMillion) {
  for (int g = 0; g <= 1'000'000; ++g) {
    const double net = NetFromGross(g);
    ASSERT_GE(GrossFromNet(net), g);
    ASSERT_LT(GrossFromNet(net - 1), g);
    ASSERT_EQ(GrossMatchesNet(net, g), g % 21 != 20) << g;
  }
}

TEST(AmountFromText, ReadsWhatAJapaneseUserTypes) {
  const struct {
    std::u16string text;
    double value;
  } rows[] = {{u"1,000,000", 1e6},  {u"１，０５０．５", 1050.5},
              {u"¥1,050", 1050},    {u"-￥3", -3},
              {u"1050円", 1050},    {u"−20", -20},
              {u"＋5", 5},          {u"－5", -5},
              {u" \t1\u3000", 1},   {u".5", 0.5},
              {u"105.", 105},       {u"1.05e3", 1050},
              {u"1ｅ2", 100},       {u"1e-400", 0},
              {u"0e99999999999", 0}};
  for (const auto& row : rows) EXPECT_EQ(AmountFromText(row.text), row.value) << &row - rows;
  EXPECT_EQ(AmountFromText(u"1.7976931348623157e308"), DBL_MAX);
}

TEST(AmountFromText, RejectsAnythingElseWithTheTextItCouldNotRead) {
  for (const std::u16string text :
       {u"",      u" \u3000", u"-",        u".",        u"¥",     u"abc",  u"12a",
        u"inf",   u"nan",     u"0x10",     u"10 50",    u"--5",   u"¥-5",  u"1,05",
        u"1,0,0", u"1,0000",  u"1234,567", u"1,00,000", u",100",  u"100,", u"0.1,0",
        u"1e",    u"1e+",     u"1.2.3",    u"一千",     u"5円円", u"5 円"}) {
    try {
      AmountFromText(text);
      ADD_FAILURE() << "accepted text of " << text.size() << " characters";
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.text(), text);
    }
  }
  for (const auto* text : {u"1e400", u"-1.8e308", u"1e99999999999999999999"}) {
    EXPECT_THROW(AmountFromText(text), ArithmeticError);
  }
}

TEST(TextFromAmount, ReadsBackToTheSameDouble) {
  EXPECT_EQ(TextFromAmount(-0.0), u"0");
  EXPECT_EQ(TextFromAmount(-952381), u"-952381");
  EXPECT_EQ(TextFromAmount(999999999999999), u"999999999999999");
  EXPECT_THROW(TextFromAmount(std::nan("")), ArithmeticError);
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 200'000; ++i) {
    for (const double value :
         {std::bit_cast<double>(random()),
          std::floor(std::ldexp(static_cast<double>(random() >> 11), -(i % 60)))}) {
      if (!std::isfinite(value)) continue;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(AmountFromText(TextFromAmount(value))),
                std::bit_cast<std::uint64_t>(value == 0 ? 0.0 : value));
    }
  }
}

}  // namespace
}  // namespace tax
