// The engine that plays the window's stories on Mivo.exe's real window, in this process, under
// Wine. It finds the controls by their accessible names, as a screen reader does, types and
// clicks through SendInput, and reads and closes every box from a hook as it opens. It reads one
// action a line ("start", "type 1,050", "click Text2", "Enter", ...) and answers "done" or
// "cannot". Asked "facts", it answers, tab-separated, what the window showed when the first box
// opened since it was last asked, or else now: net, gross, the control with the focus and whether
// the button is held down; then each such box's title, text, number of buttons and warning sign.
#include <fcntl.h>
#include <initguid.h>  // IID_IAccessible as MinGW's libraries give it is not the one Wine knows
#include <io.h>
#include <oleacc.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>
#undef MessageBox  // the Form operation, not the Win32 macro

#include "window/controls.h"
#include "window/win32/form1.h"

namespace window {
namespace {

std::unique_ptr<Win32Form1> g_form;
std::wstring g_shown;  // what the window showed as the first box opened
std::wstring g_boxes;  // the boxes opened since the facts were last asked for
HHOOK g_hook = nullptr;

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring AccessibleName(HWND hwnd) {
  IAccessible* accessible = nullptr;
  if (FAILED(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                        reinterpret_cast<void**>(&accessible)))) {
    return L"";
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  std::wstring found = SUCCEEDED(accessible->get_accName(self, &name)) && name ? name : L"";
  SysFreeString(name);
  accessible->Release();
  return found;
}

// The shown control that a screen reader calls by the name the table gives it.
HWND Find(int control) {
  const auto* wanted = reinterpret_cast<const wchar_t*>(kControls[control].accessible_name);
  for (HWND child = GetWindow(g_form->hwnd(), GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsWindowVisible(child) && AccessibleName(child) == wanted) return child;
  }
  return nullptr;
}

std::wstring NameOf(int control) {
  const char* name = kControls[control].name;
  return {name, name + std::strlen(name)};
}

std::wstring Focus() {
  for (int i = 0; i < 3; ++i) {
    if (GetFocus() == Find(i)) return NameOf(i);
  }
  return L"";
}

std::wstring Now() {
  const bool pressed = (SendMessageW(Find(2), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
  return WindowText(Find(0)) + L'\t' + WindowText(Find(1)) + L'\t' + Focus() +
         (pressed ? L"\t1" : L"\t0");
}

LRESULT CALLBACK ReadAndCloseBoxes(int code, WPARAM wparam, LPARAM lparam) {
  const auto box = reinterpret_cast<HWND>(wparam);  // NOLINT(performance-no-int-to-ptr)
  wchar_t name[32] = {};
  if (code == HCBT_ACTIVATE && GetClassNameW(box, name, 32) > 0 &&
      name == std::wstring(L"#32770")) {
    int buttons = 0;
    bool warning = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      // By style: while the box itself is not shown yet, no child of it counts as visible.
      if ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
      GetClassNameW(child, name, 32);
      buttons += name == std::wstring(L"Button");
      warning = warning || SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    if (g_boxes.empty()) g_shown = Now();
    g_boxes += L'\t' + WindowText(box) + L'\t' + WindowText(GetDlgItem(box, 0xFFFF)) + L'\t' +
               std::to_wstring(buttons) + (warning ? L"\t1" : L"\t0");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return CallNextHookEx(g_hook, code, wparam, lparam);
}

// Handles what has arrived, as the program's loop does, until nothing more comes. Wine hands sent
// input over through its server, so quiet has to last a while.
void Pump() {
  for (int idle = 0; idle < 3;) {
    MSG message;
    bool any = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      any = true;
      if (g_form->PreTranslate(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    idle = any ? 0 : idle + 1;
    if (!any) MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT);
  }
}

INPUT Key(WORD vk, DWORD flags = 0, WORD unicode = 0) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki = {vk, unicode, flags, 0, 0};
  return input;
}

// A key, pressed with a modifier if one is given.
std::vector<INPUT> Keys(WORD vk, WORD modifier = 0, DWORD flags = 0) {
  std::vector<INPUT> inputs{Key(vk, flags), Key(vk, flags | KEYEVENTF_KEYUP)};
  if (modifier != 0) {
    inputs.insert(inputs.begin(), Key(modifier));
    inputs.push_back(Key(modifier, KEYEVENTF_KEYUP));
  }
  return inputs;
}

// Never twice on the same spot, or two quick clicks make a double-click.
std::vector<INPUT> Click(HWND control, DWORD down, DWORD up) {
  static int clicks = 0;
  clicks = (clicks + 1) % 8;
  RECT rect;
  GetWindowRect(control, &rect);
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dx = MulDiv(rect.left + 8 + 8 * clicks, 65536, GetSystemMetrics(SM_CXSCREEN));
  move.mi.dy = MulDiv((rect.top + rect.bottom) / 2, 65536, GetSystemMetrics(SM_CYSCREEN));
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  std::vector<INPUT> inputs{move, move, move};
  inputs[1].mi.dwFlags = down;
  inputs[2].mi.dwFlags = up;
  return inputs;
}

void Send(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Pump();
}

// A program started until it shows a window titled Mivo: it needs nothing beside Windows.
bool Launch(std::wstring command) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  command = L"\"" + command + L"\"";
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  HWND shown = nullptr;
  for (int i = 0; i < 100 && (shown = FindWindowW(nullptr, L"Mivo")) == nullptr; ++i) Sleep(50);
  TerminateProcess(process.hProcess, 0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return shown != nullptr;
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

bool Act(const std::wstring& verb, const std::wstring& text) {
  static const std::map<std::wstring, std::vector<INPUT>> keys = {
      {L"Enter", Keys(VK_RETURN)},
      {L"KeypadEnter", Keys(VK_RETURN, 0, KEYEVENTF_EXTENDEDKEY)},
      {L"Shift+Enter", Keys(VK_RETURN, VK_SHIFT)},
      {L"Tab", Keys(VK_TAB)},
      {L"Shift+Tab", Keys(VK_TAB, VK_SHIFT)},
      {L"Space", Keys(VK_SPACE)},
      {L"Delete", Keys(VK_DELETE)},
      {L"Escape", Keys(VK_ESCAPE)}};
  if (verb == L"launch") return Launch(text);
  if (verb == L"start") return Start();
  if (!g_form) return false;
  if (const auto key = keys.find(verb); key != keys.end()) {
    Send(key->second);
  } else if (verb == L"type") {
    std::vector<INPUT> inputs;
    for (const wchar_t c : text) {
      inputs.push_back(Key(0, KEYEVENTF_UNICODE, c));
      inputs.push_back(Key(0, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP, c));
    }
    Send(inputs);
  } else if (verb == L"click") {
    int i = 0;
    while (i < 3 && text != NameOf(i)) ++i;
    if (i == 3) return false;
    Send(Click(Find(i), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP));
  } else if (verb == L"select") {
    SendMessageW(GetFocus(), EM_SETSEL, 0, -1);
  } else if (verb == L"menu") {
    // The menu runs a loop of its own: the key that closes it goes with the click.
    std::vector<INPUT> inputs = Click(GetFocus(), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    for (const INPUT& escape : Keys(VK_ESCAPE)) inputs.push_back(escape);
    Send(inputs);
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
  } else {
    return verb == L"ok";  // the hook has closed it already
  }
  return true;
}

}  // namespace
}  // namespace window

int main() {
  using namespace window;
  _setmode(_fileno(stdin), _O_U8TEXT);
  _setmode(_fileno(stdout), _O_U8TEXT);
  CoInitialize(nullptr);
  g_hook = SetWindowsHookExW(WH_CBT, ReadAndCloseBoxes, nullptr, GetCurrentThreadId());
  wchar_t buffer[1024];
  while (std::fgetws(buffer, 1024, stdin) != nullptr) {
    std::wstring line = buffer;
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    const auto space = line.find(L' ');
    if (line == L"facts") {
      std::fwprintf(stdout, L"%ls%ls\n", (g_boxes.empty() ? Now() : g_shown).c_str(),
                    g_boxes.c_str());
      g_boxes.clear();
    } else {
      const bool done =
          Act(line.substr(0, space), space == std::wstring::npos ? L"" : line.substr(space + 1));
      std::fputws(done ? L"done\n" : L"cannot\n", stdout);
    }
    std::fflush(stdout);
  }
  g_form.reset();
}
