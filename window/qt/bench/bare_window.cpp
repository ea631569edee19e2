// The baseline for the start-up benchmark: a bare Qt window with the same three controls.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "window/controls.h"

template <typename Widget>
void Add(QWidget& window, window::Control control) {
  const window::ControlDesign& design = window::DesignOf(control);
  const window::Rect& r = design.geometry;
  (new Widget(QString::fromUtf16(design.text), &window))
      ->setGeometry(r.left, r.top, r.width, r.height);
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setFixedSize(window::kClientWidth, window::kClientHeight);
  Add<QLineEdit>(window, window::Control::Text1);
  Add<QLineEdit>(window, window::Control::Text2);
  Add<QPushButton>(window, window::Control::Command1);
  window.show();
  return QApplication::exec();
}
