#include "window/qt/application.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "resources/icon/mivo-16.xpm"
#include "resources/icon/mivo-32.xpm"

namespace window {
namespace {

// While Qt looks for a display: standard error as it was, and what is said meanwhile.
int real_stderr = -1;
int held = -1;
QtMessageHandler qt_handler = nullptr;

void OnStartUpMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) return qt_handler(type, context, message);
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (x == nullptr && wayland == nullptr) {
    dprintf(
        real_stderr,
        "mivo: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
  } else {
    dprintf(real_stderr, "mivo: cannot reach the display (DISPLAY=%s, WAYLAND_DISPLAY=%s)\n",
            x == nullptr ? "" : x, wayland == nullptr ? "" : wayland);
  }
  std::_Exit(1);
}

}  // namespace

DisplayWatch::DisplayWatch() {
  real_stderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
  held = memfd_create("mivo-start-up", MFD_CLOEXEC);
  if (held >= 0) dup2(held, STDERR_FILENO);
  qt_handler = qInstallMessageHandler(OnStartUpMessage);
}

void DisplayWatch::Release() {
  qInstallMessageHandler(qt_handler);
  if (held >= 0) {
    dup2(real_stderr, STDERR_FILENO);
    char said[4096];
    off_t at = 0;
    for (ssize_t n = 0; (n = pread(held, said, sizeof said, at)) > 0; at += n) {
      if (write(STDERR_FILENO, said, static_cast<std::size_t>(n)) != n) break;
    }
    close(held);
  }
  close(real_stderr);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  Release();
  setApplicationName(QStringLiteral("Mivo"));
  setApplicationDisplayName(QStringLiteral("Mivo"));
  setApplicationVersion(QStringLiteral(MIVO_VERSION));
  setDesktopFileName(QStringLiteral("org.mivo.Mivo"));
  // The window's own icon, at 1x and 2x scale, from the pixel maps as they are: images to decode
  // would cost more at start than the window itself. The desktop's menu and dock take theirs from
  // the installed icon theme, through the desktop file name.
  QIcon icon{QPixmap(mivo_16)};
  icon.addPixmap(QPixmap(mivo_32));
  setWindowIcon(icon);

  // About 9 pt keeps the digits and the caption legible in the window's small controls. Neither
  // digits nor Japanese need shaping, which would read the font's largest tables at start.
  QFont font(QStringList{QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                         QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic")});
  font.setPointSize(9);
  font.setStyleStrategy(QFont::PreferNoShaping);
  setFont(font);
}

void Application::TranslateQtTexts() {
  static bool loaded = false;
  if (std::exchange(loaded, true)) return;
  auto* translator = new QTranslator(instance());
  if (translator->load(QStringLiteral("qtbase_ja"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    installTranslator(translator);
  }
}

}  // namespace window
