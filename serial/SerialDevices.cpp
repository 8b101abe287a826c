#include "serial/SerialDevices.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <tuple>

namespace kavonet {
namespace {

// The group that owns `device`; serial devices belong to "dialout" on most systems.
std::string OwningGroup(const std::filesystem::path& device) {
  struct stat status {};
  if (stat(device.c_str(), &status) != 0) return "dialout";
  group entry{};
  group* found = nullptr;
  std::array<char, 4096> buffer{};
  if (getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return "dialout";
  }
  return entry.gr_name;
}

// Kernel names in the order a user looks for them: USB adapters, USB modems, built-in
// ports, anything else; by number within each.
std::tuple<int, long, std::string> KernelOrder(const std::string& location) {
  static constexpr std::array<std::string_view, 3> kPrefixes{"ttyUSB", "ttyACM", "ttyS"};
  const std::string name = std::filesystem::path(location).filename().string();
  for (std::size_t rank = 0; rank < kPrefixes.size(); ++rank) {
    const std::string_view prefix = kPrefixes[rank];
    if (name.rfind(prefix, 0) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos) {
      return {static_cast<int>(rank), std::stol(digits.substr(0, 9)), name};
    }
  }
  return {static_cast<int>(kPrefixes.size()), 0, name};
}

std::string MakerOf(const std::string& device, std::span<const SystemSerialPort> systemPorts) {
  for (const SystemSerialPort& port : systemPorts) {
    if (port.location == device) return port.maker;
  }
  return {};
}

// The device a by-id link stands for, also when it points nowhere.
std::string LinkTarget(const std::filesystem::path& link) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::canonical(link, ec);
  if (!ec) return target.string();
  const std::filesystem::path stored = std::filesystem::read_symlink(link, ec);
  if (ec) return link.string();
  return (link.parent_path() / stored).lexically_normal().string();
}

std::vector<SerialDevice> LinkedDevices(const std::filesystem::path& byIdDirectory,
                                        std::span<const SystemSerialPort> systemPorts) {
  std::vector<std::filesystem::path> links;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(byIdDirectory, ec), end; !ec && it != end; it.increment(ec)) {
    links.push_back(it->path());
  }
  std::sort(links.begin(), links.end());
  std::vector<SerialDevice> devices;
  for (const std::filesystem::path& link : links) {
    SerialDevice device{link.string(), LinkTarget(link), {}, ProbeOpen(link)};
    device.maker = MakerOf(device.device, systemPorts);
    if (device.maker.empty()) device.maker = MakerFromById(link.filename().string());
    devices.push_back(std::move(device));
  }
  return devices;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const std::filesystem::path& byIdDirectory,
                                            std::span<const SystemSerialPort> systemPorts) {
  std::vector<SerialDevice> devices = LinkedDevices(byIdDirectory, systemPorts);
  std::vector<SystemSerialPort> others;
  for (const SystemSerialPort& port : systemPorts) {
    const bool linked = std::any_of(devices.begin(), devices.end(),
                                    [&](const SerialDevice& d) { return d.device == port.location; });
    if (!linked) others.push_back(port);
  }
  std::sort(others.begin(), others.end(), [](const SystemSerialPort& a, const SystemSerialPort& b) {
    return KernelOrder(a.location) < KernelOrder(b.location);
  });
  for (const SystemSerialPort& port : others) {
    devices.push_back({port.location, port.location, port.maker, ProbeOpen(port.location)});
  }
  return devices;
}

std::string OpenProblem(int error, const std::string& group) {
  switch (error) {
    case EACCES:
    case EPERM:
      return "permission denied: only members of the group '" + group +
             "' may use it. Fix: sudo usermod -aG " + group + " $USER, then log out and back in";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "not present (unplugged, or the link points nowhere)";
    case EBUSY:
      return "in use by another program";
    default:
      return std::string("cannot be opened: ") + std::strerror(error);
  }
}

std::string ProbeOpen(const std::filesystem::path& device) {
  // Non-blocking: a port waiting for carrier must not hold the caller up.
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
    return {};
  }
  const int error = errno;
  return OpenProblem(error, OwningGroup(device));
}

std::string MakerFromById(const std::string& linkName) {
  std::string name = linkName;
  for (std::string_view bus : {"usb-", "pci-", "platform-"}) {
    if (name.rfind(bus, 0) == 0) {
      name.erase(0, bus.size());
      break;
    }
  }
  const std::size_t interface = name.rfind("-if");
  if (interface != std::string::npos && interface > 0) name.resize(interface);
  std::replace(name.begin(), name.end(), '_', ' ');
  return name;
}

std::string DescribeSerialDevice(const SerialDevice& device) {
  std::string line = device.path;
  if (device.device != device.path) line += " -> " + device.device;
  if (!device.maker.empty()) line += " (" + device.maker + ")";
  if (!device.Usable()) line += ": " + device.problem;
  return line;
}

}  // namespace kavonet
