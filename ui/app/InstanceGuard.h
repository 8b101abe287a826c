#pragma once
// The single-instance guard, per user: a shared block of 1028 bytes in the gateway's
// runtime directory (offset 0: the first instance's process id; offset 4: the command
// line of the latest second start, NUL-terminated), an exclusive lock on it that dies
// with its holder, so a crashed gateway never blocks the next start, and a notice
// datagram socket the first instance listens on.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kavonet::app {

class InstanceGuard {
 public:
  static constexpr std::size_t kBlockSize = 1028;
  static constexpr std::size_t kCommandLineOffset = 4;
  static constexpr std::size_t kMaxCommandLine = 1022;

  enum class Role { First, Second };

  // Opens (or creates) the guard in `directory`, which must be the prepared runtime
  // directory. nullptr with `error` set ("OneInstance failed to ..., Error #n").
  static std::unique_ptr<InstanceGuard> Acquire(const std::filesystem::path& directory,
                                                std::string& error);
  ~InstanceGuard();
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;

  Role GetRole() const { return role_; }
  // The first instance's process id, as it stored it.
  pid_t FirstInstance() const;

  // Second instance: stores `commandLine` (cut to 1022 bytes) and notifies the first.
  // A first instance that is not listening yet misses the notice; that is not an error.
  void HandOver(std::string_view commandLine);

  // First instance: readable when a notice has arrived.
  int NoticeDescriptor() const { return noticeFd_; }
  // First instance: takes every waiting notice; the command line in the block.
  std::string TakeNotice();

  // The command line of this process as one string, arguments with spaces quoted.
  static std::string JoinCommandLine(std::span<const std::string_view> argv);

 private:
  InstanceGuard() = default;
  bool BecomeFirst(std::string& error);

  Role role_ = Role::Second;
  std::filesystem::path noticePath_;
  int blockFd_ = -1;
  int noticeFd_ = -1;
  unsigned char* block_ = nullptr;
};

}  // namespace kavonet::app
