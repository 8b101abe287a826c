#include "config/IniFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <string>

#include "tests/support/TempDir.h"

namespace kavonet {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

TEST(IniFile, WhatIsMissingOrUnreadableReadsAsTheDefault) {
  TempDir dir;
  WriteText(dir / "some.ini", "[A]\nk=7\nword=yes\n");
  fs::create_directory(dir / "adir");
  for (const fs::path& path : {dir / "absent.ini", dir / "adir", dir / "nodir" / "x.ini"}) {
    const IniFile ini(path);
    EXPECT_FALSE(ini.Exists()) << path;
    EXPECT_EQ(ini.ReadString("A", "k", "dflt"), "dflt") << path;
    EXPECT_EQ(ini.ReadInteger("A", "k", 42), 42) << path;
  }
  const IniFile some(dir / "some.ini");
  EXPECT_TRUE(some.Exists());
  EXPECT_EQ(some.ReadInteger("B", "k", 42), 42);
  EXPECT_EQ(some.ReadInteger("A", "x", 42), 42);
  EXPECT_EQ(some.ReadInteger("a", "K", 42), 7);
  // Booleans are integers: a word reads as the default, whichever it is.
  EXPECT_TRUE(some.ReadBool("A", "word", true));
  EXPECT_FALSE(some.ReadBool("A", "word", false));
  EXPECT_TRUE(some.ReadBool("A", "k", false));
}

TEST(IniFile, WritesIntegersInDecimalAndBooleansAsOneAndZero) {
  TempDir dir;
  IniFile ini(dir / "t.ini");
  ini.WriteInteger("A", "n", -16);
  ini.WriteBool("A", "t", true);
  ini.WriteBool("A", "f", false);
  ini.WriteString("B", "s", "ZE0&S0");
  EXPECT_EQ(ReadText(dir / "t.ini"), "[A]\nn=-16\nt=1\nf=0\n\n[B]\ns=ZE0&S0\n");
  EXPECT_EQ(ini.ReadInteger("A", "n", 0), -16);
  EXPECT_TRUE(ini.ReadBool("A", "t", false));
  EXPECT_FALSE(ini.ReadBool("A", "f", true));
}

TEST(IniFile, EditingKeepsCommentsAndEveryOtherLine) {
  TempDir dir;
  const std::string before =
      "; Kavonet settings, edited by hand\n"
      "[Configuration]\n"
      "Port = 1\n"
      "; the modem on the desk\n"
      "Unknown Key=kept\n"
      "\n"
      "[Ports]\n"
      "COM1=/dev/ttyUSB0\n";
  WriteText(dir / "orvsms.ini", before);
  IniFile ini(dir / "orvsms.ini");
  ini.WriteInteger("configuration", "PORT", 3);
  ini.WriteString("Configuration", "Mem1", "SM");
  ini.WriteBool("Startup", "Auto Connect", true);
  EXPECT_EQ(ReadText(dir / "orvsms.ini"),
            "; Kavonet settings, edited by hand\n"
            "[Configuration]\n"
            "Port = 3\n"
            "; the modem on the desk\n"
            "Unknown Key=kept\n"
            "Mem1=SM\n"
            "\n"
            "[Ports]\n"
            "COM1=/dev/ttyUSB0\n"
            "\n"
            "[Startup]\n"
            "Auto Connect=1\n");
}

TEST(IniFile, CrLfFileReadsTheSameAndStaysCrLf) {
  TempDir dir;
  WriteText(dir / "w.ini", "[Configuration]\r\nPort=4\r\nInit String=ZE0&S0\r\n");
  IniFile ini(dir / "w.ini");
  EXPECT_EQ(ini.ReadInteger("Configuration", "Port", 2), 4);
  EXPECT_EQ(ini.ReadString("Configuration", "Init String", ""), "ZE0&S0");
  ini.WriteInteger("Configuration", "Port", 1);
  ini.WriteString("Configuration", "Mem2", "ME");
  ini.WriteInteger("Receive Message", "Startup Transfer", 2);
  EXPECT_EQ(ReadText(dir / "w.ini"),
            "[Configuration]\r\nPort=1\r\nInit String=ZE0&S0\r\nMem2=ME\r\n"
            "\r\n[Receive Message]\r\nStartup Transfer=2\r\n");
}

TEST(IniFile, WriteToADirectoryFailsWithThePath) {
  TempDir dir;
  const fs::path path = dir / "orvsms.ini";
  fs::create_directory(path);
  IniFile ini(path);
  try {
    ini.WriteInteger("Configuration", "Port", 1);
    FAIL() << "no error";
  } catch (const ConfigWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + path.string());
  }
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_TRUE(fs::is_empty(path));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1)
      << "no temporary file left behind";
  EXPECT_THROW(ini.Replace(IniDocument("[A]\nk=v\n")), ConfigWriteError);
  EXPECT_TRUE(fs::is_empty(path));
}

