#pragma once
// `kavonet-ctl queue`: the queue file's rows as a person reads them.

#include <string>

#include "store/QueueFileSnapshot.h"

namespace kavonet::ctl {

// UTF-8 text, one line per row under a heading per queue.
std::string QueueListing(const QueueSnapshot& snapshot);

}  // namespace kavonet::ctl
