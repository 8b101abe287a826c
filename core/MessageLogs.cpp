// Writing the two message logs. A log that cannot be written (full disk, size limit, a
// directory in its place) is reported once, not once per message, until a line goes in
// again.

#include "core/TSMS_Main.h"
#include "sms/MessageLog.h"

namespace kavonet {

bool TSMS_Main::WriteLogLine(const std::filesystem::path& log, const std::string& line) {
  if (sms::AppendLogLine(log, line)) {
    failingLogs_.erase(log.string());
    return true;
  }
  if (failingLogs_.insert(log.string()).second) ShowError("Unable to write to " + log.string());
  return false;
}

}  // namespace kavonet
