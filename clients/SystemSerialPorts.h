#pragma once
// The serial ports the platform knows of (through udev), with the maker and model it
// gives, for the device list of the settings dialog and of kavonet-ctl.

#include <vector>

#include "serial/SerialDevices.h"

namespace kavonet::clients {

// USB adapters, USB modems and built-in ports (ttyUSB*, ttyACM*, ttyS*); built-in ports
// only where one answers.
std::vector<SystemSerialPort> SystemSerialPorts();

// ListSerialDevices over /dev/serial/by-id and SystemSerialPorts().
std::vector<SerialDevice> SerialDevicesPresent();

}  // namespace kavonet::clients