TEST(IniFile, WriteIntoAMissingDirectoryFails) {
  TempDir dir;
  const fs::path path = dir / "gone" / "orvsms.ini";
  IniFile ini(path);
  EXPECT_THROW(ini.WriteString("A", "k", "v"), ConfigWriteError);
  EXPECT_FALSE(fs::exists(dir / "gone"));
}

// The write that fails stops there: what was written before it stays, and the file is
// never left half written, not even one rewritten in place for a second name.
TEST(IniFile, RefusedWriteLeavesEarlierKeysWritten) {
  TempDir dir;
  const fs::path path = dir / "orvsms.ini";
  IniFile ini(path);
  ini.WriteInteger("Configuration", "Port", 3);
  ini.WriteInteger("Configuration", "Speed", 19200);
  fs::create_hard_link(path, dir / "linked.ini");
  const std::string written = ReadText(path);

  rlimit unlimited{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  const rlimit limit{written.size(), unlimited.rlim_max};
  std::signal(SIGXFSZ, SIG_IGN);  // past the limit a write fails, root's too
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  EXPECT_THROW(ini.WriteInteger("Configuration", "Port", 30), ConfigWriteError);
  ::setrlimit(RLIMIT_FSIZE, &unlimited);
  EXPECT_EQ(ReadText(path), written);

  ini.WriteInteger("Configuration", "Speed", 2400);
  EXPECT_EQ(ReadText(dir / "linked.ini"), "[Configuration]\nPort=3\nSpeed=2400\n");
}

// As in a directory the user may not write, there is no room for a temporary file.
TEST(IniFile, FileWithNoRoomForATemporaryNameIsRewrittenInPlace) {
  TempDir dir;
  const fs::path path = dir / std::string(253, 'o');
  WriteText(path, "[A]\nk=1\n");
  IniFile(path).WriteString("A", "k", "2");
  EXPECT_EQ(ReadText(path), "[A]\nk=2\n");
}

TEST(IniFile, ValueThatWouldBreakTheFileIsRefused) {
  TempDir dir;
  IniFile ini(dir / "t.ini");
  ini.WriteString("A", "k", "1");
  EXPECT_THROW(ini.WriteString("A", "k", "2\n[B]\nx=3"), ConfigWriteError);
  EXPECT_EQ(ReadText(dir / "t.ini"), "[A]\nk=1\n");
}

TEST(IniFile, WriteKeepsPermissionsAndFollowsASymbolicLink) {
  TempDir dir;
  fs::create_directory(dir / "real");
  const fs::path real = dir / "real" / "orvsms.ini";
  WriteText(real, "[A]\nk=1\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;  // only root may give a file away
  const std::pair<uid_t, gid_t> owner(root ? 1234 : ::geteuid(), root ? 5678 : ::getegid());
  ASSERT_EQ(::chown(real.c_str(), owner.first, owner.second), 0);
  fs::create_symlink(real, dir / "orvsms.ini");

  IniFile ini(dir / "orvsms.ini");
  ini.WriteString("A", "k", "2");
  EXPECT_TRUE(fs::is_symlink(dir / "orvsms.ini"));
  EXPECT_EQ(ReadText(real), "[A]\nk=2\n");
  struct stat status {};
  ASSERT_EQ(::stat(real.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(std::pair(status.st_uid, status.st_gid), owner);
}

TEST(IniFile, ANewFileIsTheUsersOnly) {
  TempDir dir;
  const mode_t mask = ::umask(0);  // it holds a PIN code, whatever the umask allows
  IniFile(dir / "orvsms.ini").WriteString("Configuration", "PIN Code", "4711");
  ::umask(mask);
  EXPECT_EQ(fs::status(dir / "orvsms.ini").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(IniFile, ReadOnlyFileIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write to any file";
  TempDir dir;
  const fs::path path = dir / "orvsms.ini";
  WriteText(path, "[A]\nk=1\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  IniFile ini(path);
  EXPECT_THROW(ini.WriteString("A", "k", "2"), ConfigWriteError);
  EXPECT_EQ(ReadText(path), "[A]\nk=1\n");
}

}  // namespace
}  // namespace kavonet
