#include "tax/tax.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "tax/errors.h"

namespace tax {
namespace {

struct Row {
  const char* name;
  double in;
  double out;
};

TEST(TaxFactor, IsTheNearestDoubleTo105) {
  EXPECT_EQ(std::bit_cast<std::uint64_t>(TaxFactor), 0x3FF0CCCCCCCCCCCDu);
}

TEST(GrossFromNet, FloorsTheRoundedProduct) {
  const Row rows[] = {
      {"zero", 0, 0},
      {"one", 1, 1},
      {"hundred", 100, 105},
      {"product just above a whole number", 101, 106},
      {"nineteen stays", 19, 19},
      {"twenty gains one", 20, 21},
      {"four digits", 1234, 1295},
      {"five digits", 12345, 12962},
      {"fraction", 20.7, 21},
      {"fraction below twenty", 19.99, 20},
      {"negative floors away from zero", -1, -2},
      {"negative nineteen", -19, -20},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(GrossFromNet(row.in), row.out);
  }
}

TEST(NetFromGross, CeilsTheQuotientUnlessItIsWhole) {
  const Row rows[] = {
      {"zero", 0, 0},
      {"whole quotient is not raised", 21, 20},
      {"just above", 22, 21},
      {"hundred and five", 105, 100},
      {"thousand and fifty", 1050, 1000},
      {"thousand and fifty-one", 1051, 1001},
      {"a million", 1000000, 952381},
      {"no match", 20, 20},
      {"half", 0.5, 1},
      {"fractional gross", 105.5, 101},
      {"minus one", -1, 0},
      {"minus twenty", -20, -19},
      {"minus twenty-one", -21, -20},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(NetFromGross(row.in), row.out);
  }
}

TEST(GrossMatchesNet, ComparesWholeParts) {
  EXPECT_TRUE(GrossMatchesNet(1000, 1050));
  EXPECT_TRUE(GrossMatchesNet(100, 105.9));
  EXPECT_FALSE(GrossMatchesNet(100, 104));
  EXPECT_FALSE(GrossMatchesNet(0, -1));
  EXPECT_TRUE(GrossMatchesNet(-19, -20));
}

// Over every whole gross up to a million: the net found is the least that reaches it, and only
// grosses leaving 20 on division by 21 have no net that gives them back.
TEST(NetFromGross, EveryGrossUpToAMillion) {
  for (int g = 0; g <= 1'000'000; ++g) {
    const double gross = g;
    const double net = NetFromGross(gross);
    ASSERT_GE(GrossFromNet(net), gross) << g;
    ASSERT_LT(GrossFromNet(net - 1), gross) << g;
    ASSERT_EQ(GrossMatchesNet(net, gross), g % 21 != 20) << g;
  }
}

TEST(Arithmetic, FaultsRaiseInsteadOfGivingNonFiniteResults) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW(GrossFromNet(DBL_MAX), ArithmeticError);
  EXPECT_THROW(GrossFromNet(-DBL_MAX), ArithmeticError);
  EXPECT_THROW(GrossMatchesNet(DBL_MAX, 0), ArithmeticError);
  EXPECT_THROW(GrossFromNet(inf), ArithmeticError);
  EXPECT_THROW(NetFromGross(-inf), ArithmeticError);
  EXPECT_THROW(NetFromGross(nan), ArithmeticError);
  EXPECT_THROW(GrossMatchesNet(1, nan), ArithmeticError);
  // The largest net that still has a finite gross, and the top of the range for the reverse rule.
  EXPECT_TRUE(std::isfinite(GrossFromNet(DBL_MAX / TaxFactor)));
  EXPECT_EQ(NetFromGross(DBL_MAX), std::floor(DBL_MAX / TaxFactor));
}

}  // namespace
}  // namespace tax
