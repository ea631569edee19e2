#pragma once

#include <QApplication>

namespace window {

// Qt looks for a display while QApplication is made. It tries each kind that it may use (X,
// Wayland) in turn and, when none answers, says so over several lines and aborts with a core
// dump. Until it has one, what is said on standard error is held back: if none answers, one line
// names the display and the program exits with status 1; otherwise what was held back is said.
class DisplayWatch {
 protected:
  DisplayWatch();
  void Release();
};

// The program's name, version, icon and Japanese font.
class Application final : private DisplayWatch, public QApplication {
 public:
  Application(int& argc, char** argv);

  // Qt's own texts (a field's menu, a box's buttons) in Japanese; loaded once, when first needed,
  // since the window at start shows none of them.
  static void TranslateQtTexts();
};

}  // namespace window
