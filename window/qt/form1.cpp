#include "window/qt/form1.h"

#include <QApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <array>
#include <utility>

namespace window {
namespace {

// The window's layout in pixels, at 15 twips to the pixel. The controls are wider than the
// window and the button reaches below it, so that the window clips them.
constexpr QSize kClientSize(110, 47);
constexpr QRect kText1Geometry(0, 0, 113, 18);
constexpr QRect kText2Geometry(0, 16, 113, 18);
constexpr QRect kCommand1Geometry(0, 32, 113, 17);

QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit* MakeField(QWidget* parent, const char* name, const QString& accessible_name,
                     const QRect& geometry) {
  auto* field = new QLineEdit(QStringLiteral("0"), parent);
  field->setObjectName(QLatin1String(name));
  field->setAccessibleName(accessible_name);
  field->setGeometry(geometry);
  return field;
}

}  // namespace

Form1::Form1()
    : text1_(MakeField(this, "Text1", QStringLiteral("税抜金額"), kText1Geometry)),
      text2_(MakeField(this, "Text2", QStringLiteral("税込金額"), kText2Geometry)),
      command1_(new QPushButton(QStringLiteral("消費税計算機"), this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Mivo"));
  setFixedSize(kClientSize);
  command1_->setObjectName(QStringLiteral("Command1"));
  command1_->setGeometry(kCommand1Geometry);
  setTabOrder(text1_, text2_);
  setTabOrder(text2_, command1_);

  for (QWidget* control : Controls()) {
    control->installEventFilter(this);
  }
  connect(command1_, &QPushButton::clicked, this, [this] { layer_.Clicked(Control::Command1); });

  layer_.Start();
  // Selected, so that the first amount typed replaces the "0".
  text1_->setFocus();
  text1_->selectAll();
}

// The children outlive the layer while QWidget tears them down, and may still get focus events.
Form1::~Form1() {
  for (QWidget* control : Controls()) {
    control->removeEventFilter(this);
  }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  const Control control = ControlOf(watched);
  switch (event->type()) {
    case QEvent::FocusIn:
      layer_.FocusArrived(control);
      break;
    case QEvent::InputMethod:  // a late commit may reach the button, which takes no text
      return control != Control::Command1 &&
             OnInputMethod(control, static_cast<QInputMethodEvent*>(event));
    case QEvent::KeyPress: {
      committed_.clear();
      const auto* key = static_cast<QKeyEvent*>(event);
      const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
      // Outside a dialog Qt's button ignores Enter; a Windows button clicks on it.
      if (control == Control::Command1 && enter) {
        command1_->click();
        return true;
      }
      layer_.KeyDown(control, enter ? kEnterKey : KeyCode{0},
                     key->modifiers().testFlag(Qt::ShiftModifier));
      break;
    }
    case QEvent::MouseButtonPress:
      // Its release went to the box, so a button would stay down and a field would keep selecting.
      if (std::exchange(press_interrupted_, false)) return true;
      break;
    default:
      break;
  }
  return false;
}

// Qt commits a composition itself when the focus leaves its field, and then ibus commits it again,
// into the field that the focus went to; a composition begun over a selected text removes that
// text, which a cancelled composition would leave removed. Enter, Escape, Tab and the other keys
// that a composition takes are the input method's and never reach the window.
bool Form1::OnInputMethod(Control field, QInputMethodEvent* event) {
  QLineEdit* const line = FieldOf(field);
  const bool ends = event->preeditString().isEmpty();
  if (!composition_ || composition_->field != field) {
    if (ends) {  // a commit with no composition of its own: the same text again is an echo
      const bool echo = !event->commitString().isEmpty() && event->commitString() == committed_;
      if (echo) committed_.clear();
      return echo;
    }
    composition_ = {field, line->text(), line->selectionStart(), line->selectionLength()};
    return false;
  }
  if (!ends) return false;
  const Composition before = *std::exchange(composition_, std::nullopt);
  if (!event->commitString().isEmpty()) {
    committed_ = event->commitString();
    return false;
  }
  // Cancelled. Qt's ibus support would still commit it when the focus moves, unless reset.
  QCoreApplication::sendEvent(line, event);
  QGuiApplication::inputMethod()->reset();
  line->setText(before.text);
  if (before.selection_start >= 0)
    line->setSelection(before.selection_start, before.selection_length);
  return true;
}

std::array<QWidget*, 3> Form1::Controls() const { return {text1_, text2_, command1_}; }

Control Form1::ControlOf(const QObject* widget) const {
  if (widget == text1_) return Control::Text1;
  if (widget == text2_) return Control::Text2;
  return Control::Command1;
}

QWidget* Form1::WidgetOf(Control control) const {
  if (control == Control::Command1) return command1_;
  return FieldOf(control);
}

QLineEdit* Form1::FieldOf(Control field) const { return field == Control::Text1 ? text1_ : text2_; }

std::u16string Form1::Text(Control field) { return FieldOf(field)->text().toStdU16String(); }

void Form1::SetText(Control field, std::u16string_view text) {
  FieldOf(field)->setText(ToQString(text));
}

void Form1::SetFocus(Control control) {
  // After a modal box nothing reactivates the window unless a window manager does.
  if (isVisible() && !isActiveWindow()) activateWindow();
  WidgetOf(control)->setFocus(Qt::OtherFocusReason);
  if (control != Control::Command1) FieldOf(control)->selectAll();
}

void Form1::MessageBox(std::u16string_view prompt, BoxIcon icon) {
  if (QGuiApplication::mouseButtons() != Qt::NoButton) press_interrupted_ = true;
  QMessageBox box(icon == BoxIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                  QStringLiteral("Mivo"), ToQString(prompt), QMessageBox::Ok, this);
  box.exec();
}

}  // namespace window
