// 10,000 seeded random user actions on the event layer, with a window that behaves as a toolkit
// does. The model knows where the focus goes, which routines a move runs and in which order, and
// where an error stops it; what the routines wrote is checked by the rules' properties.
#include "window/event_layer.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tax/amount_text.h"
#include "tax/errors.h"
#include "tax/tax.h"

namespace window {
namespace {

using enum Control;
using tax::AmountFromText;
constexpr Control kControls[] = {Text1, Text2, Command1};
std::mt19937 g_random(20261207);

// What the handlers did: wrote a text into Text1 (0) or Text2 (1), or showed a box ('b') or a
// warning ('w'). Like a toolkit, the window reports every focus move it is asked for, and a box
// takes the focus away and gives it back while it is open.
using Deed = std::pair<int, std::u16string>;
struct ToolkitWindow : Form {
  std::array<std::u16string, 2> texts{u"0", u"0"};
  std::vector<Deed> deeds;
  Control focus = Text1;
  EventLayer* layer = nullptr;

  std::u16string Text(Field field) override { return texts.at(static_cast<std::size_t>(field)); }
  void SetText(Field field, std::u16string_view text) override {
    texts.at(static_cast<std::size_t>(field)) = text;
    deeds.emplace_back(static_cast<int>(field), text);
  }
  void SetFocus(Control control) override { layer->FocusArrived(focus = control); }
  void MessageBox(std::u16string_view prompt, BoxIcon icon) override {
    deeds.emplace_back(icon == BoxIcon::Warning ? 'w' : 'b', prompt);
    layer->FocusArrived(kControls[g_random() % 3]);
    layer->FocusArrived(focus);
  }
};

// Follows what the handlers did through the routines that the rules say a move runs; throws
// where they did something else.
struct Model {
  const std::vector<Deed>& deeds;
  std::size_t next = 0;
  std::array<std::u16string, 2> texts{u"0", u"0"};
  std::size_t focus = 0;

  const std::u16string& Next(int kind) {
    if (next == deeds.size() || deeds[next].first != kind) throw std::logic_error("another deed");
    return deeds[next++].second;
  }
  // A field's routine; false where an unreadable text or an amount out of range stops it before
  // it writes anything.
  bool Recalc(std::size_t control) try {
    if (control == 0) {
      tax::GrossFromNet(AmountFromText(texts[0]));
      texts[1] = Next(1);
      if (!tax::GrossMatchesNet(AmountFromText(texts[0]), AmountFromText(texts[1])))
        throw std::logic_error("a gross amount that the net amount does not give");
    } else if (control == 1) {
      const double gross = AmountFromText(texts[1]);
      tax::NetFromGross(gross);
      texts[0] = Next(0);
      if (!tax::GrossMatchesNet(AmountFromText(texts[0]), gross)) {
        Next('b');  // the no-match box, then the gross amount put right
        Recalc(0);
      }
    }
    return true;
  } catch (const tax::Error&) {
    return false;
  }
  // The focus-lost routine to its end, then the focus-gained one; an error leaves the focus where
  // it was, with a warning.
  bool Move(std::size_t to) {
    if (to == focus) return true;
    if (!Recalc(focus) || !Recalc(to)) {
      Next('w');
      return false;
    }
    focus = to;
    return true;
  }
};

TEST(EventLayer, RandomActionsFollowTheRules) {
  const std::u16string amounts[] = {u"",    u"0",   u"62",    u"104",      u"105.0",     u"-1",
                                    u"0.5", u"abc", u"1e400", u"1.75e308", u"１，０５０"};
  ToolkitWindow window;
  EventLayer layer(window);
  window.layer = &layer;
  layer.Start();
  Model model{window.deeds};
  model.Recalc(0);  // Text1 gains the focus at the start
  for (int step = 0; step < 10'000; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const std::size_t from = model.focus;
    const std::size_t to = g_random() % 3;
    const int boxes = layer.boxes_shown();
    switch (g_random() % 5) {
      case 0:  // typing, sometimes an amount, sometimes not
        if (from == 2) continue;
        model.texts[from] = window.texts[from] =
            to == 0 ? tax::TextFromAmount(static_cast<double>(g_random() % 3000))
                    : amounts[g_random() % std::size(amounts)];
        break;
      case 1:  // Enter, which on the button is its click
        from == 2 ? layer.Clicked(Command1) : layer.KeyDown(kControls[from], kEnterKey, to == 0);
        model.Move((from + 1) % 3);
        break;
      case 2:  // Tab, Shift+Tab or a click: the toolkit moves its focus first; a click on the
               // button is not also a click when the move opened a box
        layer.FocusArrived(window.focus = kControls[to]);
        if (model.Move(to) && to == 2 && g_random() % 2 == 0 && layer.boxes_shown() == boxes) {
          layer.Clicked(Command1);
          model.Move(0);
        }
        break;
      default:  // another key, or switching to another window and back
        layer.KeyDown(kControls[from], static_cast<KeyCode>(g_random() % kEnterKey), false);
        layer.FocusArrived(kControls[from]);
        break;
    }
    ASSERT_EQ(model.next, window.deeds.size()) << "the handlers did more than the rules say";
    ASSERT_EQ(layer.focus(), kControls[model.focus]);
    ASSERT_EQ(window.focus, kControls[model.focus]);
  }
}

}  // namespace
}  // namespace window
