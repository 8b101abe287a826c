#pragma once
// Lines of the two message logs, transmit.txt and receive.txt, and the append that
// writes them. Lines are built in CP437 like all text inside the gateway; the files
// are UTF-8.

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "sms/ReceivedMessage.h"

namespace kavonet::sms {

// destination (without '+', padded to 16) SP date SP time SP text SP.
// `time` is the long time text; a 10-character one ("9:05:03 AM") gets a leading "0"
// so the column lines up. `text` is the message as sent: its first 160 characters,
// before translation to the GSM alphabet.
std::string TransmitLogLine(std::string_view destinationDigits, std::string_view date,
                            std::string_view time, std::string_view text);

// origin (padded to 15) SP DD-MM-YY SP hh:mm:ss SP text, from the service centre stamp.
std::string ReceiveLogLine(const ReceivedMessage& message);

// `t` in the process locale's short date (%x) and long time (%X), as CP437.
std::string LocaleShortDate(std::time_t t);
std::string LocaleLongTime(std::time_t t);

// Local time `t` through strftime `format` in the process locale, as CP437 (the locale
// is assumed to speak UTF-8 or ASCII).
std::string FormatLocalTime(std::time_t t, const char* format);

// Appends `cp437Line` and CR LF, converted to UTF-8, creating the file when missing.
// Opens and closes the file each time so the line is written when it returns.
// Returns false when the file cannot be created or written; never throws.
bool AppendLogLine(const std::filesystem::path& file, std::string_view cp437Line);

// The file's last line is `cp437Line` as AppendLogLine writes it; false when it cannot be read.
bool LogEndsWith(const std::filesystem::path& file, std::string_view cp437Line);

}  // namespace kavonet::sms
