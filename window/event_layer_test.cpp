#include "window/event_layer.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tax/errors.h"

namespace window {
namespace {

using enum Control;

// A window that records what the layer does to it, and can echo focus arrivals as a toolkit does
// while a box is open.
class FakeWindow : public Form {
 public:
  std::map<Control, std::u16string> texts{{Text1, u"0"}, {Text2, u"0"}};
  std::vector<std::u16string> boxes;
  std::vector<Control> focus_put_on;
  int reads = 0;
  std::function<void()> while_box_open;
  bool fail_reads = false;

  std::u16string Text(Control field) override {
    ++reads;
    if (fail_reads) throw std::runtime_error("control gone");
    return texts[field];
  }
  void SetText(Control field, std::u16string_view text) override { texts[field] = text; }
  void SetFocus(Control control) override { focus_put_on.push_back(control); }
  void MessageBox(std::u16string_view prompt, BoxIcon icon) override {
    boxes.push_back((icon == BoxIcon::Warning ? u"warning: " : u"") + std::u16string(prompt));
    if (while_box_open) while_box_open();
  }
};

class EventLayerTest : public ::testing::Test {
 protected:
  EventLayerTest() { layer.Start(); }

  // The state a user sees after typing into the focused field.
  void Type(std::u16string text) { window.texts[layer.focus()] = std::move(text); }
  void Enter() { layer.KeyDown(layer.focus(), kEnterKey, false); }

  FakeWindow window;
  EventLayer layer{window};
};

TEST_F(EventLayerTest, EnterRunsTheLostHandlerBeforeTheGainedOne) {
  Type(u"20.7");
  Enter();
  // Forward first (21), then reverse from that gross (20); the other order would leave 20.7 alone.
  EXPECT_EQ(window.texts[Text1], u"20");
  EXPECT_EQ(window.texts[Text2], u"21");
  EXPECT_EQ(layer.focus(), Text2);
  EXPECT_EQ(window.focus_put_on, std::vector{Text2});
  Enter();
  EXPECT_EQ(layer.focus(), Command1);
  Enter();  // the button has no key handler of its own: Enter on it is the toolkit's click
  EXPECT_EQ(layer.focus(), Command1);
  layer.Clicked(Command1);
  EXPECT_EQ(layer.focus(), Text1);
  EXPECT_TRUE(window.boxes.empty());
}

TEST_F(EventLayerTest, ArrivalsOnTheControlThatHasTheFocusRunNothing) {
  const int reads = window.reads;
  for (int i = 0; i < 3; ++i) layer.FocusArrived(Text1);  // activation, a popup, a box closing
  EXPECT_EQ(window.reads, reads);
  EXPECT_TRUE(window.focus_put_on.empty());
}

TEST_F(EventLayerTest, EchoesWhileABoxIsOpenAreIgnoredAndTheFocusIsPutBack) {
  layer.FocusArrived(Text2);
  Type(u"104");
  // As the toolkit does: the box takes the focus from the control being entered and gives it back.
  window.while_box_open = [this] {
    layer.FocusArrived(Text1);
    layer.FocusArrived(Command1);
  };
  layer.FocusArrived(Command1);
  EXPECT_EQ(window.boxes, std::vector<std::u16string>{u"該当金額無"});
  EXPECT_EQ(window.texts[Text1], u"100");
  EXPECT_EQ(window.texts[Text2], u"105");
  EXPECT_EQ(layer.focus(), Command1);
  EXPECT_EQ(window.focus_put_on, std::vector{Command1});
}

TEST_F(EventLayerTest, AnErrorInTheGainedHandlerReturnsTheFocusToWhereItWas) {
  layer.FocusArrived(Text2);
  Enter();
  ASSERT_EQ(layer.focus(), Command1);
  window.texts[Text1] = u"1e400";
  layer.Clicked(Command1);
  EXPECT_EQ(window.boxes,
            std::vector<std::u16string>{u"warning: 金額が大きすぎて計算できません。"});
  EXPECT_EQ(layer.focus(), Command1);
  EXPECT_EQ(window.focus_put_on.back(), Command1);
}

TEST_F(EventLayerTest, NoExceptionLeavesTheLayer) {
  window.fail_reads = true;
  EXPECT_NO_THROW(layer.FocusArrived(Text2));
  EXPECT_EQ(window.boxes, std::vector<std::u16string>{u"warning: 計算できませんでした。"});
  EXPECT_EQ(layer.focus(), Text1);
}

TEST(ErrorMessage, QuotesTheTextAndCutsItShort) {
  const struct {
    std::u16string text;
    std::u16string message;
  } rows[] = {
      {u"", u"金額が入力されていません。"},
      {u"abc", u"「abc」は金額として読めません。"},
      {std::u16string(25, u'x'), u"「" + std::u16string(20, u'x') + u"…」は金額として読めません。"},
      // A pair split at the cut is left out whole.
      {std::u16string(19, u'x') + u"\U0001F600" + u"yyy",
       u"「" + std::u16string(19, u'x') + u"…」は金額として読めません。"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ErrorMessage(tax::ConversionError(row.text)), row.message);
  }
}

}  // namespace
}  // namespace window
