#pragma once

namespace window {

// Whether the display that Qt is to use answers; if not, says so in one line on standard error,
// since Qt would abort with a core dump. Where only the other kind of display (X or Wayland)
// answers, has Qt use that one. Called before QApplication.
bool ChooseDisplay(int argc, char** argv);

}  // namespace window
