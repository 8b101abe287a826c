#pragma once
// Lines of the two message logs, transmit.txt and receive.txt, and the append that
// writes them. Lines and files are UTF-8.

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sms/ReceivedMessage.h"

namespace kavonet::sms {

// destination (without '+', padded to 16) SP date SP time SP text SP.
// `time` is the long time text; a 10-character one ("9:05:03 AM") gets a leading "0"
// so the column lines up. `text` is the message as sent: as much of it as one message
// carries (SingleMessageText), or, sent in `parts` parts, "[n parts] " and all of it.
std::string TransmitLogLine(std::string_view destinationDigits, std::string_view date,
                            std::string_view time, std::string_view text, std::size_t parts = 1);

// origin (padded to 15) SP DD-MM-YY SP hh:mm:ss SP text, from the service centre stamp.
std::string ReceiveLogLine(const ReceivedMessage& message);
// The same from the receive queue's cells.
std::string ReceiveLogLine(std::string_view origin, std::string_view date, std::string_view time,
                           std::string_view text);

// `t` in the process locale's short date (%x) and long time (%X).
std::string LocaleShortDate(std::time_t t);
std::string LocaleLongTime(std::time_t t);

// Local time `t` through strftime `format` in the process locale (assumed to speak
// UTF-8 or ASCII; anything else is replaced, never passed on malformed).
std::string FormatLocalTime(std::time_t t, const char* format);

// Appends `line` and CR LF, creating the file when missing. Malformed UTF-8 in the
// line is written as U+FFFD, and control characters as escapes (\r, \n, \x1B, \u0085),
// so that a record is always one line.
// Opens and closes the file each time so the line is written when it returns. A symbolic
// link at `file` is refused. The line is written whole or not at all: after a short write
// the file is cut back to where it ended.
// Returns false when the file cannot be created or written; never throws.
bool AppendLogLine(const std::filesystem::path& file, std::string_view line);

// How many of `lines`, from the first on, the file ends with as AppendLogLine writes
// them; 0 when it cannot be read.
std::size_t LinesLoggedAtEnd(const std::filesystem::path& file, const std::vector<std::string>& lines);

}  // namespace kavonet::sms
