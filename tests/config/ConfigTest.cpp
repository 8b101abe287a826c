// orvsms.ini: the profile text rules, the file writes (and how they fail), the gateway's
// settings and the port-name mapping.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>

#include "config/GatewayConfig.h"
#include "config/IniDocument.h"
#include "config/IniFile.h"
#include "tests/support/TempDir.h"

namespace kavonet {
namespace {

namespace fs = std::filesystem;
using kavonet::testing::ReadText;
using kavonet::testing::TempDir;
using kavonet::testing::WriteText;

// What section "A", key "k" reads as in each text.
TEST(IniDocument, LookupTable) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"[a]\nK=0\n", "0"},                    {"[A]\n  k  =  ZE0&S0  \n", "ZE0&S0"},
      {"[ A ]\n\tk\t=\tv\t\n", "v"},          {"[A]\nk=a  b\n", "a  b"},
      {"[A]\nk=a=b\n", "a=b"},                {"[A]\nk=\n", ""},
      {"[B]\nk=v\n", {}},                     {"[A]\nx=v\n", {}},
      {"[A]\nx=1\n[B]\nk=2\n", {}},           {"[A]\n  ;k=1\n", {}},
      {"[A]\nk\nk=3\n", "3"},                 {"k=1\n[A]\n", {}},  // before any section: in none
      {"[A]\nk=1\nk=2\n", "1"},               {"[A]\nx=1\n[B]\n[a]\nk=2\n", "2"},
      {"[A\nk=v\n", {}},                      {"[A]\r\nk=v", "v"},
      {"\xEF\xBB\xBF[A]\nk=v\n", "v"},        {"[A]\nk=\" a b \"\n", " a b "},
      {"[A]\nk='ab'\n", "ab"},                {"[A]\nk=\"ab'\n", "\"ab'"},
      {"[A]\nk=\"\n", "\""},                  {"[A]\nk=\x81\xE9\n", "\x81\xE9"},
      {"[A]\nk=" + std::string(1023, 'a'), std::string(1023, 'a')},
      {"[A]\nk=" + std::string(1030, 'b'), std::string(1023, 'b')},
      {"[A]\nk=\"" + std::string(1023, 'c') + "\"", std::string(1023, 'c')}};  // cut unquoted
  for (const auto& [text, value] : cases) EXPECT_EQ(IniDocument(text).Find("A", "k"), value) << text;
  EXPECT_EQ(IniDocument("[A]x]\nInit String=v\n").Find(" A]x ", " init string "), "v");
}

TEST(IniDocument, IntegerTable) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
      {"16", 16}, {"0x10", 16}, {"0X1f", 31}, {"0x0000000010", 16}, {"+7", 7}, {"-7", -7},
      {"007", 7}, {"2147483647", kMax}, {"-2147483648", kMin}, {"0xFFFFFFFF", -1}, {"0x7fffffff", kMax},
      {"2147483648", {}}, {"-2147483649", {}}, {"99999999999999999999999", {}}, {"0x100000000", {}},
      {"yes", {}}, {"", {}}, {"12abc", {}}, {"1 2", {}}, {"0x", {}}, {"0x1G", {}}, {"-0x10", {}},
      {"-", {}}, {"--1", {}}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseIniInteger(text), value) << '"' << text << '"';
}

TEST(IniDocument, EditTable) {
  struct Case {
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;  // empty: refused, the text stays as it was
  };
  const Case cases[] = {
      {"", " A ", " k ", "v", "[A]\nk=v\n"},
      {"; top\n[A]\n; about k\nk = old ; x\nother=1\n", "A", "k", "new",
       "; top\n[A]\n; about k\nk = new\nother=1\n"},
      {"[a]\nKEY=1\n", "A", "key", "", "[a]\nKEY=\n"},
      {"[A]\nx=1\n; note\n\n[B]\ny=2\n", "A", "k", "v", "[A]\nx=1\n; note\nk=v\n\n[B]\ny=2\n"},
      {"[A]\n[B]\n", "A", "k", "v", "[A]\nk=v\n[B]\n"},
      {"garbage\n[A]\nnot a key", "A", "k", "v", "garbage\n[A]\nnot a key\nk=v\n"},
      {"[A]\nx=1\n[A]\nk=1\n", "A", "k", "2", "[A]\nx=1\n[A]\nk=2\n"},
      {"[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n\n[B]\nk=v\n"},
      {"[A]\nx=1\n\n", "B", "k", "v", "[A]\nx=1\n\n[B]\nk=v\n"},
      {"[A]\nx=1", "B", "k", "v", "[A]\nx=1\n\n[B]\nk=v\n"},
      {"[A]\r\nk=1\r\n", "A", "k", "2", "[A]\r\nk=2\r\n"},
      {"[A]\r\nx=1\r\n", "A", "k", "v", "[A]\r\nx=1\r\nk=v\r\n"},
      {"[A]\r\nx=1", "B", "k", "v", "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n"},
      {"[A]\r\nx=1\n", "A", "k", "v", "[A]\r\nx=1\nk=v\r\n"},  // the first line's ending
      {"\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2", "\xEF\xBB\xBF[A]\nk=2\n"},
      {"[A]\nk=1\n", "A", "k", "a\nb", ""}, {"[A]\nk=1\n", "A", "k", "a\rb", ""},
      {"[A]\nk=1\n", "A\nB", "k", "v", ""}, {"[A]\nk=1\n", "A", "k\n", "v", ""},
      {"[A]\nk=1\n", "A", "k=x", "v", ""},   {"[A]\nk=1\n", "A", ";k", "v", ""},
      {"[A]\nk=1\n", "A", "[k]", "v", ""}};
  for (const Case& c : cases) {
    IniDocument document(c.before);
    EXPECT_EQ(document.Set(c.section, c.key, c.value), !c.after.empty()) << c.before << c.key;
    EXPECT_EQ(document.Text(), c.after.empty() ? c.before : c.after);
    if (!c.after.empty()) {
      EXPECT_EQ(IniDocument(document.Text()).Find(c.section, c.key), c.value);
    }
  }
  const std::string unchanged[] = {
      "", "\n", "a\r\r\n", "\xEF\xBB\xBF", "a\r\nb\nc\r", "[A\n]=\n", std::string("x\0y", 3)};
  for (const std::string& text : unchanged) EXPECT_EQ(IniDocument(text).Text(), text);
}

