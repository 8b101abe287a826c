#include "clients/RuntimeDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "ProcessHarness.h"

namespace kavonet::clients {
namespace {

using kavonet::testing::Sandbox;

TEST(RuntimeDirectory, ServiceIsTheFileNameUpToItsFirstDot) {
  EXPECT_EQ(ServiceNameOf("/usr/bin/kavonet"), "kavonet");
  EXPECT_EQ(ServiceNameOf("kavonet.v5.bin"), "kavonet");
  EXPECT_EQ(ServiceNameOf("/opt/a.b/gw"), "gw") << "dots in directories do not count";
  EXPECT_EQ(ServiceNameOf("./kavonet"), "kavonet");
}

TEST(RuntimeDirectory, UsesTheSessionRuntimeDirectoryElseOneNoOtherUserCanCreateFirst) {
  const std::pair<RuntimePlaces, const char*> cases[] = {
      {{"/run/user/1000", "/c", "/h", "box", 1000}, "/run/user/1000/kavonet"},
      {{nullptr, "/c", "/h", "box", 1000}, "/c/kavonet-box"},
      {{"", "relative", "/h", "box", 1000}, "/h/.cache/kavonet-box"},
      {{"relative", nullptr, nullptr, "box", 7}, "/tmp/kavonet-7"},  // no home at all
  };
  for (const auto& [places, path] : cases) EXPECT_EQ(RuntimeDirectoryPath("kavonet", places), path);
}

TEST(RuntimeDirectory, IsCreatedPrivate) {
  Sandbox sandbox;
  const std::filesystem::path dir = sandbox.Root() / "cache" / "gw";  // a new home has no cache yet
  std::string error;
  ASSERT_TRUE(PrepareRuntimeDirectory(dir, error)) << error;
  struct stat status {};
  ASSERT_EQ(stat(dir.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  EXPECT_TRUE(PrepareRuntimeDirectory(dir, error)) << "an existing private directory is fine";
}

TEST(RuntimeDirectory, RefusesADirectoryOthersCanUse) {
  Sandbox sandbox;
  for (mode_t mode : {0755, 0770, 0701, 0707}) {
    const std::filesystem::path dir = sandbox.Root() / ("open" + std::to_string(mode));
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(chmod(dir.c_str(), mode), 0);
    std::string error;
    EXPECT_FALSE(PrepareRuntimeDirectory(dir, error)) << std::oct << mode;
    EXPECT_NE(error.find("open to other users"), std::string::npos) << error;
  }
}

TEST(RuntimeDirectory, RefusesASymbolicLinkAndAFile) {
  Sandbox sandbox;
  const std::filesystem::path target = sandbox.Root() / "target";
  std::string error;
  ASSERT_TRUE(PrepareRuntimeDirectory(target, error));
  std::filesystem::create_directory_symlink(target, sandbox.Root() / "link");
  EXPECT_FALSE(PrepareRuntimeDirectory(sandbox.Root() / "link", error));
  EXPECT_NE(error.find("not a directory"), std::string::npos) << error;
  std::ofstream(sandbox.Root() / "file") << "x";
  EXPECT_FALSE(CheckRuntimeDirectory(sandbox.Root() / "file", error));
  EXPECT_FALSE(CheckRuntimeDirectory(sandbox.Root() / "missing", error));
}

TEST(RuntimeDirectory, RefusesADirectoryOfAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a directory away";
  Sandbox sandbox;
  const std::filesystem::path dir = sandbox.Root() / "theirs";
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
  std::string error;
  EXPECT_FALSE(PrepareRuntimeDirectory(dir, error));
  EXPECT_NE(error.find("another user"), std::string::npos) << error;
}

}  // namespace
}  // namespace kavonet::clients
