// Plays the stories' actions on Mivo.exe's real window in this process under Wine: it finds the
// controls by their accessible names, types and clicks through SendInput, and a hook reads and
// closes each box as it opens. One action a line, answered "done" or "cannot": start, key VK
// SHIFT KEYPAD, type TEXT, click CONTROL, menu, select, away, ok. "facts" is
// answered, tab-separated, with what the window showed as the first box opened since the last
// facts, or else now (net, gross, the control with the focus, the button held down), then each
// box's title, text, number of buttons and icon.
#include <fcntl.h>
#include <initguid.h>  // IID_IAccessible as MinGW's libraries give it is not the one Wine knows
#include <io.h>
#include <oleacc.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#undef MessageBox  // the Form operation, not the Win32 macro

#include "window/controls.h"
#include "window/win32/form1.h"

namespace window {
namespace {

std::unique_ptr<Win32Form1> g_form;
std::wstring g_shown, g_boxes;  // the window as the first box opened; the boxes since

std::wstring Text(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The shown control that a screen reader calls by the name that the table gives it.
HWND Find(int control) {
  for (HWND child = GetWindow(g_form->hwnd(), GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    IAccessible* accessible = nullptr;
    BSTR name = nullptr;
    if (IsWindowVisible(child) && SUCCEEDED(AccessibleObjectFromWindow(
                                      child, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                      reinterpret_cast<void**>(&accessible)))) {
      VARIANT self{};  // CHILDID_SELF
      self.vt = VT_I4;
      accessible->get_accName(self, &name);
      accessible->Release();
    }
    const bool found = name && std::u16string_view(reinterpret_cast<char16_t*>(name)) ==
                                   kControls[control].accessible_name;
    SysFreeString(name);
    if (found) return child;
  }
  return nullptr;
}

std::wstring Focus() {
  for (int i = 0; i < 3; ++i) {
    const std::string name = kControls[i].name;
    if (GetFocus() == Find(i)) return {name.begin(), name.end()};
  }
  return L"";
}

std::wstring Now() {
  const bool pressed = (SendMessageW(Find(2), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
  return Text(Find(0)) + L'\t' + Text(Find(1)) + L'\t' + Focus() + (pressed ? L"\t1" : L"\t0");
}

LRESULT CALLBACK ReadAndCloseBoxes(int code, WPARAM wparam, LPARAM lparam) {
  const auto box = reinterpret_cast<HWND>(wparam);  // NOLINT(performance-no-int-to-ptr)
  wchar_t kind[32] = {};
  if (code == HCBT_ACTIVATE && GetClassNameW(box, kind, 32) > 0 &&
      kind == std::wstring(L"#32770")) {
    int buttons = 0;
    bool icon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      // By style: while the box itself is not shown yet, no child of it counts as visible.
      if ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
      GetClassNameW(child, kind, 32);
      buttons += kind == std::wstring(L"Button");
      icon = icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    if (g_boxes.empty()) g_shown = Now();
    g_boxes += L'\t' + Text(box) + L'\t' + Text(GetDlgItem(box, 0xFFFF)) + L'\t' +
               std::to_wstring(buttons) + (icon ? L"\t1" : L"\t0");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Handles what arrives, as the program's loop does, until nothing more comes. Wine hands sent
// input over through its server, so quiet has to last a while.
void Pump() {
  for (int idle = 0; idle < 3;) {
    MSG message;
    idle = PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) ? 0 : idle + 1;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (g_form->PreTranslate(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (idle > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT);
  }
}

void AddKey(std::vector<INPUT>& inputs, WORD vk, DWORD flags, wchar_t c = 0) {
  INPUT& input = inputs.emplace_back();
  input.type = INPUT_KEYBOARD;
  input.ki = {vk, c, flags, 0, 0};
}

// Never twice on the same spot, or two quick clicks make a double-click.
void AddClick(std::vector<INPUT>& inputs, HWND control, DWORD down) {
  static int clicks = 0;
  clicks = (clicks + 1) % 8;
  RECT rect;
  GetWindowRect(control, &rect);
  for (const DWORD flags : {DWORD{MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE}, down, down << 1}) {
    INPUT& input = inputs.emplace_back();
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(rect.left + 8 + 8 * clicks, 65536, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = MulDiv((rect.top + rect.bottom) / 2, 65536, GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags =
        flags | MOUSEEVENTF_ABSOLUTE;  // the button's up flag is its down flag's next
  }
}

bool Act(const std::wstring& verb, const std::wstring& text) {
  std::vector<INPUT> inputs;
  if (verb == L"key") {
    unsigned vk = 0, shift = 0, keypad = 0;
    swscanf(text.c_str(), L"%u %u %u", &vk, &shift, &keypad);
    const DWORD flags = keypad ? KEYEVENTF_EXTENDEDKEY : 0;
    if (shift) AddKey(inputs, VK_SHIFT, 0);
    AddKey(inputs, static_cast<WORD>(vk), flags);
    AddKey(inputs, static_cast<WORD>(vk), flags | KEYEVENTF_KEYUP);
    if (shift) AddKey(inputs, VK_SHIFT, KEYEVENTF_KEYUP);
  } else if (verb == L"type") {
    for (const wchar_t c : text) {
      AddKey(inputs, 0, KEYEVENTF_UNICODE, c);
      AddKey(inputs, 0, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP, c);
    }
  } else if (verb == L"click") {
    for (int i = 0; i < 3; ++i) {
      const std::string name = kControls[i].name;
      if (text == std::wstring(name.begin(), name.end()))
        AddClick(inputs, Find(i), MOUSEEVENTF_LEFTDOWN);
    }
  } else if (verb == L"menu") {  // its own loop would hold a key sent after the click
    AddClick(inputs, GetFocus(), MOUSEEVENTF_RIGHTDOWN);
    AddKey(inputs, VK_ESCAPE, 0);
    AddKey(inputs, VK_ESCAPE, KEYEVENTF_KEYUP);
  } else if (verb == L"select") {
    SendMessageW(GetFocus(), EM_SETSEL, 0, -1);
  } else if (verb == L"away") {
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    Pump();
    const bool left = Focus().empty();
    SetForegroundWindow(g_form->hwnd());
    DestroyWindow(other);
    Pump();
    return left;
  } else if (verb != L"ok") {  // the hook has closed the box already
    return false;
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Pump();
  return verb != L"click" || !inputs.empty();
}

bool Start() {
  g_form.reset();
  g_form = std::make_unique<Win32Form1>(GetModuleHandleW(nullptr));
  ShowWindow(g_form->hwnd(), SW_SHOW);
  SetForegroundWindow(g_form->hwnd());
  Pump();
  g_boxes.clear();
  return Find(0) && Find(1) && Find(2);
}

}  // namespace
}  // namespace window

int main() {
  using namespace window;
  _setmode(_fileno(stdin), _O_U8TEXT);
  _setmode(_fileno(stdout), _O_U8TEXT);
  CoInitialize(nullptr);
  SetWindowsHookExW(WH_CBT, ReadAndCloseBoxes, nullptr, GetCurrentThreadId());
  for (wchar_t line[1024]; std::fgetws(line, 1024, stdin) != nullptr; std::fflush(stdout)) {
    std::wstring verb = line, text;
    verb.erase(verb.find_last_not_of(L"\r\n") + 1);
    if (const auto space = verb.find(L' '); space != std::wstring::npos) {
      text = verb.substr(space + 1);
      verb.resize(space);
    }
    if (verb == L"facts") {
      std::fputws(((g_boxes.empty() ? Now() : g_shown) + g_boxes + L"\n").c_str(), stdout);
      g_boxes.clear();
      continue;
    }
    const bool done = verb == L"start" ? Start() : g_form && Act(verb, text);
    std::fputws(done ? L"done\n" : L"cannot\n", stdout);
  }
  g_form.reset();
}
