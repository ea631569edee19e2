#include "tax/amount_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

#include "tax/errors.h"

namespace tax {
namespace {

constexpr char16_t kFullWidthZero = u'\uFF10';

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\u3000'; }
bool IsComma(char16_t c) { return c == u',' || c == u'\uFF0C'; }
bool IsPoint(char16_t c) { return c == u'.' || c == u'\uFF0E'; }
bool IsYen(char16_t c) { return c == u'\u00A5' || c == u'\uFFE5'; }
bool IsExponentMark(char16_t c) {
  return c == u'e' || c == u'E' || c == u'\uFF45' || c == u'\uFF25';
}

// '+', '-' or 0 when c is not a sign.
char SignOf(char16_t c) {
  if (c == u'+' || c == u'\uFF0B') return '+';
  if (c == u'-' || c == u'\u2212' || c == u'\uFF0D') return '-';
  return 0;
}

// The ASCII digit, or 0 when c is not a digit.
char DigitOf(char16_t c) {
  if (c >= u'0' && c <= u'9') return static_cast<char>(c);
  if (c >= kFullWidthZero && c <= kFullWidthZero + 9)
    return static_cast<char>('0' + (c - kFullWidthZero));
  return 0;
}

// Validates the text and copies the number into plain ASCII that from_chars reads, since
// from_chars alone would also take "inf", "nan" and hexadecimal forms.
class Reader {
 public:
  explicit Reader(std::u16string_view text) : original_(text), text_(text) {}

  double Read() {
    while (!AtEnd() && IsBlank(text_.back())) text_.remove_suffix(1);
    while (IsBlank(Peek())) Next();

    const char sign = SignOf(Peek());
    if (sign != 0) Next();
    if (sign == '-') ascii_ += '-';
    if (IsYen(Peek())) Next();

    ReadWholePart();
    ReadFraction();
    if (whole_digits_ + fraction_digits_ == 0) return Fail();
    ReadExponent();
    if (Peek() == u'円') Next();
    if (!AtEnd()) return Fail();
    return Convert();
  }

 private:
  bool AtEnd() const { return pos_ == text_.size(); }
  char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
  void Next() { ++pos_; }
  [[noreturn]] double Fail() const { throw ConversionError(std::u16string(original_)); }

  // Either no grouping at all, or a comma between every group of three: "1,05" is more likely a
  // mistyped decimal point than an amount.
  void ReadWholePart() {
    bool grouped = false;
    int group = 0;
    for (; !AtEnd(); Next()) {
      if (const char digit = DigitOf(Peek())) {
        AppendDigit(digit);
        ++whole_digits_;
        if (++group > 3 && grouped) Fail();
      } else if (IsComma(Peek())) {
        if (grouped ? group != 3 : (group == 0 || group > 3)) Fail();
        grouped = true;
        group = 0;
      } else {
        break;
      }
    }
    if (grouped && group != 3) Fail();
    if (whole_digits_ == 0) ascii_ += '0';
  }

  void AppendDigit(char digit) {
    if (digit != '0' && first_significant_ < 0)
      first_significant_ = whole_digits_ + fraction_digits_;
    ascii_ += digit;
  }

  void ReadFraction() {
    if (!IsPoint(Peek())) return;
    Next();
    ascii_ += '.';
    for (; DigitOf(Peek()) != 0; Next()) {
      AppendDigit(DigitOf(Peek()));
      ++fraction_digits_;
    }
    if (fraction_digits_ == 0) ascii_.pop_back();
  }

  void ReadExponent() {
    if (!IsExponentMark(Peek())) return;
    Next();
    ascii_ += 'e';
    const char sign = SignOf(Peek());
    if (sign != 0) Next();
    if (sign == '-') ascii_ += '-';
    int digits = 0;
    for (; DigitOf(Peek()) != 0; Next(), ++digits) {
      const char digit = DigitOf(Peek());
      ascii_ += digit;
      // Saturated: only its sign matters once it is this large.
      exponent_ = std::min<std::int64_t>(exponent_ * 10 + (digit - '0'), 1'000'000'000);
    }
    if (digits == 0) Fail();
    if (sign == '-') exponent_ = -exponent_;
  }

  double Convert() const {
    double value = 0;
    const auto [end, error] = std::from_chars(ascii_.data(), ascii_.data() + ascii_.size(), value);
    if (error == std::errc::result_out_of_range) {
      if (DecimalOrder() > 0) throw ArithmeticError();
      return ascii_.front() == '-' ? -0.0 : 0.0;
    }
    if (error != std::errc() || end != ascii_.data() + ascii_.size()) Fail();
    return value;
  }

  // Roughly log10 of the value's magnitude; only its sign is used, to tell an amount too large
  // for a double from one too small, which reads as zero.
  std::int64_t DecimalOrder() const { return whole_digits_ - first_significant_ + exponent_; }

  const std::u16string_view original_;
  std::u16string_view text_;
  std::size_t pos_ = 0;
  std::string ascii_;
  int whole_digits_ = 0;
  int fraction_digits_ = 0;
  int first_significant_ = -1;  // among all the digits before the exponent
  std::int64_t exponent_ = 0;
};

}  // namespace

double AmountFromText(std::u16string_view text) { return Reader(text).Read(); }

std::u16string TextFromAmount(double amount) {
  if (!std::isfinite(amount)) throw ArithmeticError();
  if (amount == 0) return u"0";  // also for -0
  const bool plain = amount == std::floor(amount) && std::fabs(amount) < 1e15;
  char buffer[32];
  const auto result =
      plain ? std::to_chars(std::begin(buffer), std::end(buffer), amount, std::chars_format::fixed)
            : std::to_chars(std::begin(buffer), std::end(buffer), amount);
  return {std::begin(buffer), result.ptr};
}

}  // namespace tax
