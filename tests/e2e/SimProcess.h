#pragma once
// kavonet-sim as a child process for end-to-end tests: its device linked into a private
// directory, its journal and its control socket beside it.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kavonet::testing {

class SimProcess {
 public:
  // `mode` is "pdu" or "block"; the program is $KAVONET_SIM or the one built with the tests.
  SimProcess(const std::filesystem::path& dir, const std::string& mode,
             const std::vector<std::string>& extraArguments = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::filesystem::path& Device() const { return link_; }
  // Sends one control command and returns its answer line ("OK ..." or "ERROR ...").
  std::string Control(const std::string& command);
  // The journal's lines: one JSON object per message the simulator was asked to send.
  std::vector<std::string> Journal() const;

 private:
  std::filesystem::path link_;
  std::filesystem::path journal_;
  std::filesystem::path control_;
  pid_t pid_ = -1;
};

}  // namespace kavonet::testing
