// The device list over pseudo-terminals exposed under a by-id directory of the test's own.

#include "serial/SerialDevices.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>


namespace kavonet {
namespace {

class DeviceList : public ::testing::Test {
 protected:
  DeviceList() {
    chmod(byId.c_str(), 0755);
    openpty(&master, &slave, nullptr, nullptr, nullptr);
    std::filesystem::create_symlink(modem = ttyname(slave), byId / "usb-Acme_GSM_Modem_0042-if00-port0");
  }
  ~DeviceList() override {
    for (int fd : {master, slave, locked}) close(fd);
    std::filesystem::remove_all(byId);
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "kavonet-byid-XXXXXX").string();
  std::filesystem::path byId = mkdtemp(pattern.data());
  int master = -1, slave = -1, locked = posix_openpt(O_RDWR | O_NOCTTY);
  std::string modem;
};

TEST_F(DeviceList, StableNamesFirstThenKernelNamesEachWithWhyItCannotBeUsed) {
  // A terminal whose other side was never unlocked: no one, root included, can open it.
  ASSERT_EQ(grantpt(locked), 0);
  std::filesystem::create_symlink(ptsname(locked), byId / "usb-Acme_Locked-if01");
  std::filesystem::create_symlink("/nonexistent/ttyUSB9", byId / "usb-Gone_Modem-if00");
  const SystemSerialPort system[] = {
      {"/nonexistent/ttyS3", ""}, {modem, "Udev Maker Model"}, {"/nonexistent/ttyUSB12", "X"}, {"/nonexistent/ttyUSB2", ""}};
  const std::string link = byId.string() + "/";
  const SerialDevice expected[] = {
      {link + "usb-Acme_GSM_Modem_0042-if00-port0", modem, "Udev Maker Model", ""},
      {link + "usb-Acme_Locked-if01", ptsname(locked), "Acme Locked", "cannot be opened: Input/output error"},
      {link + "usb-Gone_Modem-if00", "/nonexistent/ttyUSB9", "Gone Modem", "not present"},
      {"/nonexistent/ttyUSB2", "/nonexistent/ttyUSB2", "", "not present"},
      {"/nonexistent/ttyUSB12", "/nonexistent/ttyUSB12", "X", "not present"},
      {"/nonexistent/ttyS3", "/nonexistent/ttyS3", "", "not present"}};
  std::vector<SerialDevice> devices = ListSerialDevices(byId, system);
  ASSERT_EQ(devices.size(), std::size(expected));
  for (std::size_t i = 0; i < devices.size(); ++i) {
    devices[i].problem.resize(std::min(devices[i].problem.size(), expected[i].problem.size()));
    EXPECT_EQ(DescribeSerialDevice(devices[i]), DescribeSerialDevice(expected[i]));
  }
}

}  // namespace
}  // namespace kavonet
