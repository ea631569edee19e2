#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "window/event_layer.h"

class QInputMethodEvent;
class QLineEdit;
class QPushButton;

namespace window {

// The calculator's window on Qt Widgets. It provides the Form operations on its real widgets and
// turns Qt's events into the event layer's few notifications:
//
//   focus-in on a control (any reason)  -> EventLayer::FocusArrived
//   key press on a control              -> EventLayer::KeyDown (Return and keypad Enter are 13)
//   the button's clicked signal         -> EventLayer::Clicked
//
// Focus-out events are not used: the layer knows which control it is leaving. What an input
// method composes reaches a field as input-method events, which are looked at here only so that
// no composition is lost or lands twice (see OnInputMethod).
class Form1 final : public QWidget, private Form {
 public:
  Form1();
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool OnInputMethod(QLineEdit* field, QInputMethodEvent* event);
  Control ControlOf(const QObject* widget) const;

  std::u16string Text(Field field) override;
  void SetText(Field field, std::u16string_view text) override;
  void SetFocus(Control control) override;
  void MessageBox(std::u16string_view prompt, BoxIcon icon) override;
  void Tell(std::u16string_view message) override;

  const std::array<QLineEdit*, 2> fields_;  // Text1, Text2
  QPushButton* const command1_;
  const std::array<QWidget*, 3> controls_;  // in the order of Control
  QWidget* const teller_;                   // never drawn: see Tell
  EventLayer layer_{*this};
  // Set when a box opens while a mouse button is held: the press that opened it is dropped.
  bool press_interrupted_ = false;
  // The field being composed in, if any, and its text and selection before the composition began,
  // which a cancel puts back, unless the composition began with a commit.
  struct Composition {
    QLineEdit* field = nullptr;
    bool puts_back = false;
    QString text;
    int selection_start = -1;
    int selection_length = 0;
  };
  Composition composition_;
  // The last composition committed, until a key is pressed: the input method may send it again.
  QString committed_;
};

}  // namespace window
