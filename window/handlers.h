#pragma once

#include "window/form.h"

namespace window {

// Which handler each event of a control is bound to; null where an event is left to the platform.
// The handlers see the window only through Form and let every error propagate.
struct EventBinding {
  void (*got_focus)(Form&);
  void (*lost_focus)(Form&);
  void (*key_down)(Form&, KeyCode, bool);
  void (*click)(Form&);
};
const EventBinding& BindingOf(Control control);

}  // namespace window
