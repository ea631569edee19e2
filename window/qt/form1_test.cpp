// The window driven by real key and mouse events on its widgets, under the offscreen platform.
#include "window/qt/form1.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <random>

#include "tax/amount_text.h"
#include "tax/errors.h"
#include "tax/tax.h"
#include "window/qt/application.h"
#include "window/window_test_cases.h"

namespace window {

// Closes every modal box as soon as it opens, after noting what it showed, so that an
// unexpected box fails a test instead of hanging it.
class BoxCloser : public QObject {
 public:
  struct Box {
    QString text;
    QString title;
    QMessageBox::Icon icon;
    int buttons;
  };

  BoxCloser() {
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, &BoxCloser::Poll);
    timer_.start();
  }

  // The texts of the boxes closed since the last call.
  QStringList Take() {
    QStringList texts;
    for (const Box& box : boxes) texts << box.text;
    boxes.clear();
    return texts;
  }

  QList<Box> boxes;

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    boxes.append(
        {box->text(), box->windowTitle(), box->icon(), static_cast<int>(box->buttons().size())});
    box->button(QMessageBox::Ok)->click();
  }

  QTimer timer_;
};

class Form1Test : public QObject {
  Q_OBJECT

  std::unique_ptr<Form1> form_;
  BoxCloser closer_;

  QLineEdit* Field(const char* name) const { return form_->findChild<QLineEdit*>(name); }
  QLineEdit* Text1() const { return Field("Text1"); }
  QLineEdit* Text2() const { return Field("Text2"); }
  QPushButton* Command1() const { return form_->findChild<QPushButton*>("Command1"); }

