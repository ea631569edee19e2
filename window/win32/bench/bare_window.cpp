// The baseline for Mivo.exe's start-up: a bare Win32 window with the same three controls.
#include <windows.h>

#include "window/controls.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command*/, int show) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"Bare";
  RegisterClassW(&window_class);
  RECT frame{0, 0, window::kClientWidth, window::kClientHeight};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  const HWND bare = CreateWindowW(L"Bare", L"Mivo", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                  nullptr, nullptr, instance, nullptr);
  for (int i = 0; i < 3; ++i) {
    const window::Rect& r = window::kControls[i].geometry;
    CreateWindowW(
        i < 2 ? L"EDIT" : L"BUTTON", reinterpret_cast<const wchar_t*>(window::kControls[i].text),
        WS_CHILD | WS_VISIBLE, r.left, r.top, r.width, r.height, bare, nullptr, instance, nullptr);
  }
  ShowWindow(bare, show);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
