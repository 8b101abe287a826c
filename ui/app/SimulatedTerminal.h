#pragma once
// `kavonet --simulate`: a kavonet-sim on a private pseudo-terminal, linked into a private
// temporary directory together with its control socket and journal, and stopped when the
// gateway ends (or dies: the simulator is told to end with its parent).

#include <QProcess>
#include <filesystem>
#include <string>

#include "ui/app/AppOptions.h"

namespace kavonet::app {

class SimulatedTerminal {
 public:
  SimulatedTerminal() = default;
  ~SimulatedTerminal();
  SimulatedTerminal(const SimulatedTerminal&) = delete;
  SimulatedTerminal& operator=(const SimulatedTerminal&) = delete;

  // kavonet-sim next to the program in `programDirectory`, else on PATH; empty if neither.
  static std::string FindSimulator(const std::string& programDirectory);

  // Starts `simulator` and waits until its device exists; false with `error`.
  bool Start(const std::string& simulator, std::string& error);
  void Stop();

  const std::filesystem::path& Directory() const { return directory_; }
  // The device the gateway opens (a symbolic link to the pseudo-terminal).
  std::filesystem::path Device() const { return directory_ / "modem"; }
  // Control commands ("deliver +4412345 hello"), see kavonet-sim's README.
  std::filesystem::path ControlSocket() const { return directory_ / "control"; }
  // Every message the gateway sent, one JSON line each.
  std::filesystem::path Journal() const { return directory_ / "journal"; }

  // The interface type a mode stands for in the gateway's configuration.
  static const char* InterfaceType(SimulatedMode mode);

 private:
  QProcess process_;
  std::filesystem::path directory_;
};

}  // namespace kavonet::app