  // Keys go where the keyboard focus is, as a user's do; none is lost to a window without focus.
  // A window reactivated after a box gets its focus back through the event queue.
  static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTRY_VERIFY2(QApplication::focusWidget() != nullptr, "no control has the keyboard focus");
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
  // Replaces the focused field's text, as a user does by selecting it all and typing.
  static void Type(const QString& text) {
    QTRY_VERIFY2(QApplication::focusWidget() != nullptr, "no control has the keyboard focus");
    auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY2(field != nullptr, "no field has the focus");
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    for (const QChar c : text) {
      if (c.unicode() < 0x80) {
        QTest::keyClicks(field, QString(c));
      } else {  // what an input method commits; QTest has no keys for it
        QInputMethodEvent commit;
        commit.setCommitString(QString(c));
        QApplication::sendEvent(field, &commit);
      }
    }
  }
  void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, 5)); }
  QWidget* Focus() const { return QApplication::focusWidget(); }

 private Q_SLOTS:
  void initTestCase() {
    static_cast<void>(closer_.Take());
    SetUpApplication(*qApp);
  }

  void init() {
    form_ = std::make_unique<Form1>();
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }

  void cleanup() {
    form_.reset();
    QCOMPARE(closer_.Take(), QStringList());
  }

  void startsWithZeroesAndTheFocusInTheNetField() {
    QCOMPARE(form_->windowTitle(), "Mivo");
    QCOMPARE(Text1()->text(), "0");
    QCOMPARE(Text2()->text(), "0");
    QCOMPARE(Command1()->text(), "消費税計算機");
    QTRY_COMPARE(Focus(), Text1());
    QCOMPARE(Text1()->accessibleName(), "税抜金額");
    QCOMPARE(Text2()->accessibleName(), "税込金額");
  }

  void controlsAreStackedAndClippedByTheWindow() {
    QCOMPARE(form_->size(), QSize(110, 47));
    QCOMPARE(form_->minimumSize(), form_->maximumSize());
    QCOMPARE(Text1()->geometry(), QRect(0, 0, 113, 18));
    QCOMPARE(Text2()->geometry(), QRect(0, 16, 113, 18));
    QCOMPARE(Command1()->geometry(), QRect(0, 32, 113, 17));
  }

  void netAmountGivesGrossThenSmallestNet_data() {
    QTest::addColumn<QString>("net");
    QTest::addColumn<QString>("gross");
    QTest::addColumn<QString>("netAfter");
    for (const auto& row : cases::kNetRows) {
      QTest::newRow(row.name) << QString::fromUtf16(row.net) << QString::fromUtf16(row.gross)
                              << QString::fromUtf16(row.net_after);
    }
  }
  void netAmountGivesGrossThenSmallestNet() {
    QFETCH(QString, net);
    QFETCH(QString, gross);
    QFETCH(QString, netAfter);
    Type(net);
    Press(Qt::Key_Return);
    QTRY_COMPARE(Focus(), Text2());
    QCOMPARE(Text2()->text(), gross);
    QCOMPARE(Text1()->text(), netAfter);
  }

  void grossAmountGivesNet_data() {
    QTest::addColumn<QString>("gross");
    QTest::addColumn<QString>("net");
    QTest::addColumn<bool>("noMatch");
    QTest::addColumn<QString>("grossAfter");
    for (const auto& row : cases::kGrossRows) {
      QTest::newRow(row.name) << QString::fromUtf16(row.gross) << QString::fromUtf16(row.net)
                              << row.no_match << QString::fromUtf16(row.gross_after);
    }
  }
  void grossAmountGivesNet() {
    QFETCH(QString, gross);
    QFETCH(QString, net);
    QFETCH(bool, noMatch);
    QFETCH(QString, grossAfter);
    Press(Qt::Key_Tab);
    Type(gross);
    Press(Qt::Key_Tab);
    QCOMPARE(Text1()->text(), net);
    QCOMPARE(Text2()->text(), grossAfter);
    QTRY_COMPARE(Focus(), Command1());
    QCOMPARE(closer_.Take(), noMatch ? QStringList{"該当金額無"} : QStringList());
  }

  void theNoMatchBoxIsPlainWithOneButton() {
    Press(Qt::Key_Tab);
    Type("41");
    Press(Qt::Key_Return);
    QCOMPARE(closer_.boxes.size(), 1);
    const BoxCloser::Box box = closer_.boxes.takeFirst();
    QCOMPARE(box.title, "Mivo");
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, 1);
  }

  void enterWalksTheControlsAndTheButtonReturnsToTheNetField() {
    Type("1000");
    Press(Qt::Key_Return);
    QTRY_COMPARE(Focus(), Text2());
    Press(Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_COMPARE(Focus(), Command1());
    Press(Qt::Key_Return);
    QTRY_COMPARE(Focus(), Text1());
    QCOMPARE(Text1()->selectedText(), "1000");  // ready for the next amount
    Press(Qt::Key_Return, Qt::ShiftModifier);
    QTRY_COMPARE(Focus(), Text2());
    Press(Qt::Key_Return, Qt::ControlModifier);
    QTRY_COMPARE(Focus(), Command1());
    Press(Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_COMPARE(Focus(), Text1());
    Click(Command1());
    QTRY_COMPARE(Focus(), Text1());
    Press(Qt::Key_Tab);
    Press(Qt::Key_Tab);
    Press(Qt::Key_Space);
    QTRY_COMPARE(Focus(), Text1());
  }

  void tabShiftTabAndClicksMoveTheFocusAndRecalculate() {
    Type("20.7");
    Press(Qt::Key_Tab);
    QCOMPARE(Text2()->text(), "21");
    QCOMPARE(Text1()->text(), "20");
    Press(Qt::Key_Tab);
    QTRY_COMPARE(Focus(), Command1());
    Press(Qt::Key_Tab);
    QTRY_COMPARE(Focus(), Text1());
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    QTRY_COMPARE(Focus(), Command1());
    Click(Text2());
    QTRY_COMPARE(Focus(), Text2());
    Type("1050");
    Click(Text1());
    QTRY_COMPARE(Focus(), Text1());
    QCOMPARE(Text1()->text(), "1000");
  }

  void otherKeysOnlyEdit() {
    Type("12");
    Press(Qt::Key_3);
    QCOMPARE(Text1()->text(), "123");
    QCOMPARE(Text2()->text(), "0");
    QTRY_COMPARE(Focus(), Text1());
  }

  // A handler would turn 20.7 into a gross of 21; nothing here may run one.
  void activationAndPopupsRunNoHandler() {
    Type("20.7");
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTimer::singleShot(20, this, [] {
      if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    });
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(5, 5),
                           Text1()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Text1(), &menu);
    QTRY_COMPARE(Focus(), Text1());
    QCOMPARE(Text1()->text(), "20.7");
    QCOMPARE(Text2()->text(), "0");
  }

  // The box takes the activation; the field being entered still gains the focus, its handler
  // runs, and the keys that follow reach it.
  void aBoxInTheLostHandlerStillEndsInTheNextControl() {
    Press(Qt::Key_Tab);
    Type("104");
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(closer_.Take(), QStringList{"該当金額無"});
    QCOMPARE(Text1()->text(), "100");
    QCOMPARE(Text2()->text(), "105");
    QTRY_VERIFY(form_->isActiveWindow());
    QTRY_COMPARE(Focus(), Text1());
    Type("200");
    Press(Qt::Key_Return);
    QCOMPARE(Text2()->text(), "210");
  }

  // The press that opened the box does not also click: the focus stays on the button, as on a
  // real X server, where the release reaches the box.
  void aClickInterruptedByTheBoxIsDropped() {
    Press(Qt::Key_Tab);
    Type("62");
    Click(Command1());
    QCOMPARE(closer_.Take(), QStringList{"該当金額無"});
    QCOMPARE(Text2()->text(), "63");
    QTRY_COMPARE(Focus(), Command1());
    QVERIFY(!Command1()->isDown());
    Click(Command1());
    QTRY_COMPARE(Focus(), Text1());
  }

  void badAmountsAreReportedAndKept_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("letters") << "abc"
                             << "「abc」は金額として読めません。";
    QTest::newRow("empty") << ""
                           << "金額が入力されていません。";
    QTest::newRow("long") << "1234567890abcdefghijklmn"
                          << "「1234567890abcdefghij…」は金額として読めません。";
    QTest::newRow("beyond a double") << "1e400"
                                     << "金額が大きすぎて計算できません。";
  }
  void badAmountsAreReportedAndKept() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    for (QLineEdit* field : {Text1(), Text2()}) {
      if (field == Text2()) Press(Qt::Key_Tab);
      QTRY_COMPARE(Focus(), field);
      const QString other = (field == Text1() ? Text2() : Text1())->text();
      Type(typed);
      Press(Qt::Key_Return);
      QCOMPARE(closer_.boxes.size(), 1);
      const BoxCloser::Box box = closer_.boxes.takeFirst();
      QCOMPARE(box.text, message);
      QCOMPARE(box.title, "Mivo");
      QCOMPARE(box.icon, QMessageBox::Warning);
      QTRY_COMPARE(Focus(), field);
      QCOMPARE(field->text(), typed);
      QCOMPARE(field->selectedText(), typed);
      QCOMPARE((field == Text1() ? Text2() : Text1())->text(), other);
      Type("1000");
    }
  }

  void randomActionsFollowTheModel();
};