TEST(IniFile, ReadsTheDefaultWhereThereIsNoFileOrNoNumber) {
  TempDir dir;
  fs::create_directory(dir / "adir");
  for (const fs::path& path : {dir / "absent.ini", dir / "adir", dir / "nodir" / "x.ini"}) {
    EXPECT_FALSE(IniFile(path).Exists()) << path;
    EXPECT_EQ(IniFile(path).ReadInteger("A", "k", 42), 42) << path;
  }
  WriteText(dir / "orvsms.ini", "[A]\nk=yes\n");
  EXPECT_TRUE(IniFile(dir / "orvsms.ini").ReadBool("A", "k", true));
  EXPECT_FALSE(IniFile(dir / "orvsms.ini").ReadBool("A", "k", false));
}

// A failed write throws and changes nothing in the directory, whoever runs it: none of
// these depends on permissions, which root would pass.
TEST(IniFile, WriteFailureTable) {
  struct Case {
    const char* name;
    std::vector<std::string> made;  // "d/" a directory, "a=b" b a hard link to a, else a file
    std::string path;
    const char* value = "2";  // or nothing for WriteDefaultConfiguration
    bool sizeLimit = false;   // RLIMIT_FSIZE at the size of the file there
  };
  const Case cases[] = {
      {"a directory at the path", {"x.ini/"}, "x.ini"},
      {"a directory, default file", {"x.ini/"}, "x.ini", nullptr},
      {"missing directory", {}, "gone/x.ini"},
      {"a file for a directory", {"f"}, "f/x.ini"},
      {"a value that would add a section", {"x.ini"}, "x.ini", "2\n[B]\nx=3"},
      {"no room for the replacement", {"x.ini"}, "x.ini", "22", true},
      {"no room, a hard link rewritten in place", {"x.ini", "x.ini=y.ini"}, "x.ini", "22", true},
      {"no room for a temporary name, default file", {}, std::string(253, 'o'), nullptr}};
  std::signal(SIGXFSZ, SIG_IGN);  // past the limit a write fails, root's too
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& name : c.made) {
      const auto link = name.find('=');
      if (name.back() == '/') fs::create_directory(dir / name);
      else if (link != std::string::npos) fs::create_hard_link(dir / name.substr(0, link),
                                                               dir / name.substr(link + 1));
      else WriteText(dir / name, "[A]\nk=1\n");
    }
    const auto contents = [&] {
      std::map<fs::path, std::string> files;
      for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
        files[entry.path()] = entry.is_regular_file() ? ReadText(entry.path()) : "(dir)";
      }
      return files;
    };
    const auto before = contents();
    const fs::path path = dir / c.path;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit limit{8, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, c.sizeLimit ? &limit : &saved), 0);
    try {
      c.value ? IniFile(path).WriteString("A", "k", c.value) : WriteDefaultConfiguration(path);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const ConfigWriteError& error) {
      EXPECT_EQ(std::string(error.what()), "Unable to write to " + path.string()) << c.name;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(contents(), before) << c.name;
  }
}

