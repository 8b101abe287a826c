#include "ui/app/HeadlessFront.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace kavonet::app {
namespace {

class Front : public ::testing::Test {
 protected:
  std::ostringstream out;
  LogWriter log{out, [] { return std::string("T"); }};
  HeadlessFront front{log};
};

TEST_F(Front, StatusTextsAndErrorsAreLinesInUtf8) {
  front.StatusTextChanged("Entered ETSI SMS PDU Mode OK");
  front.StatusTextChanged("Cost \xc2\xa3" "5\xff");  // a stray byte is no UTF-8
  front.ErrorBox("Cannot connect to port COM2 .");
  EXPECT_EQ(out.str(),
            "T Entered ETSI SMS PDU Mode OK\n"
            "T Cost \xc2\xa3" "5\xef\xbf\xbd\n"
            "T error: Cannot connect to port COM2 .\n");
}

TEST_F(Front, TheWarningIsAnsweredYesOnOneLine) {
  EXPECT_TRUE(front.WarningYesNo("Manually disconnecting will override this setting.\r\rDo you wish?."));
  EXPECT_EQ(out.str(), "T warning: Manually disconnecting will override this setting. Do you wish?. - answered Yes\n");
}

TEST(LogTimestamp, IsLocalTimeWithMilliseconds) {
  EXPECT_TRUE(std::regex_match(LogTimestamp(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})")))
      << LogTimestamp();
}

}  // namespace
}  // namespace kavonet::app
