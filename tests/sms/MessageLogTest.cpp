#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "sms/MessageLog.h"
#include "tests/support/TempDir.h"

namespace kavonet::sms {
namespace {

using kavonet::testing::ReadText;
using kavonet::testing::TempDir;

TEST(MessageLog, LineTable) {
  struct Case {
    const char* destination;
    const char* time;
    std::string text;
    std::size_t parts;
    std::string line;
  };
  const Case cases[] = {
      {"4479", "10:32:44", "hi", 1, "4479             06/12/25 10:32:44 hi "},
      {"+4479", "10:32:44", "hi", 1, "4479             06/12/25 10:32:44 hi "},
      {"1234567890123456", "10:32:44", "hi", 1, "1234567890123456 06/12/25 10:32:44 hi "},
      {"4479", "9:05:03 AM", "hi", 1, "4479             06/12/25 09:05:03 AM hi "},
      {"4479", "09:05:03 AM", "hi", 1, "4479             06/12/25 09:05:03 AM hi "},
      {"1", "t", "a@b_c", 1, "1                06/12/25 t a@b_c "},  // as typed, untranslated
      {"1", "t", std::string(160, 'a') + "cut", 1,
       "1                06/12/25 t " + std::string(160, 'a') + " "},
      {"1", "t", std::string(170, 'a'), 2,
       "1                06/12/25 t [2 parts] " + std::string(170, 'a') + " "}};
  for (const Case& c : cases) {
    EXPECT_EQ(TransmitLogLine(c.destination, "06/12/25", c.time, c.text, c.parts), c.line);
  }
  ReceivedMessage m;
  m.Year = "99", m.Month = "03", m.Day = "17", m.Hour = "12", m.Minute = "45", m.Second = "08";
  m.Text = "hi";
  for (const auto& [origin, line] :
       {std::pair{"+4479", "+4479           17-03-99 12:45:08 hi"},
        std::pair{"+44791234567890", "+44791234567890 17-03-99 12:45:08 hi"}}) {
    m.Origin = origin;
    EXPECT_EQ(ReceiveLogLine(m), line);
  }
}

TEST(MessageLog, AppendWritesWholeEscapedLinesOrNothing) {
  TempDir dir;
  const auto file = dir / "receive.txt";
  kavonet::testing::WriteText(file, "old\r\n");
  const std::string forged = "hi\r\n4479 forged \x1B[2J\t\x7F\u0085 caf\xC3\xA9 \xE1";
  EXPECT_TRUE(AppendLogLine(file, forged));
  EXPECT_EQ(ReadText(file), "old\r\nhi\\r\\n4479 forged \\x1B[2J\\x09\\x7F\\u0085 café \uFFFD\r\n");
  EXPECT_EQ(LinesLoggedAtEnd(file, {forged, "next"}), 1u);
  EXPECT_EQ(LinesLoggedAtEnd(file, {"old", forged, "next"}), 2u);
  EXPECT_EQ(LinesLoggedAtEnd(file, {"hi"}), 0u);

  std::signal(SIGXFSZ, SIG_IGN);  // past the limit a write fails, root's too
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto size = static_cast<rlim_t>(ReadText(file).size());
  const rlimit small{size + 30, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string before = ReadText(file);
  const std::vector<bool> written{AppendLogLine(file, std::string(20, 'a')),
                                  AppendLogLine(file, std::string(20, 'b')),
                                  AppendLogLine(file, "c")};
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(written, (std::vector<bool>{true, false, true}));  // 8 bytes of the second would fit
  EXPECT_EQ(ReadText(file), before + std::string(20, 'a') + "\r\nc\r\n");

  std::filesystem::create_symlink(file, dir / "link.txt");
  EXPECT_FALSE(AppendLogLine(dir / "link.txt", "line"));
  EXPECT_EQ(LinesLoggedAtEnd(dir / "link.txt", {"c"}), 0u);
}

}  // namespace
}  // namespace kavonet::sms
