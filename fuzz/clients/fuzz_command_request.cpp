// A command channel request as it arrives, in reads of any size: its first line is the
// bytes before the first CR, LF or NUL within the limit, a request over the limit without
// a line end is refused, and the destinations taken from it are never cut inside a number.
// Input: octet 0 = limit (0: the real 64 KiB), octet 1 = read size, the rest = bytes sent.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "clients/CommandRequest.h"
#include "core/TSMS.h"
#include "sms/Utf8.h"
#include "fuzz/FuzzCheck.h"

namespace {

using kavonet::fuzzing::Check;

void CheckDestinations(const std::string& line) {
  const std::string destinations = line.substr(0, line.find(';'));
  const std::string cut = kavonet::CutDestinations(destinations, kavonet::TSMS::kMaxArgumentLength);
  Check(destinations.compare(0, cut.size(), cut) == 0);
  Check(cut.find('\0') == std::string::npos);
  const std::string_view allowed = kavonet::sms::Utf8Prefix(
      std::string_view(destinations).substr(0, destinations.find('\0')), kavonet::TSMS::kMaxArgumentLength);
  Check(cut.size() <= allowed.size());
  // Shorter than the cut allows only by whole destinations: it ends before a comma.
  if (cut.size() < allowed.size()) Check(cut.empty() || destinations[cut.size()] == ',');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t limit = data[0] == 0 ? kavonet::clients::CommandRequest::kDefaultLimit : data[0];
  const std::size_t readSize = 1 + data[1];
  const std::string_view sent(reinterpret_cast<const char*>(data + 2), size - 2);

  kavonet::clients::CommandRequest request(limit);
  for (std::size_t at = 0; at < sent.size(); at += readSize) request.Append(sent.substr(at, readSize));

  const std::string_view taken = sent.substr(0, limit);
  const std::size_t end = taken.find_first_of(std::string_view("\r\n\0", 3));
  Check(request.Received() == taken.size());
  Check(request.FirstLine() == taken.substr(0, end));
  Check(request.Full() == (taken.size() == limit));
  Check(request.Overlong() == (request.Full() && end == std::string_view::npos));
  Check(request.Complete() == (request.Full() || taken.find('\n') != std::string_view::npos));
  if (!request.Overlong()) CheckDestinations(kavonet::sms::ValidUtf8(request.FirstLine()));
  return 0;
}
