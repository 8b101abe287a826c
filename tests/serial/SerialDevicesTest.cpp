// The device list over pseudo-terminals exposed under a by-id directory of the test's own.

#include "serial/SerialDevices.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace kavonet {
namespace {

TEST(DeviceList, StableNamesFirstThenKernelNamesEachWithWhyItCannotBeUsed) {
  testing::TempDir byId;
  chmod(byId.Path().c_str(), 0755);
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string modem = ttyname(slave);
  std::filesystem::create_symlink(modem, byId / "usb-Acme_GSM_Modem_0042-if00-port0");
  // A terminal whose other side was never unlocked: no one, root included, can open it.
  const int locked = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_EQ(grantpt(locked), 0);
  std::filesystem::create_symlink(ptsname(locked), byId / "usb-Acme_Locked-if01");
  std::filesystem::create_symlink("/nonexistent/ttyUSB9", byId / "usb-Gone_Modem-if00");
  const SystemSerialPort system[] = {
      {"/nonexistent/ttyS3", ""}, {modem, "Udev Maker Model"}, {"/nonexistent/ttyUSB12", "X"}, {"/nonexistent/ttyUSB2", ""}};
  const std::string link = byId.Path().string() + "/";
  const SerialDevice expected[] = {
      {link + "usb-Acme_GSM_Modem_0042-if00-port0", modem, "Udev Maker Model", ""},
      {link + "usb-Acme_Locked-if01", ptsname(locked), "Acme Locked", "cannot be opened: Input/output error"},
      {link + "usb-Gone_Modem-if00", "/nonexistent/ttyUSB9", "Gone Modem", "not present"},
      {"/nonexistent/ttyUSB2", "/nonexistent/ttyUSB2", "", "not present"},
      {"/nonexistent/ttyUSB12", "/nonexistent/ttyUSB12", "X", "not present"},
      {"/nonexistent/ttyS3", "/nonexistent/ttyS3", "", "not present"}};
  std::vector<SerialDevice> devices = ListSerialDevices(byId.Path(), system);
  for (int fd : {master, slave, locked}) close(fd);
  ASSERT_EQ(devices.size(), std::size(expected));
  for (std::size_t i = 0; i < devices.size(); ++i) {
    devices[i].problem.resize(std::min(devices[i].problem.size(), expected[i].problem.size()));
    EXPECT_EQ(DescribeSerialDevice(devices[i]), DescribeSerialDevice(expected[i]));
  }
}

}  // namespace
}  // namespace kavonet
