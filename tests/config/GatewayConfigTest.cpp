#include "config/GatewayConfig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/IniFile.h"
#include "tests/support/TempDir.h"

namespace kavonet {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

const char kDefaultFile[] =
    "[Configuration]\n"
    "Port=2\n"
    "Speed=9600\n"
    "Init String=ZE0&S0\n"
    "Interface=Block Mode\n"
    "Enter Block Mode Command=*T\n"
    "Wait OK=1\n"
    "PIN Code=\n"
    "Service Centre Address=\n"
    "SCA in TPDU=0\n"
    "Mem1=\n"
    "Mem2=\n"
    "Mem3=\n"
    "\n"
    "[Startup]\n"
    "Auto Connect=0\n"
    "\n"
    "[Receive Message]\n"
    "Startup Transfer=0\n"
    "Log Receive=1\n"
    "Log Transmit=1\n";

TEST(GatewayConfig, NewFileHoldsEveryKeyAtItsDefault) {
  TempDir dir;
  const fs::path path = dir / kConfigFileName;
  EXPECT_EQ(ReadGatewayConfig(path), GatewayConfig{});
  WriteDefaultConfiguration(path);
  EXPECT_EQ(ReadText(path), kDefaultFile);

  const GatewayConfig config = ReadGatewayConfig(path);
  EXPECT_EQ(config, GatewayConfig{});
  EXPECT_EQ(config.BlockModeCommand, "*T\r");
}

TEST(GatewayConfig, ExistingFileIsNeverChanged) {
  TempDir dir;
  const fs::path path = dir / kConfigFileName;
  WriteText(path, "[Configuration]\nPort=3\n");
  WriteDefaultConfiguration(path);
  EXPECT_EQ(ReadText(path), "[Configuration]\nPort=3\n");

  // A key removed by hand stays missing and reads as its default.
  const GatewayConfig config = ReadGatewayConfig(path);
  EXPECT_EQ(config.Port, 3);
  EXPECT_EQ(config.Speed, 9600);
  EXPECT_TRUE(config.LogTransmit);
}

TEST(GatewayConfig, ReadsEveryKeyAsWrittenWithoutValidating) {
  TempDir dir;
  const fs::path path = dir / kConfigFileName;
  WriteText(path,
            "[receive message]\r\n"
            "log transmit=0\r\n"
            "Log Receive=0\r\n"
            "Startup Transfer=7\r\n"
            "[CONFIGURATION]\r\n"
            "Port=0x10\r\n"
            "Speed=300\r\n"
            "Init String=ATZ\r\n"
            "Interface=Text Mode\r\n"
            "Enter Block Mode Command=AT+CESP\r\n"
            "Wait OK=yes\r\n"
            "PIN Code=1234\r\n"
            "Service Centre Address=+447785016005\r\n"
            "SCA in TPDU=1\r\n"
            "Mem1=SM\r\n"
            "Mem2=ME\r\n"
            "Mem3=MT\r\n"
            "Long Messages=1\r\n"
            "[Startup]\r\n"
            "Auto Connect=1\r\n");
  GatewayConfig expected;
  expected.Port = 16;
  expected.Speed = 300;
  expected.InitString = "ATZ";
  expected.AutoConnect = true;
  expected.Interface = "Text Mode";
  expected.BlockModeCommand = "AT+CESP\r";
  expected.WaitOK = true;  // "yes" is no number: the default
  expected.PINCode = "1234";
  expected.ServiceCentreAddress = "+447785016005";
  expected.SCAInTPDU = true;
  expected.Mem1 = "SM";
  expected.Mem2 = "ME";
  expected.Mem3 = "MT";
  expected.StartupTransfer = 7;
  expected.LogReceive = false;
  expected.LogTransmit = false;
  expected.LongMessages = true;
  EXPECT_EQ(ReadGatewayConfig(path), expected);
}

TEST(GatewayConfig, DefaultWriterFailsCleanlyOnADirectory) {
  TempDir dir;
  const fs::path path = dir / kConfigFileName;
  fs::create_directory(path);
  try {
    WriteDefaultConfiguration(path);
    FAIL() << "no error";
  } catch (const ConfigWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + path.string());
  }
  EXPECT_TRUE(fs::is_empty(path));
  EXPECT_EQ(ReadGatewayConfig(path), GatewayConfig{});
}

TEST(GatewayConfig, DefaultWriterWritesNothingWhenItFails) {
  TempDir dir;
  const fs::path path = dir / std::string(253, 'o');  // no room for a temporary name
  EXPECT_THROW(WriteDefaultConfiguration(path), ConfigWriteError);
  EXPECT_FALSE(fs::exists(path));
}

struct PortCase {
  const char* portName;
  const char* device;
};

TEST(ResolveDeviceName, PortsSectionThenSerialPortsThenTheNameItself) {
  TempDir dir;
  const fs::path path = dir / kConfigFileName;
  WriteText(path,
            "[Configuration]\nPort=2\n"
            "[ports]\n"
            "com2 = /dev/ttyUSB0\n"
            "COM7=/dev/ttyACM1\n"
            "COM3=\n");
  const PortCase cases[] = {
      {"COM2", "/dev/ttyUSB0"}, {"Com2", "/dev/ttyUSB0"}, {"COM7", "/dev/ttyACM1"},
      {"COM1", "/dev/ttyS0"},   {"com4", "/dev/ttyS3"},   {"COM3", "/dev/ttyS2"},
      {"COM5", "COM5"},         {"COM0", "COM0"},         {"/dev/pts/3", "/dev/pts/3"},
      {"COM", "COM"},           {"COM10", "COM10"},       {"", ""},
  };
  for (const PortCase& c : cases) {
    EXPECT_EQ(ResolveDeviceName(path, c.portName), c.device) << c.portName;
  }
  EXPECT_EQ(ResolveDeviceName(dir / "absent.ini", "COM2"), "/dev/ttyS1");
}

}  // namespace
}  // namespace kavonet
