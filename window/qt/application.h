#pragma once

class QApplication;

namespace window {

// The program's name and version, Qt's own texts in Japanese, and a Japanese font.
void SetUpApplication(QApplication& app);

}  // namespace window
