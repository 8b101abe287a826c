// The device list over real pseudo-terminals exposed under a by-id directory of the test's own.

#include "serial/SerialDevices.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kavonet {
namespace {

class DeviceList : public ::testing::Test {
 protected:
  DeviceList() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kavonet-byid-XXXXXX").string();
    byId = mkdtemp(pattern.data());
    EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    modem = ttyname(slave);
    // A terminal whose other side was never unlocked: no one, root included, can open it.
    locked = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_EQ(grantpt(locked), 0);
  }
  ~DeviceList() override {
    for (int fd : {master, slave, locked}) close(fd);
    std::filesystem::remove_all(byId);
  }
  void Link(const std::string& name, const std::string& target) {
    std::filesystem::create_symlink(target, byId / name);
  }

  std::filesystem::path byId;
  int master = -1, slave = -1, locked = -1;
  std::string modem;
};

TEST_F(DeviceList, StableNamesFirstThenKernelNamesEachWithWhyItCannotBeUsed) {
  Link("usb-Acme_GSM_Modem_0042-if00-port0", modem);
  Link("usb-Acme_Locked-if01", ptsname(locked));
  Link("usb-Gone_Modem-if00", "/nonexistent/ttyUSB9");
  const SystemSerialPort system[] = {{"/nonexistent/ttyS3", ""},     {modem, "Udev Maker Model"},
                                     {"/nonexistent/ttyUSB12", "X"}, {"/nonexistent/ttyACM0", ""},
                                     {"/nonexistent/ttyUSB2", ""}};
  struct Row {
    std::string path, device, maker, problemStart;
  };
  const std::string link = byId.string() + "/";
  const Row expected[] = {
      {link + "usb-Acme_GSM_Modem_0042-if00-port0", modem, "Udev Maker Model", ""},
      {link + "usb-Acme_Locked-if01", ptsname(locked), "Acme Locked", "cannot be opened"},
      {link + "usb-Gone_Modem-if00", "/nonexistent/ttyUSB9", "Gone Modem", "not present"},
      {"/nonexistent/ttyUSB2", "/nonexistent/ttyUSB2", "", "not present"},
      {"/nonexistent/ttyUSB12", "/nonexistent/ttyUSB12", "X", "not present"},
      {"/nonexistent/ttyACM0", "/nonexistent/ttyACM0", "", "not present"},
      {"/nonexistent/ttyS3", "/nonexistent/ttyS3", "", "not present"}};
  const std::vector<SerialDevice> devices = ListSerialDevices(byId, system);
  ASSERT_EQ(devices.size(), std::size(expected));
  for (std::size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(devices[i].path, expected[i].path) << i;
    EXPECT_EQ(devices[i].device, expected[i].device) << i;
    EXPECT_EQ(devices[i].maker, expected[i].maker) << i;
    EXPECT_EQ(devices[i].problem.substr(0, expected[i].problemStart.size()), expected[i].problemStart) << i;
    EXPECT_EQ(devices[i].Usable(), expected[i].problemStart.empty()) << i;
  }
}

// Root opens whatever the permissions say: the check runs as an ordinary user then.
TEST_F(DeviceList, ADeviceThisUserMayNotOpenNamesItsGroupAndTheFix) {
  Link("usb-Acme_GSM_Modem_0042-if00-port0", modem);
  ASSERT_EQ(chmod(modem.c_str(), geteuid() == 0 ? 0600 : 0), 0);
  std::filesystem::permissions(byId, std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  int result[2];
  ASSERT_EQ(pipe(result), 0);
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    const std::vector<SerialDevice> devices = ListSerialDevices(byId, {});
    if (devices.size() != 1) _exit(4);
    _exit(write(result[1], devices[0].problem.data(), devices[0].problem.size()) < 0 ? 3 : 0);
  }
  close(result[1]);
  char buffer[512] = {};
  const ssize_t got = read(result[0], buffer, sizeof buffer - 1);
  close(result[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string problem(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
  EXPECT_EQ(problem.rfind("permission denied: only members of the group '", 0), 0u) << problem;
  EXPECT_NE(problem.find("Fix: sudo usermod -aG "), std::string::npos) << problem;
}

}  // namespace
}  // namespace kavonet