// What the window must do, written from the rules rather than from the code: which routines a
// user action runs, in which order, and where an error stops it.
struct Model {
  QString texts[2] = {"0", "0"};  // Text1, Text2
  int focus = 0;                  // 0 Text1, 1 Text2, 2 Command1
  QStringList boxes;

  static double Amount(const QString& text) { return tax::AmountFromText(text.toStdU16String()); }
  static QString Text(double amount) {
    return QString::fromStdU16String(tax::TextFromAmount(amount));
  }
  void Forward() { texts[1] = Text(tax::GrossFromNet(Amount(texts[0]))); }
  void Reverse() {
    const double gross = Amount(texts[1]);
    texts[0] = Text(tax::NetFromGross(gross));
    if (!tax::GrossMatchesNet(Amount(texts[0]), gross)) {
      boxes << "該当金額無";
      Forward();
    }
  }
  void Recalc(int control) {
    if (control == 0) Forward();
    if (control == 1) Reverse();
  }
  void Move(int to) {
    if (to == focus) return;
    Recalc(focus);
    focus = to;
    Recalc(to);
  }
  // Returns whether the action ran to its end.
  template <typename Action>
  bool Act(Action action) {
    const int before = focus;
    try {
      action();
      return true;
    } catch (const tax::Error&) {
      focus = before;
      boxes << "error";
      return false;
    }
  }
};

