#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <csignal>

#include <fstream>
#include <iterator>
#include <string>

#include "sms/MessageLog.h"

namespace kavonet::sms {
namespace {

namespace fs = std::filesystem;

TEST(TransmitLogLine, Layout) {
  struct Case {
    const char* name;
    const char* destination;
    const char* time;
    const char* line;
  };
  const Case cases[] = {
      {"short destination padded to 16", "4479", "10:32:44",
       "4479             06/12/25 10:32:44 hi "},
      {"leading plus is not logged", "+4479", "10:32:44", "4479             06/12/25 10:32:44 hi "},
      {"11 digits get 5 spaces", "12345678901", "10:32:44",
       "12345678901      06/12/25 10:32:44 hi "},
      {"16 digits only the separator", "1234567890123456", "10:32:44",
       "1234567890123456 06/12/25 10:32:44 hi "},
      {"10-character time gets a leading zero", "4479", "9:05:03 AM",
       "4479             06/12/25 09:05:03 AM hi "},
      {"11-character time unchanged", "4479", "09:05:03 AM",
       "4479             06/12/25 09:05:03 AM hi "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TransmitLogLine(c.destination, "06/12/25", c.time, "hi"), c.line) << c.name;
  }
}

TEST(TransmitLogLine, LogsTheTextAsSentCutTo160Characters) {
  const std::string text = std::string(160, 'a') + "overflow";
  const std::string line = TransmitLogLine("4479", "d", "t", text);
  EXPECT_EQ(line,
            std::string("4479") + std::string(12, ' ') + " d t " + std::string(160, 'a') + " ");
  // Untranslated: '@' and '_' stay as typed (the terminal got 0x00 and a space).
  EXPECT_EQ(TransmitLogLine("1", "d", "t", "a@b_c"), "1                d t a@b_c ");
}

ReceivedMessage Message(std::string origin) {
  ReceivedMessage m;
  m.Origin = std::move(origin);
  m.Year = "99";
  m.Month = "03";
  m.Day = "17";
  m.Hour = "12";
  m.Minute = "45";
  m.Second = "08";
  m.Text = "hi";
  return m;
}

TEST(ReceiveLogLine, OriginPaddedTo15ThenStampAndText) {
  EXPECT_EQ(ReceiveLogLine(Message("+4479")), "+4479           17-03-99 12:45:08 hi");
  EXPECT_EQ(ReceiveLogLine(Message("+44791234567")), "+44791234567    17-03-99 12:45:08 hi");
  EXPECT_EQ(ReceiveLogLine(Message("+44791234567890")), "+44791234567890 17-03-99 12:45:08 hi");
}

// The machine's locales are unknown; the C locale and explicit formats are not.
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

TEST(LocaleTime, CLocaleFormats) {
  const std::time_t t = LocalTime(2025, 12, 6, 9, 5, 3);
  EXPECT_EQ(LocaleShortDate(t), "12/06/25");
  EXPECT_EQ(LocaleLongTime(t), "09:05:03");
}

TEST(LocaleTime, TwelveHourTimeWithoutLeadingZeroIsAlignedInTheLog) {
  const std::time_t t = LocalTime(2025, 12, 6, 9, 5, 3);
  const std::string time = FormatLocalTime(t, "%-I:%M:%S %p");
  ASSERT_EQ(time, "9:05:03 AM");
  EXPECT_EQ(TransmitLogLine("4479", "12/06/25", time, "hi"),
            "4479             12/06/25 09:05:03 AM hi ");
}

class AppendLogLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kavonet-log-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir_;
};

TEST_F(AppendLogLineTest, CreatesTheFileAndAppendsUtf8LinesWithCrLf) {
  const fs::path file = dir_ / "receive.txt";
  ASSERT_FALSE(fs::exists(file));
  EXPECT_TRUE(AppendLogLine(file, "first"));
  EXPECT_TRUE(AppendLogLine(file, "café \xE1"));  // a stray byte is no UTF-8
  EXPECT_EQ(Contents(file), "first\r\ncafé \uFFFD\r\n");
}

TEST_F(AppendLogLineTest, KeepsWhatTheFileAlreadyHeld) {
  const fs::path file = dir_ / "transmit.txt";
  std::ofstream(file, std::ios::binary) << "old\r\n";
  EXPECT_TRUE(AppendLogLine(file, "new"));
  EXPECT_EQ(Contents(file), "old\r\nnew\r\n");
}

TEST_F(AppendLogLineTest, EachRecordIsOneLineWithItsControlCharactersEscaped) {
  const std::string forged = "hi\r\n4479 01/01/25 00:00:00 forged \x1B[2J\t\x7F\u0085";
  EXPECT_TRUE(AppendLogLine(dir_ / "receive.txt", forged));
  EXPECT_EQ(Contents(dir_ / "receive.txt"), "hi\\r\\n4479 01/01/25 00:00:00 forged \\x1B[2J\\x09\\x7F\\u0085\r\n");
  EXPECT_TRUE(LogEndsWith(dir_ / "receive.txt", forged));
}

TEST_F(AppendLogLineTest, ALineIsWrittenWholeOrNotAtAllAndNeverThroughALink) {
  const fs::path file = dir_ / "transmit.txt";
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit small{30, saved.rlim_max};  // holds for root too
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::vector<bool> written{AppendLogLine(file, std::string(20, 'a')),
                                  AppendLogLine(file, std::string(20, 'b')), AppendLogLine(file, "c")};
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(written, (std::vector<bool>{true, false, true}));  // 8 bytes of the second would fit
  EXPECT_EQ(Contents(file), std::string(20, 'a') + "\r\nc\r\n");
  fs::create_symlink(file, dir_ / "receive.txt");
  EXPECT_FALSE(AppendLogLine(dir_ / "receive.txt", "line"));
  EXPECT_FALSE(LogEndsWith(dir_ / "receive.txt", "c"));
}

TEST_F(AppendLogLineTest, FailsCleanlyWhenTheFileCannotBeWritten) {
  EXPECT_FALSE(AppendLogLine(dir_, "line"));                          // a directory
  EXPECT_FALSE(AppendLogLine(dir_ / "missing" / "log.txt", "line"));  // no such folder
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

}  // namespace
}  // namespace kavonet::sms
