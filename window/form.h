#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace window {

// The window's controls, named as the window names them. The fields are the controls that hold a
// text, numbered as among the controls; a text cannot be asked of the button.
enum class Control { Text1, Text2, Command1 };
enum class Field { Text1, Text2 };
constexpr Control ControlOf(Field field) { return static_cast<Control>(field); }

// The platform's 16-bit virtual-key code of a key-down event.
using KeyCode = std::uint16_t;
inline constexpr KeyCode kEnterKey = 13;

enum class BoxIcon { None, Warning };

// The operations of the window that the handlers use. A toolkit binding provides them on its
// real widgets; the event layer provides them to the handlers, putting its own focus rules into
// SetFocus. Each may throw; the event layer catches what reaches it.
class Form {
 public:
  virtual std::u16string Text(Field field) = 0;
  virtual void SetText(Field field, std::u16string_view text) = 0;
  // Moves the keyboard focus; a field that receives it has its text selected.
  virtual void SetFocus(Control control) = 0;
  // A modal box titled with the program's name, with one OK button; returns once dismissed.
  virtual void MessageBox(std::u16string_view prompt, BoxIcon icon) = 0;
  // Has a screen reader say the message once, wherever the focus is.
  virtual void Tell(std::u16string_view message) = 0;

 protected:
  ~Form() = default;
};

}  // namespace window
