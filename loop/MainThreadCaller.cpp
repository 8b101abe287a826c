#include "loop/MainThreadCaller.h"

#include <utility>

namespace kavonet {

MainThreadCaller::MainThreadCaller(EventLoop& loop)
    : loop_(loop), shared_(std::make_shared<Shared>()) {}

MainThreadCaller::~MainThreadCaller() { Abandon(); }

bool MainThreadCaller::Call(std::function<void()> work) {
  std::unique_lock lock(shared_->mutex);
  if (shared_->abandoned) return false;
  const unsigned long long ticket = ++shared_->posted;
  lock.unlock();

  loop_.Post([shared = shared_, ticket, work = std::move(work)] {
    {
      std::lock_guard guard(shared->mutex);
      if (shared->abandoned) return;
      shared->started = ticket;
    }
    // Runs outside the lock: `work` may itself call Abandon() (a handler closing the port).
    work();
    std::lock_guard guard(shared->mutex);
    shared->finished = ticket;
    shared->done.notify_all();
  });

  lock.lock();
  // Abandoning releases the worker at once, even while its call runs: the call itself may
  // be closing the port and joining this very thread.
  shared_->done.wait(lock, [&] { return shared_->abandoned || shared_->finished >= ticket; });
  return shared_->started >= ticket;
}

void MainThreadCaller::Abandon() {
  std::lock_guard guard(shared_->mutex);
  shared_->abandoned = true;
  shared_->done.notify_all();
}

}  // namespace kavonet
