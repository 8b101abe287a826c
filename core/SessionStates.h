#pragma once
// The three pieces of state that decide what the gateway does next: the link to the
// terminal, the send cycle and the listing. Each has one owner in the controller and a
// transition table; a move the table does not hold is refused and counted, never made.
// The window's controls (connect button, stage icons, hourglass) are drawn from these
// values; nothing reads a control to decide.

#include <algorithm>
#include <array>
#include <cstddef>

namespace kavonet {

template <typename State>
struct Transition {
  State from;
  State to;
};

template <typename State, std::size_t N>
class StateMachine {
 public:
  constexpr StateMachine(State initial, const std::array<Transition<State>, N>& table)
      : state_(initial), table_(table) {}

  State Current() const { return state_; }
  bool Is(State state) const { return state_ == state; }

  bool Allows(State to) const {
    return std::any_of(table_.begin(), table_.end(),
                       [&](const Transition<State>& t) { return t.from == state_ && t.to == to; });
  }

  // Moves along an edge of the table. A move that is not in it is a fault of the caller:
  // it is refused (the state stays) and counted, so tests can insist there are none.
  bool MoveTo(State to) {
    if (!Allows(to)) {
      ++refused_;
      return false;
    }
    state_ = to;
    return true;
  }

  int Refused() const { return refused_; }

 private:
  State state_;
  std::array<Transition<State>, N> table_;
  int refused_ = 0;
};

// The link to the terminal. Owner: the connection code (Connection.cpp).
enum class LinkState { Idle, Escaping, Initialising, Stalled, Session };
//   Idle, Escaping, Initialising, Stalled --connect, port opened--> Initialising
//   Idle, Escaping, Initialising, Stalled --connect after silence-> Escaping (ESC written;
//                                                          answers to it are let go by)
//   Escaping     --settle time over-----------------------------> Initialising
//   Initialising --last command acknowledged--------------------> Session
//   Initialising --no answer after the last retry---------------> Stalled
//   Stalled      --a late OK (list goes on / last command)------> Initialising / Session
//   any          --disconnect, ERROR limit, End SMS Mode, DSR,
//                  write refused, port cannot be opened---------> Idle
namespace link_table {
using enum LinkState;
inline constexpr std::array<Transition<LinkState>, 19> kTable{{
    {Idle, Initialising},         {Idle, Escaping},
    {Escaping, Initialising},     {Escaping, Escaping},
    {Initialising, Initialising}, {Initialising, Escaping},
    {Stalled, Initialising},      {Stalled, Escaping},
    {Initialising, Session},      {Initialising, Stalled},
    {Stalled, Session},           {Idle, Idle},
    {Escaping, Idle},             {Initialising, Idle},
    {Stalled, Idle},              {Session, Idle},
    {Stalled, Stalled},           {Session, Session},
    {Escaping, Stalled},
}};
}  // namespace link_table
inline constexpr auto kLinkTransitions = link_table::kTable;

// The send cycle of the head message of tx_queue, or of one part of it. Owner: the send
// queue (TxQueue.cpp), which also owns the count of parts sent.
enum class SendState { Idle, Queued, Submitted, AwaitingConfirmation };
//   Idle       --tick: session entered, nothing outstanding, row waiting--> Queued (stage 2)
//   Queued     --"+CMGS=" line / Insert SMS frame written----------------> Submitted
//   Submitted  --"> " prompt, PDU text written (PDU Mode)----------------> AwaitingConfirmation
//   Submitted  --Request Confirmed type 4 (Block Mode)-------------------> AwaitingConfirmation
//   Submitted  --Insert SMS Complete (Block Mode)------------------------> Idle (row logged, removed)
//   AwaitingConfirmation --"+CMGS:" / Insert SMS Complete----------------> Idle (row logged, removed)
//   Submitted, AwaitingConfirmation --confirmed, a part of several but
//              not the last------------------------------------------------> Idle (row kept, one more
//                                                                         part done; next tick sends
//                                                                         the next part)
//   Submitted, AwaitingConfirmation --refused----------------------------> Idle (row kept; moved
//                                                                         back after 3 refusals)
//   any        --connection reset, head row unsendable-------------------> Idle (row kept / dropped)
namespace send_table {
using enum SendState;
inline constexpr std::array<Transition<SendState>, 9> kTable{{
    {Idle, Queued},
    {Queued, Submitted},
    {Submitted, AwaitingConfirmation},
    {Submitted, Idle},
    {AwaitingConfirmation, Idle},
    {Queued, Idle},
    {Idle, Idle},
    {AwaitingConfirmation, AwaitingConfirmation},
    {Submitted, Submitted},
}};
}  // namespace send_table
inline constexpr auto kSendTransitions = send_table::kTable;

// A Copy All listing. Owner: the store commands (StoreCommands.cpp).
enum class ListingState { Idle, Listing };
//   Idle    --"+CMGL=4" / Get First Message written---------------------> Listing
//   Listing --final OK or error, Get Message Failure, any other answer
//             to a listing request than a message, connection reset----> Idle
namespace listing_table {
using enum ListingState;
inline constexpr std::array<Transition<ListingState>, 4> kTable{{
    {Idle, Listing},
    {Listing, Idle},
    {Listing, Listing},
    {Idle, Idle},
}};
}  // namespace listing_table
inline constexpr auto kListingTransitions = listing_table::kTable;

}  // namespace kavonet
