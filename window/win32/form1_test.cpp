// The real Win32 window in this process, driven by SendInput; every box is read and closed by a
// hook as it opens. Run under Wine with its null graphics driver.
#include "window/win32/form1.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "window/window_test_cases.h"

namespace window {
namespace {

using enum Control;

std::string g_exe_path;  // Mivo.exe, for its version record
UINT g_dpi = 96;         // the DPI that the Wine prefix was set to

std::wstring Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}  // Mivo.exe, for its version record

struct Box {
  std::wstring text;
  std::wstring title;
  int buttons = 0;
  bool icon = false;
};
std::vector<Box> g_boxes;
HHOOK g_hook = nullptr;

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM box_pointer) {
  auto* box = reinterpret_cast<Box*>(box_pointer);
  wchar_t name[32] = {};
  GetClassNameW(child, name, 32);
  // By style: while the box itself is not shown yet, no child of it counts as visible.
  if ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0) return TRUE;
  if (std::wstring(name) == L"Button") {
    ++box->buttons;
  } else if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    box->icon = box->icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
  }
  return TRUE;
}

LRESULT CALLBACK CloseBoxes(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    const auto box_window = reinterpret_cast<HWND>(wparam);
    wchar_t name[32] = {};
    GetClassNameW(box_window, name, 32);
    if (std::wstring(name) == L"#32770") {
      Box box{L"", WindowText(box_window)};
      wchar_t text[256] = {};
      GetDlgItemTextW(box_window, 0xFFFF, text, 256);  // the message's static in the box
      box.text = text;
      EnumChildWindows(box_window, ReadBoxChild, reinterpret_cast<LPARAM>(&box));
      g_boxes.push_back(box);
      PostMessageW(box_window, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(g_hook, code, wparam, lparam);
}

class Win32Form1Test : public ::testing::Test {
 protected:
  Win32Form1Test() : form_(GetModuleHandleW(nullptr)) {
    g_boxes.clear();
    ShowWindow(form_.hwnd(), SW_SHOW);
    SetForegroundWindow(form_.hwnd());
    Pump();
  }

  // Handles what has arrived, as the program's loop does, until nothing more comes. Wine hands
  // sent input over through its server, so quiet has to last a while.
  void Pump() {
    for (int idle = 0; idle < 3;) {
      MSG message;
      bool any = false;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        any = true;
        if (form_.PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      idle = any ? 0 : idle + 1;
      if (!any) MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT);
    }
  }

  void Send(std::vector<INPUT> inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Pump();
  }
  static INPUT KeyInput(WORD vk, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = flags;
    return input;
  }
  void Press(WORD vk, WORD modifier = 0, DWORD extended = 0) {
    std::vector<INPUT> inputs;
    if (modifier != 0) inputs.push_back(KeyInput(modifier, 0));
    inputs.push_back(KeyInput(vk, extended));
    inputs.push_back(KeyInput(vk, extended | KEYEVENTF_KEYUP));
    if (modifier != 0) inputs.push_back(KeyInput(modifier, KEYEVENTF_KEYUP));
    Send(inputs);
  }
  // Replaces the focused field's text, as a user does by selecting it all and typing.
  void Type(const std::wstring& text) {
    SendMessageW(GetFocus(), EM_SETSEL, 0, -1);
    Press(VK_DELETE);
    std::vector<INPUT> inputs;
    inputs.reserve(text.size() * 2);
    for (const wchar_t c : text) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = c;
      input.ki.dwFlags = KEYEVENTF_UNICODE;
      inputs.push_back(input);
      input.ki.dwFlags |= KEYEVENTF_KEYUP;
      inputs.push_back(input);
    }
    Send(inputs);
  }
  void Click(Control control) {
    RECT rect;
    GetWindowRect(form_.ControlWindow(control), &rect);
    INPUT input{};
    input.type = INPUT_MOUSE;
    // Never twice on the same spot, or two quick clicks make a double-click.
    clicks_ = (clicks_ + 1) % 8;
    input.mi.dx = MulDiv(rect.left + 8 + 8 * clicks_, 65536, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = MulDiv(rect.top + 6, 65536, GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    INPUT down = input, up = input;
    down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    Send({input, down, up});
  }

  std::wstring TextOf(Control field) { return WindowText(form_.ControlWindow(field)); }
  bool HasFocus(Control control) { return GetFocus() == form_.ControlWindow(control); }
  std::vector<std::wstring> TakeBoxes() {
    std::vector<std::wstring> texts;
    texts.reserve(g_boxes.size());
    for (const Box& box : g_boxes) texts.push_back(box.text);
    g_boxes.clear();
    return texts;
  }

  Win32Form1 form_;
  int clicks_ = 0;
};

TEST_F(Win32Form1Test, StartsWithZeroesAndTheFocusInTheNetField) {
  EXPECT_EQ(WindowText(form_.hwnd()), L"Mivo");
  EXPECT_EQ(TextOf(Text1), L"0");
  EXPECT_EQ(TextOf(Text2), L"0");
  EXPECT_EQ(TextOf(Command1), L"消費税計算機");
  EXPECT_TRUE(HasFocus(Text1));
  DWORD start = 0, end = 0;
  SendMessageW(form_.ControlWindow(Text1), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(end - start, 1u);
}

TEST_F(Win32Form1Test, ControlsAreStackedAndClippedByTheWindow) {
  const UINT dpi = GetDpiForWindow(form_.hwnd());
  ASSERT_EQ(dpi, g_dpi);
  const auto scaled = [dpi](int pixels) { return MulDiv(pixels, static_cast<int>(dpi), 96); };
  RECT client;
  GetClientRect(form_.hwnd(), &client);
  EXPECT_EQ(client.right, scaled(110));
  EXPECT_EQ(client.bottom, scaled(47));
  const RECT expected[] = {{0, 0, 113, 18}, {0, 16, 113, 34}, {0, 32, 113, 49}};
  for (int i = 0; i < 3; ++i) {
    RECT rect;
    GetWindowRect(form_.ControlWindow(static_cast<Control>(i)), &rect);
    MapWindowPoints(nullptr, form_.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, scaled(expected[i].left));
    EXPECT_EQ(rect.top, scaled(expected[i].top));
    EXPECT_EQ(rect.right, scaled(expected[i].right));
    EXPECT_EQ(rect.bottom, scaled(expected[i].bottom));
  }
}

TEST_F(Win32Form1Test, NetAmountGivesGrossThenSmallestNet) {
  for (const auto& row : cases::kNetRows) {
    Click(Text1);
    Type(Wide(row.net));
    Press(VK_RETURN);
    EXPECT_TRUE(HasFocus(Text2));
    EXPECT_EQ(TextOf(Text2), Wide(row.gross));
    EXPECT_EQ(TextOf(Text1), Wide(row.net_after));
  }
  EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(Win32Form1Test, GrossAmountGivesNet) {
  for (const auto& row : cases::kGrossRows) {
    Click(Text2);
    Type(Wide(row.gross));
    Press(VK_TAB);
    EXPECT_EQ(TextOf(Text1), Wide(row.net));
    EXPECT_EQ(TextOf(Text2), Wide(row.gross_after));
    EXPECT_TRUE(HasFocus(Command1));
    EXPECT_EQ(TakeBoxes(), row.no_match ? std::vector<std::wstring>{L"該当金額無"}
                                        : std::vector<std::wstring>{});
  }
}

TEST_F(Win32Form1Test, TheNoMatchBoxIsPlainWithOneButton) {
  Press(VK_TAB);
  Type(L"41");
  Press(VK_RETURN);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].title, L"Mivo");
  EXPECT_EQ(g_boxes[0].buttons, 1);
  EXPECT_FALSE(g_boxes[0].icon);
  EXPECT_TRUE(HasFocus(Command1));
  g_boxes.clear();
}

TEST_F(Win32Form1Test, EnterTabAndClicksWalkTheControls) {
  Type(L"1000");
  Press(VK_RETURN);
  EXPECT_TRUE(HasFocus(Text2));
  Press(VK_RETURN, 0, KEYEVENTF_EXTENDEDKEY);  // keypad Enter
  EXPECT_TRUE(HasFocus(Command1));
  Press(VK_RETURN);
  EXPECT_TRUE(HasFocus(Text1));
  Press(VK_RETURN, VK_SHIFT);
  EXPECT_TRUE(HasFocus(Text2));
  Press(VK_TAB);
  EXPECT_TRUE(HasFocus(Command1));
  Press(VK_SPACE);
  EXPECT_TRUE(HasFocus(Text1));
  Press(VK_TAB, VK_SHIFT);
  EXPECT_TRUE(HasFocus(Command1));
  Click(Command1);
  EXPECT_TRUE(HasFocus(Text1));
  EXPECT_EQ(TextOf(Text1), L"1000");
  EXPECT_EQ(TextOf(Text2), L"1050");
  EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(Win32Form1Test, ABadAmountIsReportedAndKeptSelected) {
  Type(L"abc");
  Press(VK_RETURN);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].text, L"「abc」は金額として読めません。");
  EXPECT_TRUE(g_boxes[0].icon);
  g_boxes.clear();
  EXPECT_TRUE(HasFocus(Text1));
  EXPECT_EQ(TextOf(Text1), L"abc");
  EXPECT_EQ(TextOf(Text2), L"0");
  DWORD start = 0, end = 0;
  SendMessageW(form_.ControlWindow(Text1), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(end - start, 3u);
  Type(L"200");
  Press(VK_RETURN);
  EXPECT_EQ(TextOf(Text2), L"210");
}

// The press that opened the box does not also click: the focus stays on the button.
TEST_F(Win32Form1Test, AClickInterruptedByTheBoxIsDropped) {
  Click(Text2);
  Type(L"62");
  Click(Command1);
  EXPECT_EQ(TakeBoxes(), std::vector<std::wstring>{L"該当金額無"});
  EXPECT_EQ(TextOf(Text2), L"63");
  EXPECT_TRUE(HasFocus(Command1));
  Click(Command1);
  EXPECT_TRUE(HasFocus(Text1));
}

TEST_F(Win32Form1Test, SwitchingWindowsRunsNothing) {
  Type(L"20.7");
  const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                     100, 100, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  Pump();
  SetForegroundWindow(form_.hwnd());
  Pump();
  DestroyWindow(other);
  Pump();
  EXPECT_TRUE(HasFocus(Text1));
  EXPECT_EQ(TextOf(Text1), L"20.7");
  EXPECT_EQ(TextOf(Text2), L"0");
}

TEST(VersionRecord, HoldsTheProgramsIdentity) {
  std::wstring path = L"Z:";
  for (const char c : g_exe_path) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  std::vector<char> data(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x10000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x10000u);
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"FileVersion", L"1.00"},          {L"ProductVersion", L"1.00"},
      {L"ProductName", L"Mivo"},          {L"InternalName", L"Mivo"},
      {L"OriginalFilename", L"Mivo.exe"}, {L"Comments", L"消費税計算機"}};
  for (const auto& [key, value] : strings) {
    wchar_t* found = nullptr;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\041104B0\\") + key;
    ASSERT_TRUE(
        VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&found), &size));
    EXPECT_EQ(std::wstring(found), value);
  }
  const HMODULE exe = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  EXPECT_NE(FindResourceW(exe, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr);
  FreeLibrary(exe);
}

}  // namespace
}  // namespace window

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc > 1) window::g_exe_path = argv[1];
  if (argc > 2) window::g_dpi = static_cast<UINT>(std::atoi(argv[2]));
  // Never hang: a box that is not closed or a wait that never ends fails the run.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(120));
    std::fputs("watchdog: the test did not finish in 120 s\n", stderr);
    std::_Exit(3);
  }).detach();
  window::g_hook = SetWindowsHookExW(WH_CBT, window::CloseBoxes, nullptr, GetCurrentThreadId());
  return RUN_ALL_TESTS();
}
