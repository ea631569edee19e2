#include "window/event_layer.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "tax/errors.h"
#include "window/controls.h"
#include "window/handlers.h"

namespace window {
namespace {

// What the warning box says about an error that ended a user action.
std::u16string ErrorMessage(const std::exception& error) {
  if (const auto* conversion = dynamic_cast<const tax::ConversionError*>(&error)) {
    // Long texts are cut, never inside a surrogate pair.
    constexpr std::size_t kLongest = 20;
    std::u16string text = conversion->text();
    if (text.empty()) return u"金額が入力されていません。";
    if (text.size() > kLongest) {
      std::size_t cut = kLongest;
      if (text[cut] >= 0xDC00 && text[cut] <= 0xDFFF) --cut;
      text = text.substr(0, cut) + u"…";
    }
    return u"「" + text + u"」は金額として読めません。";
  }
  if (dynamic_cast<const tax::ArithmeticError*>(&error) != nullptr) {
    return u"金額が大きすぎて計算できません。";
  }
  return u"計算できませんでした。";
}

}  // namespace

template <typename Action>
void EventLayer::Handle(Control arrived, Action action) {
  if (handling_) return;
  handling_ = true;
  const Control before = focus_;
  const int boxes_before = boxes_shown_;
  bool failed = false;
  try {
    action();
  } catch (const std::exception& error) {
    failed = true;
    focus_ = before;
    MessageBox(ErrorMessage(error), BoxIcon::Warning);
  }
  // A box takes the activation away, and the toolkit's focus may sit where an action ended early.
  if (failed || focus_ != arrived || boxes_shown_ != boxes_before) window_.SetFocus(focus_);
  TellUnseen();
  handling_ = false;
}

void EventLayer::TellUnseen() {
  std::u16string told;
  for (const Field field : std::exchange(unseen_, {})) {
    if (ControlOf(field) == focus_) continue;  // where a screen reader reads it anyway
    if (!told.empty()) told += u'、';
    told.append(DesignOf(ControlOf(field)).accessible_name)
        .append(u" ")
        .append(window_.Text(field));
  }
  if (!told.empty()) window_.Tell(told);
}

void EventLayer::Start() {
  focus_ = Control::Text1;
  Handle(focus_, [this] { BindingOf(focus_).got_focus(*this); });
}

void EventLayer::FocusArrived(Control control) {
  Handle(control, [this, control] { Move(control, false); });
}

void EventLayer::KeyDown(Control control, KeyCode key, bool shift) {
  Handle(control, [this, control, key, shift] {
    if (const auto key_down = BindingOf(control).key_down) key_down(*this, key, shift);
  });
}

void EventLayer::Clicked(Control control) {
  Handle(control, [this, control] {
    if (const auto click = BindingOf(control).click) click(*this);
  });
}

void EventLayer::SetText(Field field, std::u16string_view text) {
  if (window_.Text(field) == text) return;
  window_.SetText(field, text);
  if (ControlOf(field) != focus_ &&
      std::find(unseen_.begin(), unseen_.end(), field) == unseen_.end())
    unseen_.push_back(field);
}

void EventLayer::SetFocus(Control control) { Move(control, true); }

void EventLayer::Move(Control control, bool move_toolkit) {
  if (control == focus_) return;
  const Control left = std::exchange(focus_, control);
  if (move_toolkit) window_.SetFocus(control);
  if (const auto lost = BindingOf(left).lost_focus) lost(*this);
  if (const auto got = BindingOf(control).got_focus) got(*this);
}

void EventLayer::MessageBox(std::u16string_view prompt, BoxIcon icon) {
  ++boxes_shown_;
  window_.MessageBox(prompt, icon);
}

}  // namespace window
