#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "window/form.h"

namespace window {

// Stands between a toolkit's window and the handlers, and decides which of the toolkit's events
// reach them and in what order:
//
//  - The focus belongs to the control that the handlers last saw receive it. A toolkit reports
//    every arrival of its keyboard focus on a control (FocusArrived), whatever the reason; only an
//    arrival on another control is a focus move. Activation of the window, popups and boxes move
//    the toolkit's focus away and back to the same control, and so run nothing.
//  - A move runs the focus-lost handler of the control left, to its end, then the focus-gained
//    handler of the control entered. A handler's own SetFocus is such a move.
//  - A screen reader hears of a move before the handlers change the control entered: a handler's
//    SetFocus moves the toolkit's focus first, and a toolkit tells assistive technologies of an
//    arrival that is a move (Moves) before it reports it.
//  - One user action (a focus arrival, a key, a click) is handled at a time; whatever the toolkit
//    reports while it is handled, from a box or from the focus being put back, is its own echo and
//    is ignored.
//  - When the action is over, the toolkit's focus and the window's activation are put back where
//    the handlers believe them to be, if a move or a box may have disturbed them.
//  - A field that a handler rewrites with the text it holds is left as it is. A screen reader hears
//    what a field that does not have the focus receives, with the field's name, once the action
//    is over, after any box: it says only what happens where the focus is.
//  - An error that a handler raises ends the action there: the rest of it does not run, a warning
//    box says what went wrong, and the focus goes back to the control that had it before the
//    action, without running any handler. No exception leaves this class.
class EventLayer final : public Form {
 public:
  explicit EventLayer(Form& window) : window_(window) {}

  // The window is about to be shown with the focus in Text1, which gains it as on any arrival.
  void Start();
  void FocusArrived(Control control);
  void KeyDown(Control control, KeyCode key, bool shift);
  void Clicked(Control control);

  // Where the handlers believe the focus is.
  Control focus() const { return focus_; }
  // Whether the toolkit's focus arriving on the control now would be a move.
  bool Moves(Control arrived) const { return !handling_ && arrived != focus_; }
  // How many boxes have been shown, errors included; a toolkit compares it across an event.
  int boxes_shown() const { return boxes_shown_; }

  // Form, as the handlers see it.
  std::u16string Text(Field field) override { return window_.Text(field); }
  void SetText(Field field, std::u16string_view text) override;
  void SetFocus(Control control) override;
  void MessageBox(std::u16string_view prompt, BoxIcon icon) override;
  void Tell(std::u16string_view message) override { window_.Tell(message); }

 private:
  template <typename Action>
  void Handle(Control arrived, Action action);
  void Move(Control control, bool move_toolkit);
  void TellUnseen();

  Form& window_;
  Control focus_ = Control::Text1;
  bool handling_ = false;
  int boxes_shown_ = 0;
  std::vector<Field> unseen_;  // rewritten while they did not have the focus, in the action
};

}  // namespace window
