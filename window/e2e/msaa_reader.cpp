// Reads Mivo.exe from another process as a Windows screen reader does: the window by its title,
// each control by its MSAA name. A question a line, an answer a line, its fields separated by tabs:
//   find     -> N, the number of a window titled Mivo with the three controls, not found before
//   facts N  -> net, gross, the focused control's name, the button held down (1 or 0), then for
//               each box that the window owns: title, text, what a screen reader says of it besides
//               its title and buttons, number of buttons, icon (1 or 0)
//   layout N -> the client area's width and height, the smallest that Windows lets a window of its
//               frame have, then each control's left, top, width and height within it
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// IID_IAccessible as MinGW's libraries give it is not the one Wine knows.
#include <initguid.h>
// After the IID's definition.
#include <oleacc.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "window/controls.h"

namespace {

using Controls = std::array<HWND, 3>;     // in the table's order
using Found = std::pair<HWND, Controls>;  // a window and its controls
std::vector<Found> g_found;               // each window found, numbered from 0

LRESULT Send(HWND hwnd, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG, 2000, &result);
  return static_cast<LRESULT>(result);
}

const wchar_t* NameOf(std::size_t control) {
  return reinterpret_cast<const wchar_t*>(window::kControls[control].accessible_name);
}

std::wstring Text(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(Send(hwnd, WM_GETTEXTLENGTH)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      Send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

// The name that MSAA gives a screen reader of a control.
std::wstring AccessibleName(HWND control) {
  IAccessible* accessible = nullptr;
  BSTR name = nullptr;
  if (AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                 reinterpret_cast<void**>(&accessible)) == S_OK) {
    VARIANT itself{};
    itself.vt = VT_I4;
    accessible->get_accName(itself, &name);
    accessible->Release();
  }
  std::wstring named = name ? name : L"";
  SysFreeString(name);
  return named;
}

std::wstring Find() {
  for (int tries = 0; tries < 200; ++tries, Sleep(50)) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, L"Mivo"));) {
      Controls controls{};
      for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        for (std::size_t i = 0; i < 3; ++i) {
          if (IsWindowVisible(c) && AccessibleName(c) == NameOf(i)) controls[i] = c;
        }
      }
      if (IsWindowVisible(window) && controls[0] && controls[1] && controls[2] &&
          std::ranges::find(g_found, window, &Found::first) == g_found.end()) {
        g_found.emplace_back(window, controls);
        return std::to_wstring(g_found.size() - 1);
      }
    }
  }
  return L"none";
}

std::wstring Facts(const Found& found) {
  const auto& [window, controls] = found;
  GUITHREADINFO user{};  // where the user's keys go
  user.cbSize = sizeof user;
  GetGUIThreadInfo(0, &user);
  std::wstring facts = Text(controls[0]) + L'\t' + Text(controls[1]) + L'\t';
  if (const auto focused = std::ranges::find(controls, user.hwndFocus); focused != controls.end())
    facts += NameOf(static_cast<std::size_t>(focused - controls.begin()));
  facts += Send(controls[2], BM_GETSTATE) & BST_PUSHED ? L"\t1" : L"\t0";
  for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr));) {
    if (GetWindow(box, GW_OWNER) != window || !IsWindowVisible(box)) continue;
    int buttons = 0;
    bool icon = false;
    // A screen reader says a dialog's static texts as it opens; Wine's oleacc gives no control the
    // role of one, so they are known by their class.
    std::wstring heard;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t kind[8] = {};
      GetClassNameW(c, kind, 8);
      buttons += IsWindowVisible(c) && std::wstring_view(kind) == L"Button";
      if (std::wstring_view(kind) != L"Static") continue;
      icon = icon || Send(c, STM_GETICON) != 0;
      const std::wstring name = AccessibleName(c);
      if (!name.empty()) heard += (heard.empty() ? L"" : L" ") + name;
    }
    facts += L'\t' + Text(box) + L'\t' + Text(GetDlgItem(box, 0xFFFF)) + L'\t' + heard + L'\t' +
             std::to_wstring(buttons) + (icon ? L"\t1" : L"\t0");
  }
  return facts;
}

std::wstring Layout(const Found& found) {
  const auto& [window, controls] = found;
  RECT r, frame;
  GetClientRect(window, &r);
  GetWindowRect(window, &frame);
  // Windows enlarges a window to its smallest tracking size.
  const UINT dpi = GetDpiForWindow(window);
  std::wstring layout = std::to_wstring(r.right) + L'\t' + std::to_wstring(r.bottom);
  for (const LONG n :
       {GetSystemMetricsForDpi(SM_CXMINTRACK, dpi) - frame.right + frame.left + r.right,
        GetSystemMetricsForDpi(SM_CYMINTRACK, dpi) - frame.bottom + frame.top + r.bottom})
    layout += L'\t' + std::to_wstring(n);
  for (HWND control : controls) {
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    for (const LONG n : {r.left, r.top, r.right - r.left, r.bottom - r.top})
      layout += L'\t' + std::to_wstring(n);
  }
  return layout;
}

}  // namespace

int main() {
  SetProcessDPIAware();  // the pixels that the user sees, at any scale
  CoInitialize(nullptr);
  _setmode(_fileno(stdout), _O_U8TEXT);
  for (char line[64]; std::fgets(line, sizeof line, stdin); std::fflush(stdout)) {
    char verb[8] = {};
    std::size_t n = g_found.size();
    std::sscanf(line, "%7s %zu", verb, &n);
    const std::wstring answer = std::string_view(verb) == "find"    ? Find()
                                : n >= g_found.size()               ? L"no such window"
                                : std::string_view(verb) == "facts" ? Facts(g_found[n])
                                                                    : Layout(g_found[n]);
    std::fputws((answer + L'\n').c_str(), stdout);
  }
}