void Form1Test::randomActionsFollowTheModel() {
  const QString amounts[] = {
      "0",   "20",    "21",    "104",    "1050",     "-1",           "-20",  "20.7",
      "0.5", "105.0", "1,000", "１０５", "¥2,000円", "19.05",        "1e15", "123456789012345678",
      "abc", "",      "1,05",  "1e400",  "1.75e308", "９９９９９.９"};
  QWidget* const controls[] = {Text1(), Text2(), Command1()};
  const std::uint32_t seed = 20261206;
  std::mt19937 random(seed);
  Model model;
  for (int step = 0; step < 10'000; ++step) {
    const int focus = model.focus;
    const auto boxes = static_cast<std::size_t>(model.boxes.size());
    QString did;
    switch (random() % 7) {
      case 0:
      case 1:
        if (focus == 2) continue;
        did = amounts[random() % std::size(amounts)];
        if (random() % 3 == 0) did = QString::number(random() % 3000);
        Type(did);
        model.texts[focus] = did;
        did = "type " + did;
        break;
      case 2:
        did = "Enter";
        Press(random() % 2 ? Qt::Key_Return : Qt::Key_Enter);
        model.Act([&] { model.Move(focus == 2 ? 0 : focus + 1); });
        break;
      case 3:
        did = "Tab";
        Press(Qt::Key_Tab);
        model.Act([&] { model.Move((focus + 1) % 3); });
        break;
      case 4:
        did = "Shift+Tab";
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
        model.Act([&] { model.Move((focus + 2) % 3); });
        break;
      case 5: {
        const int target = static_cast<int>(random() % 2);
        did = target == 0 ? "click Text1" : "click Text2";
        Click(controls[target]);
        model.Act([&] { model.Move(target); });
        break;
      }
      default:
        did = "click Command1";
        Click(Command1());
        if (model.Act([&] { model.Move(2); }) && model.boxes.size() == static_cast<int>(boxes)) {
          model.Act([&] { model.Move(0); });
        }
        break;
    }
    for (int i = 0; i < 1000 && QApplication::focusWidget() != controls[model.focus]; ++i) {
      QCoreApplication::processEvents();
    }
    QStringList shown;
    for (const BoxCloser::Box& box : closer_.boxes) {
      shown << (box.icon == QMessageBox::Warning ? QStringLiteral("error") : box.text);
    }
    closer_.boxes.clear();
    const QString where = QStringLiteral("step %1 (%2), seed %3").arg(step).arg(did).arg(seed);
    QVERIFY2(shown == model.boxes.mid(static_cast<qsizetype>(boxes)), qPrintable(where));
    QVERIFY2(Text1()->text() == model.texts[0] && Text2()->text() == model.texts[1],
             qPrintable(where + ": " + Text1()->text() + " / " + Text2()->text()));
    QVERIFY2(QApplication::focusWidget() == controls[model.focus], qPrintable(where));
    // Unless an error stopped it, a move leaves two amounts that belong together.
    if (model.focus != focus && !shown.contains("error")) {
      QVERIFY2(tax::GrossMatchesNet(Model::Amount(model.texts[0]), Model::Amount(model.texts[1])),
               qPrintable(where));
    }
  }
}

}  // namespace window

QTEST_MAIN(window::Form1Test)
#include "form1_test.moc"
