#pragma once

#include <stdexcept>
#include <string>

namespace tax {

// Every failure of the arithmetic or of reading an amount travels as one of these.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A field's text that is not an amount; keeps the text so that it can be shown back to the user.
class ConversionError : public Error {
 public:
  explicit ConversionError(std::u16string text)
      : Error("text is not an amount"), text_(std::move(text)) {}
  const std::u16string& text() const { return text_; }

 private:
  std::u16string text_;
};

// A product, quotient or sum that left the range of finite doubles.
class ArithmeticError : public Error {
 public:
  ArithmeticError() : Error("amount out of range") {}
};

}  // namespace tax
