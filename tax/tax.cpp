#include "tax/tax.h"

#include <cmath>

#include "tax/errors.h"

namespace tax {
namespace {

// Stands in for testing the overflow, invalid and divide-by-zero flags after each operation:
// those flags are set exactly when an operation on finite operands gives a result that is not
// finite, and checking values survives any optimisation, which the flags do not.
double Finite(double x) {
  if (!std::isfinite(x)) throw ArithmeticError();
  return x;
}

double Multiply(double a, double b) { return Finite(Finite(a) * Finite(b)); }
double Divide(double a, double b) { return Finite(Finite(a) / Finite(b)); }
double Add(double a, double b) { return Finite(Finite(a) + Finite(b)); }

}  // namespace

double GrossFromNet(double net) { return std::floor(Multiply(net, TaxFactor)); }

double NetFromGross(double gross) {
  const double quotient = Divide(gross, TaxFactor);
  const double whole = std::floor(quotient);
  return quotient == whole ? whole : Add(whole, 1.0);
}

bool GrossMatchesNet(double net, double gross) {
  return GrossFromNet(net) == std::floor(Finite(gross));
}

}  // namespace tax
