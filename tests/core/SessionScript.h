#pragma once
// Ready-made configurations and the terminal's side of an initialisation, for controller tests.

#include <string>

#include "ControllerHarness.h"

namespace kavonet::testing {

inline std::string PduIni(const std::string& extra = "") {
  return "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=PDU Mode\n" + extra;
}

inline std::string BlockIni(const std::string& extra = "") {
  return "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=Block Mode\n" + extra;
}

// Connects and answers every initialisation command with OK until the session is entered.
inline void EnterSession(ControllerHarness& h) {
  h.main->ConnectTerminal();
  for (int i = 0; i < 10 && !h.main->Connected(); ++i) h.Receive("\r\nOK\r\n");
}

}  // namespace kavonet::testing
