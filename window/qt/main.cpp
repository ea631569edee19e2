#include <QApplication>

#include "window/qt/application.h"
#include "window/qt/form1.h"

int main(int argc, char** argv) {
  if (!window::HasDisplay(argc, argv)) return 1;
  QApplication app(argc, argv);
  window::SetUpApplication(app);
  window::Form1 form;
  form.show();
  return QApplication::exec();
}
