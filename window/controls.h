#pragma once

#include "window/form.h"

namespace window {

// The window as both bindings build it, in pixels at 96 DPI (15 twips to the pixel). The
// controls are wider than the window and the button reaches below it, so that the window clips
// them. The stories' player reads the accessible names from this table too.
inline constexpr int kClientWidth = 110;
inline constexpr int kClientHeight = 47;

struct Rect {
  int left, top, width, height;
};

struct ControlDesign {
  const char* name;                 // as the code calls it
  const char16_t* text;             // the field's text at start, or the button's caption
  const char16_t* accessible_name;  // what a screen reader says
  Rect geometry;
};

inline constexpr ControlDesign kControls[] = {
    {"Text1", u"0", u"税抜金額", {0, 0, 113, 18}},
    {"Text2", u"0", u"税込金額", {0, 16, 113, 18}},
    {"Command1", u"消費税計算機", u"消費税計算機", {0, 32, 113, 17}},
};

constexpr const ControlDesign& DesignOf(Control control) {
  return kControls[static_cast<int>(control)];
}

}  // namespace window
