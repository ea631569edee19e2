#include <QApplication>

#include "window/qt/application.h"
#include "window/qt/display.h"
#include "window/qt/form1.h"

int main(int argc, char** argv) {
  if (!window::ChooseDisplay(argc, argv)) return 1;
  QApplication app(argc, argv);
  window::SetUpApplication(app);
  window::Form1 form;
  form.show();
  return QApplication::exec();
}
