// 10,000 seeded random user actions on the event layer, with a window that behaves as a toolkit
// does, checked after every step against a model written from the rules.
#include "window/event_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "tax/amount_text.h"
#include "tax/errors.h"
#include "tax/tax.h"

namespace window {
namespace {

using enum Control;
constexpr Control kControls[] = {Text1, Text2, Command1};
std::mt19937 g_random(20261207);

// Records what the layer does to it. Like a toolkit, it reports every focus move it is asked for,
// and a box takes the focus away and gives it back while it is open.
struct ToolkitWindow : Form {
  std::array<std::u16string, 2> texts{u"0", u"0"};
  std::vector<std::u16string> boxes;
  Control focus = Text1;
  EventLayer* layer = nullptr;

  std::u16string Text(Control field) override { return texts.at(static_cast<std::size_t>(field)); }
  void SetText(Control field, std::u16string_view text) override {
    texts.at(static_cast<std::size_t>(field)) = text;
  }
  void SetFocus(Control control) override { layer->FocusArrived(focus = control); }
  void MessageBox(std::u16string_view prompt, BoxIcon icon) override {
    boxes.emplace_back(icon == BoxIcon::Warning ? u"error" : prompt);
    layer->FocusArrived(kControls[g_random() % 3]);
    layer->FocusArrived(focus);
  }
};

// Which routines a user action runs, in which order, and where an error stops it.
struct Model {
  std::array<std::u16string, 2> texts{u"0", u"0"};
  std::size_t focus = 0;  // Text1, Text2, Command1
  std::vector<std::u16string> boxes;

  static double Amount(const std::u16string& text) { return tax::AmountFromText(text); }
  void Forward() { texts[1] = tax::TextFromAmount(tax::GrossFromNet(Amount(texts[0]))); }
  void Reverse() {
    const double gross = Amount(texts[1]);
    texts[0] = tax::TextFromAmount(tax::NetFromGross(gross));
    if (!tax::GrossMatchesNet(Amount(texts[0]), gross)) {
      boxes.emplace_back(u"該当金額無");
      Forward();
    }
  }
  void Recalc(std::size_t control) { control == 0 ? Forward() : control == 1 ? Reverse() : void(); }
  // The focus-lost routine to its end, then the focus-gained one; an error leaves the focus where
  // it was, with a warning.
  bool Move(std::size_t to) {
    const std::size_t from = focus;
    try {
      if (to == from) return true;
      Recalc(from);
      focus = to;
      Recalc(to);
      return true;
    } catch (const tax::Error&) {
      focus = from;
      boxes.emplace_back(u"error");
      return false;
    }
  }
};

TEST(EventLayer, RandomActionsFollowTheRules) {
  std::vector<std::u16string> amounts{u""};
  for (const char16_t c : std::u16string_view(
           u"0|20|21|62|104|1050|-1|-20|20.7|0.5|105.0|1,000|１０５|¥2,000円|1e400|1.75e308|"
           u"19.05|1e15|abc|1,05|９９９.９|123456789012345678")) {
    c == u'|' ? amounts.emplace_back() : amounts.back() += c;
  }
  ToolkitWindow window;
  EventLayer layer(window);
  window.layer = &layer;
  layer.Start();
  Model model;
  for (int step = 0; step < 10'000; ++step) {
    const std::size_t from = model.focus;
    const std::size_t boxes = model.boxes.size();
    const std::size_t to = g_random() % 3;
    switch (g_random() % 5) {
      case 0:  // typing, sometimes an amount, sometimes not
        if (from == 2) continue;
        model.texts[from] = window.texts[from] =
            to == 0 ? tax::TextFromAmount(static_cast<double>(g_random() % 3000))
                    : amounts[g_random() % amounts.size()];
        break;
      case 1:  // Enter, which on the button is its click
        from == 2 ? layer.Clicked(Command1) : layer.KeyDown(kControls[from], kEnterKey, to == 0);
        model.Move((from + 1) % 3);
        break;
      case 2:  // Tab, Shift+Tab or a click: the toolkit moves its focus first
        layer.FocusArrived(window.focus = kControls[to]);
        // A click on the button is not also a click when the move opened a box.
        if (model.Move(to) && to == 2 && g_random() % 2 == 0 && model.boxes.size() == boxes) {
          layer.Clicked(Command1);
          model.Move(0);
        }
        break;
      default:  // another key, or switching to another window and back
        layer.KeyDown(kControls[from], static_cast<KeyCode>(g_random() % kEnterKey), false);
        layer.FocusArrived(kControls[from]);
        break;
    }
    SCOPED_TRACE("step " + std::to_string(step));
    ASSERT_EQ(window.texts, model.texts);
    ASSERT_EQ(window.boxes, model.boxes);
    ASSERT_EQ(layer.focus(), kControls[model.focus]);
    ASSERT_EQ(window.focus, kControls[model.focus]);
    // Unless an error stopped it, a move leaves two amounts that belong together.
    if (model.focus != from && std::count(model.boxes.begin() + static_cast<std::ptrdiff_t>(boxes),
                                          model.boxes.end(), u"error") == 0) {
      ASSERT_TRUE(
          tax::GrossMatchesNet(Model::Amount(model.texts[0]), Model::Amount(model.texts[1])));
    }
  }
}

}  // namespace
}  // namespace window
