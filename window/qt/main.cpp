#include "window/qt/application.h"
#include "window/qt/form1.h"

int main(int argc, char** argv) {
  window::Application app(argc, argv);
  window::Form1 form;
  form.show();
  return QApplication::exec();
}
