#include "window/handlers.h"

#include "tax/amount_text.h"
#include "tax/tax.h"

namespace window {
namespace {

using tax::AmountFromText;
using tax::TextFromAmount;

void ForwardRecalc(Form& form) {
  const double net = AmountFromText(form.Text(Field::Text1));
  form.SetText(Field::Text2, TextFromAmount(tax::GrossFromNet(net)));
}

void ReverseRecalc(Form& form) {
  const double gross = AmountFromText(form.Text(Field::Text2));
  form.SetText(Field::Text1, TextFromAmount(tax::NetFromGross(gross)));
  // Checked against the net amount as the field now holds it, not the value just computed.
  const double net = AmountFromText(form.Text(Field::Text1));
  if (!tax::GrossMatchesNet(net, gross)) {
    form.MessageBox(u"該当金額無", BoxIcon::None);
    ForwardRecalc(form);
  }
}

void Text1_GotFocus(Form& form) { ForwardRecalc(form); }
void Text1_LostFocus(Form& form) { ForwardRecalc(form); }

void Text1_KeyDown(Form& form, KeyCode key, bool /*shift*/) {
  if (key == kEnterKey) form.SetFocus(Control::Text2);
}

void Text2_GotFocus(Form& form) { ReverseRecalc(form); }
void Text2_LostFocus(Form& form) { ReverseRecalc(form); }

void Text2_KeyDown(Form& form, KeyCode key, bool /*shift*/) {
  if (key == kEnterKey) form.SetFocus(Control::Command1);
}

void Command1_Click(Form& form) { form.SetFocus(Control::Text1); }

}  // namespace

const EventBinding& BindingOf(Control control) {
  static constexpr EventBinding kText1{Text1_GotFocus, Text1_LostFocus, Text1_KeyDown, nullptr};
  static constexpr EventBinding kText2{Text2_GotFocus, Text2_LostFocus, Text2_KeyDown, nullptr};
  static constexpr EventBinding kCommand1{nullptr, nullptr, nullptr, Command1_Click};
  switch (control) {
    case Control::Text1:
      return kText1;
    case Control::Text2:
      return kText2;
    case Control::Command1:
      break;
  }
  return kCommand1;
}

}  // namespace window
