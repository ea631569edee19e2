#pragma once

class QApplication;

namespace window {

// Whether there is a display to show the window on; if not, says so in one line on standard
// error. Called before QApplication, which would abort instead.
bool HasDisplay(int argc, char** argv);

// The program's name and version, Qt's own texts in Japanese, and a Japanese font.
void SetUpApplication(QApplication& app);

}  // namespace window
