#include "clients/ActivationFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "ProcessHarness.h"

namespace kavonet::clients {
namespace {

using kavonet::testing::ReadFile;
using kavonet::testing::Sandbox;

TEST(ActivationFile, LivesUnderTheDataHome) {
  EXPECT_EQ(ActivationFilePath("/x/data", "/home/u"), "/x/data/dbus-1/services/Kavonet.SMS.service");
  EXPECT_EQ(ActivationFilePath(nullptr, "/home/u"),
            "/home/u/.local/share/dbus-1/services/Kavonet.SMS.service");
  // A relative XDG_DATA_HOME is to be ignored.
  EXPECT_EQ(ActivationFilePath("data", "/home/u"),
            "/home/u/.local/share/dbus-1/services/Kavonet.SMS.service");
  EXPECT_EQ(ActivationFilePath("", ""), "");
}

TEST(ActivationFile, NamesTheExecutableWithTheAutomationSwitch) {
  EXPECT_EQ(ActivationFileText("/usr/bin/kavonet"),
            "[D-BUS Service]\nName=Kavonet.SMS\nExec=/usr/bin/kavonet -automation\n");
  // The bus splits Exec like a shell does.
  EXPECT_EQ(ActivationFileText("/opt/my apps/kav\"o$net"),
            "[D-BUS Service]\nName=Kavonet.SMS\nExec=\"/opt/my apps/kav\\\"o\\$net\" -automation\n");
}

TEST(ActivationFile, IsWrittenWithItsDirectoriesAndRemoved) {
  Sandbox sandbox;
  const std::filesystem::path file = ActivationFilePath(sandbox.DataHome().c_str(), nullptr);
  std::string error;
  ASSERT_TRUE(WriteActivationFile(file, "/usr/bin/kavonet", error)) << error;
  EXPECT_EQ(ReadFile(file), ActivationFileText("/usr/bin/kavonet"));
  ASSERT_TRUE(WriteActivationFile(file, "/usr/local/bin/kavonet", error)) << "replaced";
  EXPECT_EQ(ReadFile(file), ActivationFileText("/usr/local/bin/kavonet"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1)
      << "no temporary file left behind";
  ASSERT_TRUE(RemoveActivationFile(file, error));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(RemoveActivationFile(file, error)) << "already gone is no failure";
}

TEST(ActivationFile, UnwritableDirectoryIsReported) {
  Sandbox sandbox;
  // A file where the services directory should be.
  std::filesystem::create_directories(sandbox.DataHome() / "dbus-1");
  std::ofstream(sandbox.DataHome() / "dbus-1" / "services") << "x";
  std::string error;
  EXPECT_FALSE(WriteActivationFile(ActivationFilePath(sandbox.DataHome().c_str(), nullptr),
                                   "/usr/bin/kavonet", error));
  EXPECT_NE(error.find("services"), std::string::npos) << error;
}

}  // namespace
}  // namespace kavonet::clients
