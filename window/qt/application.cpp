#include "window/qt/application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

namespace window {

void SetUpApplication(QApplication& app) {
  QApplication::setApplicationName(QStringLiteral("Mivo"));
  QApplication::setApplicationDisplayName(QStringLiteral("Mivo"));
  QApplication::setApplicationVersion(QStringLiteral("1.00"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.mivo.Mivo"));
  QIcon icon;
  for (const int size : {16, 32, 48, 256})
    icon.addFile(QStringLiteral(":/icons/mivo-%1.png").arg(size));
  QApplication::setWindowIcon(icon);

  auto* translator = new QTranslator(&app);
  if (translator->load(QStringLiteral("qtbase_ja"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator);
  }

  // About 9 pt keeps the digits and the caption legible in the window's small controls.
  QFont font(QStringList{QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                         QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic")});
  font.setPointSize(9);
  QApplication::setFont(font);
}

}  // namespace window
