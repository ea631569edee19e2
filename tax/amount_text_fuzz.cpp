// libFuzzer target: any text either reads as a finite amount that survives the round trip, or
// raises one of the two errors; nothing else (a crash, a sanitizer report, an infinity).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tax/amount_text.h"
#include "tax/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * sizeof(char16_t));
  try {
    const double value = tax::AmountFromText(text);
    if (!std::isfinite(value)) std::abort();
    if (tax::AmountFromText(tax::TextFromAmount(value)) != value) std::abort();
  } catch (const tax::ConversionError&) {
  } catch (const tax::ArithmeticError&) {
  }
  return 0;
}
