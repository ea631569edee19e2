// The engine that plays the window's stories on the real Win32 window, in this process, under
// Wine: keys and clicks go through SendInput, texts and focus are read from the controls, and a
// hook reads and closes every box as it opens. It reads one action a line ("start", "type 1,050",
// "click Text2", "Enter", ...) and answers "done", or "cannot"; asked "state", it answers what the
// window showed: net, gross, and the control with the focus or the first box opened since.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "window/win32/form1.h"

namespace window {
namespace {

using Shown = std::vector<std::wstring>;

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

constexpr const wchar_t* kControls[] = {L"Text1", L"Text2", L"Command1"};
std::unique_ptr<Win32Form1> g_form;
std::vector<Shown> g_boxes;  // what the window showed as each box opened
HHOOK g_hook = nullptr;

HWND ControlWindow(int i) { return g_form->ControlWindow(static_cast<Control>(i)); }

Shown Now() {
  std::wstring where = L"nothing";
  for (int i = 0; i < 3; ++i) {
    if (GetFocus() == ControlWindow(i)) where = kControls[i];
  }
  if ((SendMessageW(ControlWindow(2), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0) {
    where = L"Command1 held down";
  }
  return {WindowText(ControlWindow(0)), WindowText(ControlWindow(1)), where};
}

LRESULT CALLBACK ReadAndCloseBoxes(int code, WPARAM wparam, LPARAM lparam) {
  const auto box = reinterpret_cast<HWND>(wparam);
  wchar_t name[32] = {};
  if (code == HCBT_ACTIVATE && GetClassNameW(box, name, 32) > 0 &&
      name == std::wstring(L"#32770")) {
    int buttons = 0;
    bool icon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      // By style: while the box itself is not shown yet, no child of it counts as visible.
      if ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
      GetClassNameW(child, name, 32);
      buttons += name == std::wstring(L"Button");
      icon = icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    Shown shown = Now();
    shown[2] = (icon ? L"warning \"" : L"box \"") + WindowText(GetDlgItem(box, 0xFFFF)) + L"\"";
    if (WindowText(box) != L"Mivo" || buttons != 1) {
      shown[2] =
          L"a box titled " + WindowText(box) + L" with " + std::to_wstring(buttons) + L" buttons";
    }
    g_boxes.push_back(shown);
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

// A key with an optional modifier: {key, modifier, flags}.
std::vector<INPUT> Keys(const std::vector<WORD>& k) {
  const DWORD flags = k.size() > 2 ? k[2] : 0;
  std::vector<INPUT> inputs{Key(k[0], flags), Key(k[0], flags | KEYEVENTF_KEYUP)};
  if (k.size() > 1 && k[1] != 0) {
    inputs.insert(inputs.begin(), Key(k[1]));
    inputs.push_back(Key(k[1], KEYEVENTF_KEYUP));
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
  move.mi.dy = MulDiv(rect.top + 6, 65536, GetSystemMetrics(SM_CYSCREEN));
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

bool Act(const std::wstring& verb, const std::wstring& text) {
  static const std::map<std::wstring, std::vector<WORD>> keys = {
      {L"Enter", {VK_RETURN}},  {L"KeypadEnter", {VK_RETURN, 0, KEYEVENTF_EXTENDEDKEY}},
      {L"Tab", {VK_TAB}},       {L"Shift+Enter", {VK_RETURN, VK_SHIFT}},
      {L"Space", {VK_SPACE}},   {L"Shift+Tab", {VK_TAB, VK_SHIFT}},
      {L"Delete", {VK_DELETE}}, {L"Escape", {VK_ESCAPE}}};
  if (const auto key = keys.find(verb); key != keys.end()) {
    Send(Keys(key->second));
  } else if (verb == L"type") {
    std::vector<INPUT> inputs;
    for (const wchar_t c : text) {
      inputs.push_back(Key(0, KEYEVENTF_UNICODE, c));
      inputs.push_back(Key(0, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP, c));
    }
    Send(inputs);
  } else if (verb == L"click") {
    for (int i = 0; i < 3; ++i) {
      if (text == kControls[i])
        Send(Click(ControlWindow(i), MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP));
    }
  } else if (verb == L"select") {
    SendMessageW(GetFocus(), EM_SETSEL, 0, -1);
  } else if (verb == L"menu") {
    // The menu runs a loop of its own: the key that closes it goes with the click.
    std::vector<INPUT> inputs = Click(GetFocus(), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    for (const INPUT& escape : Keys({VK_ESCAPE})) inputs.push_back(escape);
    Send(inputs);
  } else if (verb == L"away") {
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                       0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    Pump();
    const bool left = Now()[2] == L"nothing";
    SetForegroundWindow(g_form->hwnd());
    DestroyWindow(other);
    Pump();
    return left;
  } else if (verb == L"launch") {  // another program, until it shows a window titled Mivo
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + text + L"\"";
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
  } else if (verb == L"start") {
    g_form.reset();
    g_form = std::make_unique<Win32Form1>(GetModuleHandleW(nullptr));
    ShowWindow(g_form->hwnd(), SW_SHOW);
    SetForegroundWindow(g_form->hwnd());
    Pump();
    g_boxes.clear();
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
  g_hook = SetWindowsHookExW(WH_CBT, ReadAndCloseBoxes, nullptr, GetCurrentThreadId());
  wchar_t buffer[1024];
  while (std::fgetws(buffer, 1024, stdin) != nullptr) {
    std::wstring line = buffer;
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    const auto space = line.find(L' ');
    if (line == L"state") {
      Shown shown = g_boxes.empty() ? Now() : g_boxes.front();
      if (g_boxes.size() > 1) shown[2] = std::to_wstring(g_boxes.size()) + L" boxes";
      g_boxes.clear();
      std::fwprintf(stdout, L"%ls\t%ls\t%ls\n", shown[0].c_str(), shown[1].c_str(),
                    shown[2].c_str());
    } else {
      const bool done =
          (line == L"start" || line.rfind(L"launch ", 0) == 0 || g_form) &&
          Act(line.substr(0, space), space == std::wstring::npos ? L"" : line.substr(space + 1));
      std::fputws(done ? L"done\n" : L"cannot\n", stdout);
    }
    std::fflush(stdout);
  }
  g_form.reset();
}
