// The baseline for the start-up benchmark: a bare Qt window with the same three controls.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setFixedSize(110, 47);
  (new QLineEdit(QStringLiteral("0"), &window))->setGeometry(0, 0, 113, 18);
  (new QLineEdit(QStringLiteral("0"), &window))->setGeometry(0, 16, 113, 18);
  (new QPushButton(QStringLiteral("消費税計算機"), &window))->setGeometry(0, 32, 113, 17);
  window.show();
  return QApplication::exec();
}
