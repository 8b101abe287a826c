#pragma once
// The serial devices present, for the user to choose a port's device from: the stable
// names under /dev/serial/by-id first (a USB adapter keeps its name there however it is
// plugged in), then the kernel's names. Each says whether this user can open it, and if
// not, why and what to do about it.

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kavonet {

inline constexpr const char* kSerialByIdDirectory = "/dev/serial/by-id";

// A device as the platform's enumeration (udev) knows it.
struct SystemSerialPort {
  std::string location;  // "/dev/ttyUSB0"
  std::string maker;     // maker and model, "" when unknown
};

struct SerialDevice {
  std::string path;     // the name to map a port to: a by-id link, or the device itself
  std::string device;   // the device the path stands for
  std::string maker;    // maker and model, "" when unknown
  std::string problem;  // why it cannot be opened and the fix; "" when it can

  bool Usable() const { return problem.empty(); }
};

// The links in `byIdDirectory` (sorted by name), then each of `systemPorts` that no link
// already names, USB adapters (ttyUSB), modems (ttyACM) and built-in ports (ttyS) in that
// order and by number. Every device is tried with a non-blocking open, closed at once.
std::vector<SerialDevice> ListSerialDevices(const std::filesystem::path& byIdDirectory,
                                            std::span<const SystemSerialPort> systemPorts);

// Why opening failed with `error` (an errno value), with the fix a user can apply;
// `group` owns the device.
std::string OpenProblem(int error, const std::string& group);

// Tries to open `device` for reading and writing; "" when it can be, else OpenProblem.
std::string ProbeOpen(const std::filesystem::path& device);

// Maker and model from a by-id link's name ("usb-Maker_Model_SERIAL-if00-port0").
std::string MakerFromById(const std::string& linkName);

// One line for a list: path, maker, the device behind a link, and any problem.
std::string DescribeSerialDevice(const SerialDevice& device);

}  // namespace kavonet
