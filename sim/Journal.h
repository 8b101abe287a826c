#pragma once
// The record of every message the terminal was asked to send: one JSON object per
// line, {"destination":"...","text":"...","pdu":"HEX"}, written through at once so
// a test can read it while the simulator runs. A part of a concatenated message adds
// "reference", "part" and "parts".

#include <cstdio>
#include <memory>
#include <string>

#include "sim/TerminalCore.h"

namespace kavonet::sim {

// The JSON object of one message, without the line end.
std::string JournalLine(const SentMessage& message);

class Journal {
 public:
  // Appends to `path`; Good() tells whether it could be opened.
  explicit Journal(const std::string& path);

  bool Good() const { return file_ != nullptr; }
  void Append(const SentMessage& message);

 private:
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace kavonet::sim
