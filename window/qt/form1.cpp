#include "window/qt/form1.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QGridLayout>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "window/controls.h"
#include "window/qt/application.h"

namespace window {
namespace {

QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt tells assistive technologies of a focus move once the move is over, after the handlers have
// changed the control entered: a screen reader then takes the change for the arrival and never
// says where the focus went. So the arrival is told before the handlers run, and Qt's own word of
// it after them is held back, since a screen reader that hears it twice drops the first.
QObject* g_told = nullptr;

void ForwardAccessibilityUpdate(QAccessibleEvent* event) {
  if (event->type() == QAccessible::Focus && event->object() == std::exchange(g_told, nullptr))
    return;
  QAccessible::installUpdateHandler(nullptr);
  QAccessible::updateAccessibility(event);
  QAccessible::installUpdateHandler(ForwardAccessibilityUpdate);
}

void TellFocusArrived(QObject* control) {
  QAccessibleEvent arrived(control, QAccessible::Focus);
  QAccessible::updateAccessibility(&arrived);
  g_told = control;
}

// Beside a title, what the desktops' title bars draw at either side: an icon, up to three buttons.
constexpr int kTitleBarButtonsRoom = 200;

// A screen reader says what the window tells it, wherever the focus is: an announcement, since Qt
// 6.8. Qt 6.4 has none, and Orca 43 says a notification as it shows: there, what is told is one.
constexpr char kTeller[] = "Teller";

QAccessibleInterface* NotificationOf(const QString& /*class_name*/, QObject* object) {
  auto* teller =
      object->objectName() == QLatin1String(kTeller) ? qobject_cast<QWidget*>(object) : nullptr;
  return teller != nullptr ? new QAccessibleWidget(teller, QAccessible::Notification) : nullptr;
}

template <typename Widget>
Widget* Make(QWidget* parent, Control control) {
  const ControlDesign& design = DesignOf(control);
  auto* widget = new Widget(ToQString(design.text), parent);
  widget->setObjectName(QLatin1String(design.name));
  widget->setAccessibleName(ToQString(design.accessible_name));
  const Rect& r = design.geometry;
  widget->setGeometry(r.left, r.top, r.width, r.height);
  return widget;
}

}  // namespace

Form1::Form1()
    : fields_{Make<QLineEdit>(this, Control::Text1), Make<QLineEdit>(this, Control::Text2)},
      command1_(Make<QPushButton>(this, Control::Command1)),
      controls_{fields_[0], fields_[1], command1_},
      teller_(new QWidget(this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Mivo"));
  setFixedSize(kClientWidth, kClientHeight);
  setTabOrder(controls_[0], controls_[1]);
  setTabOrder(controls_[1], controls_[2]);

  for (QWidget* control : controls_) {
    control->installEventFilter(this);
  }
  QAccessible::installUpdateHandler(ForwardAccessibilityUpdate);
  teller_->setObjectName(QLatin1String(kTeller));
  teller_->hide();
  QAccessible::installFactory(NotificationOf);
  connect(command1_, &QPushButton::clicked, this, [this] { layer_.Clicked(Control::Command1); });

  layer_.Start();
  // Selected, so that the first amount typed replaces the "0".
  fields_[0]->setFocus();
  fields_[0]->selectAll();
}

// The children outlive the layer while QWidget tears them down, and may still get focus events.
Form1::~Form1() {
  for (QWidget* control : controls_) {
    control->removeEventFilter(this);
  }
  QAccessible::installUpdateHandler(nullptr);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  const Control control = ControlOf(watched);
  switch (event->type()) {
    case QEvent::FocusIn:
      if (layer_.Moves(control)) TellFocusArrived(watched);
      layer_.FocusArrived(control);
      break;
    case QEvent::ContextMenu:
      Application::TranslateQtTexts();
      break;
    case QEvent::InputMethod: {
      auto* field = qobject_cast<QLineEdit*>(watched);
      return field != nullptr && OnInputMethod(field, static_cast<QInputMethodEvent*>(event));
    }
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
// text, which a cancelled composition would leave removed. A commit ends the composition that it
// commits, even when the same event begins another: GNOME Shell 48 sends the committed text
// again as a new composition and takes that back in its next event, which is no cancel of what
// was committed. Enter, Escape, Tab and the other keys that a composition takes are the input
// method's and never reach the window.
bool Form1::OnInputMethod(QLineEdit* field, QInputMethodEvent* event) {
  const bool commits = !event->commitString().isEmpty();
  const bool composes = !event->preeditString().isEmpty();
  const bool ours = composition_.field == field;
  if (commits) {
    if (!ours && !composes && event->commitString() == committed_) {  // the same text again
      committed_.clear();
      return true;
    }
    committed_ = event->commitString();
    // What the commit leaves is what a cancel of the new composition leaves.
    composition_ = composes ? Composition{field, false, {}, -1, 0} : Composition{};
    return false;
  }
  if (composes) {
    if (!ours) {
      composition_ = {field, true, field->text(), field->selectionStart(),
                      field->selectionLength()};
    }
    return false;
  }
  if (!ours) return false;
  // Cancelled. Qt's ibus support would still commit it when the focus moves, unless reset.
  const Composition before = std::exchange(composition_, {});
  QCoreApplication::sendEvent(field, event);
  QGuiApplication::inputMethod()->reset();
  if (before.puts_back) field->setText(before.text);
  if (before.selection_start >= 0)
    field->setSelection(before.selection_start, before.selection_length);
  return true;
}

void Form1::Tell(std::u16string_view message) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  QAccessibleAnnouncementEvent told(this, ToQString(message));
  QAccessible::updateAccessibility(&told);
#else
  teller_->setAccessibleName(ToQString(message));
  QAccessibleEvent shown(teller_, QAccessible::ObjectShow);
  QAccessible::updateAccessibility(&shown);
#endif
}

Control Form1::ControlOf(const QObject* widget) const {
  return static_cast<Control>(std::find(controls_.begin(), controls_.end(), widget) -
                              controls_.begin());
}

std::u16string Form1::Text(Field field) {
  return fields_[static_cast<std::size_t>(field)]->text().toStdU16String();
}

void Form1::SetText(Field field, std::u16string_view text) {
  fields_[static_cast<std::size_t>(field)]->setText(ToQString(text));
}

void Form1::SetFocus(Control control) {
  // After a modal box nothing reactivates the window unless a window manager does.
  if (isVisible() && !isActiveWindow()) activateWindow();
  QWidget* const widget = controls_[static_cast<std::size_t>(control)];
  widget->setFocus(Qt::OtherFocusReason);
  if (auto* field = qobject_cast<QLineEdit*>(widget)) field->selectAll();
}

void Form1::MessageBox(std::u16string_view prompt, BoxIcon icon) {
  if (QGuiApplication::mouseButtons() != Qt::NoButton) press_interrupted_ = true;
  Application::TranslateQtTexts();
  QMessageBox box(icon == BoxIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                  QStringLiteral("Mivo"), ToQString(prompt), QMessageBox::Ok, this);
  // A screen reader says the box's own description. Of the labels inside it, Orca 48 says only
  // those of three words or more, counted by spaces, which a Japanese sentence does not have; Orca
  // 43 says every label that relates to nothing, beside the description, so the text's label is
  // related to the box, and said once.
  box.setAccessibleDescription(ToQString(prompt));
  for (QLabel* label : box.findChildren<QLabel*>()) {
    if (label->text() == box.text()) label->setBuddy(&box);
  }
  // The title bar that the desktop draws above the box sets its icon and buttons beside the title,
  // or over it (GNOME's Adwaita centres the title): room for both, or the title is cut.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int room = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarButtonsRoom;
    grid->addItem(new QSpacerItem(room, 0), grid->rowCount(), 0, 1, grid->columnCount());
  }
  box.exec();
}

}  // namespace window