TEST(IniFile, WritesKeepLinksOwnerAndModeAndANewFileIsPrivate) {
  TempDir dir;
  fs::create_directory(dir / "real");
  const fs::path real = dir / "real" / "orvsms.ini";
  WriteText(real, "[A]\nk=1\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;  // only root may give a file away
  const std::pair<uid_t, gid_t> owner(root ? 1234 : ::geteuid(), root ? 5678 : ::getegid());
  ASSERT_EQ(::chown(real.c_str(), owner.first, owner.second), 0);
  fs::create_symlink(real, dir / "orvsms.ini");
  IniFile(dir / "orvsms.ini").WriteString("A", "k", "2");
  EXPECT_TRUE(fs::is_symlink(dir / "orvsms.ini"));
  EXPECT_EQ(ReadText(real), "[A]\nk=2\n");
  struct stat status {};
  ASSERT_EQ(::stat(real.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(std::pair(status.st_uid, status.st_gid), owner);

  fs::create_hard_link(real, dir / "linked.ini");  // replaced, it would keep the old text
  IniFile(real).WriteString("A", "k", "3");
  EXPECT_EQ(ReadText(dir / "linked.ini"), "[A]\nk=3\n");
  const fs::path longName = dir / std::string(253, 'o');  // no room for a temporary name
  WriteText(longName, "[A]\nk=1\n");
  IniFile(longName).WriteString("A", "k", "4");
  EXPECT_EQ(ReadText(longName), "[A]\nk=4\n");

  const mode_t mask = ::umask(0);  // it may hold a PIN code, whatever the umask allows
  IniFile(dir / "new.ini").WriteString("Configuration", "PIN Code", "4711");
  ::umask(mask);
  EXPECT_EQ(fs::status(dir / "new.ini").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(GatewayConfig, DefaultFileExistingFileAndEveryKey) {
  TempDir dir;
  const fs::path path = dir / kConfigFileName;
  EXPECT_EQ(ReadGatewayConfig(path), GatewayConfig{});
  WriteDefaultConfiguration(path);
  EXPECT_EQ(ReadText(path),
            "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=Block Mode\n"
            "Enter Block Mode Command=*T\nWait OK=1\nPIN Code=\nService Centre Address=\n"
            "SCA in TPDU=0\nMem1=\nMem2=\nMem3=\n\n[Startup]\nAuto Connect=0\n\n"
            "[Receive Message]\nStartup Transfer=0\nLog Receive=1\nLog Transmit=1\n");
  EXPECT_EQ(ReadGatewayConfig(path), GatewayConfig{});

  const std::string text =
      "[receive message]\r\nlog transmit=0\r\nLog Receive=0\r\nStartup Transfer=7\r\n"
      "[CONFIGURATION]\r\nPort=0x10\r\nSpeed=300\r\nInit String=ATZ\r\nInterface=Text Mode\r\n"
      "Enter Block Mode Command=AT+CESP\r\nWait OK=yes\r\nPIN Code=1234\r\n"
      "Service Centre Address=+447785016005\r\nSCA in TPDU=1\r\nMem1=SM\r\nMem2=ME\r\n"
      "Mem3=MT\r\nLong Messages=1\r\nFast Dispatch=1\r\n[Startup]\r\nAuto Connect=1\r\n";
  WriteText(path, text);
  WriteDefaultConfiguration(path);
  EXPECT_EQ(ReadText(path), text) << "an existing file is never changed";
  const GatewayConfig expected{16,   300,  "ATZ", true, "Text Mode", "AT+CESP\r", true /* "yes" */,
                               "1234", "+447785016005", true, "SM", "ME", "MT", 7, false, false, true, true};
  EXPECT_EQ(ReadGatewayConfig(path), expected);
  WriteText(path, "[Configuration]\nPort=3\n");
  EXPECT_EQ(ReadGatewayConfig(path).Port, 3);
  EXPECT_EQ(ReadGatewayConfig(path).Speed, 9600) << "a key removed by hand reads as its default";
}

TEST(GatewayConfig, DeviceNameTable) {
  TempDir dir;
  const fs::path path = dir / kConfigFileName;
  WriteText(path,
            "[Configuration]\nPort=2\n[ports]\ncom2 = /dev/ttyUSB0\nCOM7=/dev/ttyACM1\nCOM3=\n");
  const std::pair<const char*, const char*> cases[] = {
      {"COM2", "/dev/ttyUSB0"}, {"Com2", "/dev/ttyUSB0"}, {"COM7", "/dev/ttyACM1"},
      {"COM1", "/dev/ttyS0"},   {"com4", "/dev/ttyS3"},   {"COM3", "/dev/ttyS2"},
      {"COM10", "/dev/ttyS9"},  {"COM256", "/dev/ttyS255"}, {"COM0", "COM0"}, {"COM", "COM"},
      {"COMX", "COMX"}, {"COM1x", "COM1x"}, {"COM1000", "COM1000"}, {"/dev/pts/3", "/dev/pts/3"},
      {"", ""}};
  for (const auto& [name, device] : cases) EXPECT_EQ(ResolveDeviceName(path, name), device) << name;
  EXPECT_EQ(ResolveDeviceName(dir / "absent.ini", "COM2"), "/dev/ttyS1");
}

}  // namespace
}  // namespace kavonet
