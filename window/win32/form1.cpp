#include "window/win32/form1.h"

#include <commctrl.h>
#include <imm.h>
#include <ole2.h>
#include <uiautomationcore.h>

#include <string>

#include "window/controls.h"

namespace window {
namespace {

constexpr wchar_t kClassName[] = L"Mivo.Form1";

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

int Scale(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), 96); }

bool IsAllSelected(HWND edit) {
  DWORD start = 0;
  DWORD end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return start == 0 && static_cast<int>(end) == GetWindowTextLengthW(edit);
}

}  // namespace

Win32Form1::Win32Form1(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  RegisterClassExW(&window_class);

  hwnd_ = CreateWindowExW(0, kClassName, L"Mivo", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                          nullptr, nullptr, instance, this);
  for (UINT_PTR i = 0; i < 3; ++i) {
    const ControlDesign& design = kControls[i];
    const bool field = i != static_cast<UINT_PTR>(Control::Command1);
    // A screen reader names an edit after the label just before it, hidden or not.
    if (field) {
      CreateWindowExW(0, L"STATIC", Wide(design.accessible_name), WS_CHILD | SS_NOPREFIX, 0, 0, 0,
                      0, hwnd_, nullptr, instance, nullptr);
    }
    controls_[i] = CreateWindowExW(
        field ? WS_EX_CLIENTEDGE : 0, field ? L"EDIT" : L"BUTTON", Wide(design.text),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | (field ? ES_AUTOHSCROLL : BS_PUSHBUTTON), 0, 0, 0, 0,
        hwnd_, reinterpret_cast<HMENU>(i + 1), instance, nullptr);
    SetWindowSubclass(controls_[i], ControlProc, i, reinterpret_cast<DWORD_PTR>(this));
  }
  Layout(GetDpiForWindow(hwnd_));
  layer_.Start();
  // Selected, so that the first amount typed replaces the "0".
  ::SetFocus(controls_[0]);
  SendMessageW(controls_[0], EM_SETSEL, 0, -1);
}

Win32Form1::~Win32Form1() {
  for (UINT_PTR i = 0; i < 3; ++i) RemoveWindowSubclass(controls_[i], ControlProc, i);
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  DeleteObject(font_);
}

HWND Win32Form1::ControlWindow(Control control) const {
  return controls_[static_cast<int>(control)];
}

