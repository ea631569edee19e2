#pragma once

#include <string>
#include <string_view>

namespace tax {

// Reads an amount as a Japanese user may type it: blanks around it, a sign, a yen sign, ASCII or
// full-width digits grouped by threes or not at all, a fraction, an exponent and a trailing 円.
// Throws ConversionError for anything else, ArithmeticError for a number beyond the double range.
double AmountFromText(std::u16string_view text);

// Plain digits for whole amounts below 10^15; otherwise the shortest text that reads back to the
// same double. Throws ArithmeticError for an infinity or a NaN, which no amount can be.
std::u16string TextFromAmount(double amount);

}  // namespace tax
