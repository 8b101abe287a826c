#include "clients/SystemSerialPorts.h"

#include <QSerialPortInfo>

namespace kavonet::clients {
namespace {

bool IsSerialName(const QString& name) {
  return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM")) ||
         name.startsWith(QLatin1String("ttyS"));
}

// "Maker Model" from udev's vendor and model, without saying the maker twice.
std::string MakerAndModel(const QSerialPortInfo& info) {
  const QString maker = info.manufacturer().trimmed();
  const QString model = info.description().trimmed();
  if (model.isEmpty() || model.startsWith(maker)) return (model.isEmpty() ? maker : model).toStdString();
  if (maker.isEmpty()) return model.toStdString();
  return (maker + QLatin1Char(' ') + model).toStdString();
}

}  // namespace

std::vector<SystemSerialPort> SystemSerialPorts() {
  std::vector<SystemSerialPort> ports;
  // Qt lists a built-in port only when its driver reports a UART behind it.
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    if (!IsSerialName(info.portName())) continue;
    ports.push_back({info.systemLocation().toStdString(), MakerAndModel(info)});
  }
  return ports;
}

std::vector<SerialDevice> SerialDevicesPresent() {
  return ListSerialDevices(kSerialByIdDirectory, SystemSerialPorts());
}

}  // namespace kavonet::clients
