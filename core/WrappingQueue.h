#pragma once
// A queue of reusable slots with wrapping indices: 100 slots, indices 0..99 that go from
// 99 back to 0. It never overwrites an entry that has not been taken out: when it would,
// it grows (doubling) and keeps every entry in order. The slot taken out last is kept
// intact too, since the answer handlers look at the command written last.

#include <utility>
#include <vector>

namespace kavonet {

template <typename Slot>
class WrappingQueue {
 public:
  static constexpr int kInitialCapacity = 100;

  WrappingQueue() : slots_(kInitialCapacity) {}

  int ReadIndex() const { return read_; }
  int WriteIndex() const { return write_; }
  int Capacity() const { return static_cast<int>(slots_.size()); }
  bool Empty() const { return read_ == write_; }
  int Count() const { return (write_ - read_ + Capacity()) % Capacity(); }

  // Both indices back to 0; waiting entries are dropped.
  void Reset() { read_ = write_ = 0; }

  // The slot the next entry goes into; call AdvanceWrite() once it is filled.
  Slot& WriteSlot() { return slots_[write_]; }
  void AdvanceWrite() {
    write_ = Next(write_);
    // The next write would land on the slot taken out last: grow first.
    if (write_ == Previous(read_)) Grow();
  }

  // The entry at the head; only valid when not Empty().
  Slot& ReadSlot() { return slots_[read_]; }
  void AdvanceRead() { read_ = Next(read_); }

  // Whether any entry not yet taken out satisfies `pred`.
  template <typename Pred>
  bool AnyWaiting(Pred pred) const {
    for (int i = read_; i != write_; i = Next(i)) {
      if (pred(slots_[i])) return true;
    }
    return false;
  }

  // The slot before ReadIndex: the one taken out last (slot 99 when ReadIndex is 0).
  int LastReadIndex() const { return Previous(read_); }
  Slot& At(int index) { return slots_[index]; }
  const Slot& At(int index) const { return slots_[index]; }

 private:
  int Next(int index) const { return index + 1 == Capacity() ? 0 : index + 1; }
  int Previous(int index) const { return index == 0 ? Capacity() - 1 : index - 1; }

  void Grow() {
    std::vector<Slot> grown(slots_.size() * 2);
    int to = 0;
    grown[to++] = std::move(slots_[Previous(read_)]);
    for (int from = read_; from != write_; from = Next(from)) grown[to++] = std::move(slots_[from]);
    slots_ = std::move(grown);
    read_ = 1;
    write_ = to;
  }

  std::vector<Slot> slots_;
  int read_ = 0;
  int write_ = 0;
};

}  // namespace kavonet
