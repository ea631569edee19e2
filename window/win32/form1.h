#pragma once

#include <windows.h>
#undef MessageBox  // the Form operation, not the Win32 macro

#include <optional>
#include <string>

#include "window/event_layer.h"

namespace window {

// The calculator's window on the Win32 API. It provides the Form operations on real controls and
// turns their messages into the event layer's few notifications:
//
//   WM_SETFOCUS on a control           -> EventLayer::FocusArrived
//   WM_KEYDOWN on a control            -> EventLayer::KeyDown (the virtual-key code as it is)
//   BN_CLICKED, or Enter on the button -> EventLayer::Clicked
//
// WM_KILLFOCUS raises no event: the layer knows which control it is leaving. It only completes a
// composition of the input method in the field that is left.
class Win32Form1 final : private Form {
 public:
  explicit Win32Form1(HINSTANCE instance);
  ~Win32Form1();
  Win32Form1(const Win32Form1&) = delete;
  Win32Form1& operator=(const Win32Form1&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Tab, Shift+Tab and the rest of keyboard navigation; true when the message was handled.
  bool PreTranslate(MSG& message) { return IsDialogMessageW(hwnd_, &message) != FALSE; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR control, DWORD_PTR self);
  HWND ControlWindow(Control control) const;
  LRESULT OnControlMessage(Control control, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void Layout(UINT dpi);

  std::u16string Text(Field field) override;
  void SetText(Field field, std::u16string_view text) override;
  void SetFocus(Control control) override;
  void MessageBox(std::u16string_view prompt, BoxIcon icon) override;
  void Tell(std::u16string_view message) override;

  HWND hwnd_ = nullptr;
  HWND controls_[3] = {};
  HFONT font_ = nullptr;
  EventLayer layer_{*this};
  bool press_interrupted_ = false;
  // The field being composed in, with its text and selection before the composition began.
  struct Composition {
    HWND field;
    std::u16string text;
    DWORD selection_start;
    DWORD selection_end;
  };
  std::optional<Composition> composition_;
};

}  // namespace window
