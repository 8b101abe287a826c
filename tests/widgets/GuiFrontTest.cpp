// The desktop front's boxes and cursor.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <utility>

#include "GatewayFixture.h"

namespace kavonet::testing {
namespace {

using ui::GuiFront;

TEST(GuiFront, NeverStacksABoxOnOneWithTheSameTextAndBreaksLinesAtCR) {
  GuiFront front;
  std::vector<int> openInside;
  bool warningAnswer = true, reported = false;
  ModalHandler handler([&](QWidget* modal) {
    // Once only: a stacked box would otherwise report again, without end.
    if (qobject_cast<QMessageBox*>(modal)->text() == "port" && !std::exchange(reported, true)) {
      // A timer firing inside the open box reports the same failure again, then another.
      front.ErrorBox("port");
      openInside.push_back(front.OpenBoxes());
      warningAnswer = front.WarningYesNo("port");
      front.ErrorBox("Grüße\r\rnext\r\nlast");  // the gateway breaks lines with CR
    }
    Press(modal, QMessageBox::Ok);
  });
  front.ErrorBox("port");
  ASSERT_EQ(handler.texts().size(), 2u);
  EXPECT_EQ(handler.texts()[1], QString::fromUtf8("Grüße\n\nnext\nlast"));
  EXPECT_EQ(openInside, std::vector<int>{1});
  EXPECT_FALSE(warningAnswer) << "nothing is done behind an open box";
  EXPECT_EQ(front.OpenBoxes(), 0);
}

TEST(GuiFront, AnswersWhatWasPressed) {
  GuiFront front;
  for (auto [button, yes] : {std::pair{QMessageBox::Yes, true}, std::pair{QMessageBox::No, false}}) {
    ModalHandler handler([button = button](QWidget* modal) { Press(modal, button); });
    EXPECT_EQ(front.WarningYesNo("Disconnect?"), yes);
  }
}

TEST(GuiFront, BusyCursorIsOneStateNeverAStack) {
  GuiFront front;
  front.SetCursor(TCursor::crHourGlass);
  front.SetCursor(TCursor::crHourGlass);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  front.SetCursor(TCursor::crDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  {
    GuiFront busy;  // a front that goes while busy gives the cursor back
    busy.SetCursor(TCursor::crHourGlass);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace kavonet::testing