void Win32Form1::Layout(UINT dpi) {
  RECT frame{0, 0, Scale(kClientWidth, dpi), Scale(kClientHeight, dpi)};
  AdjustWindowRectExForDpi(&frame, kStyle, FALSE, 0, dpi);
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (int i = 0; i < 3; ++i) {
    const Rect& r = kControls[i].geometry;
    MoveWindow(controls_[i], Scale(r.left, dpi), Scale(r.top, dpi), Scale(r.width, dpi),
               Scale(r.height, dpi), TRUE);
  }
  // About 9 pt keeps the digits and the caption legible in the window's small controls.
  const HFONT old_font = font_;
  font_ = CreateFontW(-MulDiv(9, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                      FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      CLEARTYPE_QUALITY, DEFAULT_PITCH, L"MS UI Gothic");
  for (HWND control : controls_)
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  if (old_font != nullptr) DeleteObject(old_font);
}

LRESULT CALLBACK Win32Form1::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && self != nullptr &&
          reinterpret_cast<HWND>(lparam) == self->controls_[2]) {
        self->layer_.Clicked(Control::Command1);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      // A plain window would give the focus to itself; give it to the control that has it.
      if (LOWORD(wparam) != WA_INACTIVE && self != nullptr) {
        ::SetFocus(self->ControlWindow(self->layer_.focus()));
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      self->Layout(HIWORD(wparam));
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK Win32Form1::ControlProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR control, DWORD_PTR self) {
  return reinterpret_cast<Win32Form1*>(self)->OnControlMessage(static_cast<Control>(control), hwnd,
                                                               message, wparam, lparam);
}

LRESULT Win32Form1::OnControlMessage(Control control, HWND hwnd, UINT message, WPARAM wparam,
                                     LPARAM lparam) {
  switch (message) {
    case WM_GETDLGCODE: {
      // The dialog-style loop would take Enter for itself.
      const auto* pending = reinterpret_cast<const MSG*>(lparam);
      const LRESULT code = DefSubclassProc(hwnd, message, wparam, lparam);
      if (pending != nullptr && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN) {
        return code | DLGC_WANTMESSAGE;
      }
      return code;
    }
    // Input methods: the edit control keeps a composition out of its text, and takes in only what
    // is committed (WM_IME_COMPOSITION with GCS_RESULTSTR, then WM_IME_ENDCOMPOSITION), so no
    // handler ever reads half an amount. The keys that the input method takes while composing
    // (Enter to commit, Escape to cancel, Tab, Space) come here as VK_PROCESSKEY, to which no
    // handler is bound: the Enter that commits does not also move the focus. What the edit does
    // not do is commit a composition when the focus leaves it (see WM_KILLFOCUS), nor put back the
    // selected text that a composition begun over it removed, when it is cancelled.
    case WM_IME_STARTCOMPOSITION:
      if (control != Control::Command1) {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        composition_ = Composition{hwnd, Text(static_cast<Field>(control)), start, end};
      }
      break;
    case WM_IME_COMPOSITION:
      if ((lparam & GCS_RESULTSTR) != 0) composition_.reset();  // committed
      break;
    case WM_IME_ENDCOMPOSITION:
      if (composition_ && composition_->field == hwnd) {  // cancelled
        SetWindowTextW(hwnd, Wide(composition_->text.c_str()));
        SendMessageW(hwnd, EM_SETSEL, composition_->selection_start, composition_->selection_end);
      }
      composition_.reset();
      break;
    case WM_IME_CHAR: {
      if (control == Control::Command1) break;
      // What is committed is typed at once: Windows would post it as WM_CHAR, which would come
      // after the handlers of the focus move that committed it had read the field.
      const wchar_t typed[] = {static_cast<wchar_t>(wparam), L'\0'};
      SendMessageW(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(typed));
      return 0;
    }
    case WM_KEYDOWN:
      // A Windows button clicks on Enter only inside a dialog.
      if (control == Control::Command1 && wparam == VK_RETURN) {
        layer_.Clicked(Control::Command1);
        return 0;
      }
      layer_.KeyDown(control, static_cast<KeyCode>(wparam), GetKeyState(VK_SHIFT) < 0);
      break;
    case WM_CHAR:
      if (wparam == L'\r' || wparam == L'\n') return 0;  // a single-line edit would beep
      break;
    case WM_KILLFOCUS:
      // Committed into the field it was typed in before the focus arrives elsewhere, where the
      // handler of the field left reads it; else the input method might cancel it, or finish it
      // in the next field.
      if (const HIMC context = ImmGetContext(hwnd)) {
        ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_COMPLETE, 0);
        ImmReleaseContext(hwnd, context);
      }
      break;
    case WM_SETFOCUS: {
      // Tab selects the whole field before it moves the focus there, and the handlers that run
      // on the move may rewrite the field: the new amount is selected as the old one was.
      const bool all_selected = control != Control::Command1 && IsAllSelected(hwnd);
      const LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
      layer_.FocusArrived(control);
      if (all_selected) SendMessageW(hwnd, EM_SETSEL, 0, -1);
      return result;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {  // the second press of a quick pair, as after a box closed at once
      // A press whose focus move opened a box is over: its release must not click the button
      // or go on selecting in an edit, and the button must not stay pushed in.
      const int boxes = layer_.boxes_shown();
      const LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
      press_interrupted_ = boxes != layer_.boxes_shown();
      if (press_interrupted_ && GetCapture() == hwnd) ReleaseCapture();
      if (press_interrupted_ && control == Control::Command1)
        SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
      return result;
    }
    case WM_LBUTTONUP:
      if (press_interrupted_) {
        press_interrupted_ = false;
        if (GetCapture() == hwnd) ReleaseCapture();
        return 0;
      }
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

std::u16string Win32Form1::Text(Field field) {
  const HWND control = ControlWindow(ControlOf(field));
  std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, u'\0');
  const int length = GetWindowTextW(control, reinterpret_cast<wchar_t*>(text.data()),
                                    static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

void Win32Form1::SetText(Field field, std::u16string_view text) {
  SetWindowTextW(ControlWindow(ControlOf(field)), Wide(std::u16string(text).c_str()));
}

void Win32Form1::SetFocus(Control control) {
  // After a box nothing gives the focus back unless the program does.
  if (GetActiveWindow() != hwnd_) SetActiveWindow(hwnd_);
  ::SetFocus(ControlWindow(control));
  if (control != Control::Command1) SendMessageW(ControlWindow(control), EM_SETSEL, 0, -1);
}

void Win32Form1::MessageBox(std::u16string_view prompt, BoxIcon icon) {
  ::MessageBoxW(hwnd_, Wide(std::u16string(prompt).c_str()), L"Mivo",
                MB_OK | (icon == BoxIcon::Warning ? MB_ICONWARNING : 0));
}

// Windows 10's screen readers say a UI Automation notification wherever the focus is. The call is
// looked up when first needed, not at start: earlier Windows, and Wine 8, have none.
void Win32Form1::Tell(std::u16string_view message) {
  using HostProvider = HRESULT(WINAPI*)(HWND, IRawElementProviderSimple**);
  using Notify = HRESULT(WINAPI*)(IRawElementProviderSimple*, int, int, BSTR, BSTR);
  static const HMODULE automation = LoadLibraryW(L"uiautomationcore.dll");
  static const auto host = reinterpret_cast<HostProvider>(
      reinterpret_cast<void*>(GetProcAddress(automation, "UiaHostProviderFromHwnd")));
  static const auto notify = reinterpret_cast<Notify>(
      reinterpret_cast<void*>(GetProcAddress(automation, "UiaRaiseNotificationEvent")));
  IRawElementProviderSimple* provider = nullptr;
  if (host == nullptr || notify == nullptr || FAILED(host(hwnd_, &provider))) return;
  constexpr int kActionCompleted = 2;      // NotificationKind
  constexpr int kImportantMostRecent = 1;  // NotificationProcessing: the newest, not to be dropped
  BSTR text = SysAllocStringLen(Wide(message.data()), static_cast<UINT>(message.size()));
  BSTR activity = SysAllocString(L"Mivo.result");
  notify(provider, kActionCompleted, kImportantMostRecent, text, activity);
  SysFreeString(activity);
  SysFreeString(text);
  provider->Release();
}

}  // namespace window
