#pragma once

#include "window/form.h"

namespace window {

// The calculator's behaviour: one handler per control and event, and the two routines they share.
// They see the window only through Form and let every error propagate.
void ForwardRecalc(Form& form);
void ReverseRecalc(Form& form);

void Text1_GotFocus(Form& form);
void Text1_LostFocus(Form& form);
void Text1_KeyDown(Form& form, KeyCode key, bool shift);
void Text2_GotFocus(Form& form);
void Text2_LostFocus(Form& form);
void Text2_KeyDown(Form& form, KeyCode key, bool shift);
void Command1_Click(Form& form);

// Which handler each event of a control is bound to; null where an event is left to the platform.
struct EventBinding {
  void (*got_focus)(Form&);
  void (*lost_focus)(Form&);
  void (*key_down)(Form&, KeyCode, bool);
  void (*click)(Form&);
};
const EventBinding& BindingOf(Control control);

}  // namespace window
