#include "ui/app/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace kavonet::app {
namespace {

constexpr const char* kBlockName = "instance";
constexpr const char* kNoticeName = "instance.notice";

std::string Failure(const char* what) {
  return std::string(what) + ", Error #" + std::to_string(errno);
}

bool NoticeAddress(const std::filesystem::path& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (text.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

std::unique_ptr<InstanceGuard> InstanceGuard::Acquire(const std::filesystem::path& directory,
                                                      std::string& error) {
  std::unique_ptr<InstanceGuard> guard(new InstanceGuard());
  guard->noticePath_ = directory / kNoticeName;
  const std::filesystem::path blockPath = directory / kBlockName;
  guard->blockFd_ = open(blockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  struct stat status {};
  if (guard->blockFd_ < 0 || fstat(guard->blockFd_, &status) != 0 ||
      (static_cast<std::size_t>(status.st_size) < kBlockSize &&
       ftruncate(guard->blockFd_, static_cast<off_t>(kBlockSize)) != 0)) {
    error = Failure("OneInstance failed to create file mapping");
    return nullptr;
  }
  void* view = mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, guard->blockFd_, 0);
  if (view == MAP_FAILED) {
    error = Failure("OneInstance failed to map file view");
    return nullptr;
  }
  guard->block_ = static_cast<unsigned char*>(view);
  if (flock(guard->blockFd_, LOCK_EX | LOCK_NB) == 0) {
    if (!guard->BecomeFirst(error)) return nullptr;
  } else if (errno != EWOULDBLOCK) {
    error = Failure("OneInstance failed to create file mapping");
    return nullptr;
  }
  return guard;
}

bool InstanceGuard::BecomeFirst(std::string& error) {
  role_ = Role::First;
  sockaddr_un address{};
  if (!NoticeAddress(noticePath_, address)) {
    errno = ENAMETOOLONG;
    error = Failure("OneInstance failed to create window");
    return false;
  }
  // Holding the lock, this process owns the directory's guard files: a notice socket
  // still there was left by an instance that died.
  unlink(noticePath_.c_str());
  noticeFd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (noticeFd_ < 0 || bind(noticeFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = Failure("OneInstance failed to create window");
    return false;
  }
  const auto pid = static_cast<std::int32_t>(getpid());
  std::memcpy(block_, &pid, sizeof pid);
  std::memset(block_ + kCommandLineOffset, 0, kBlockSize - kCommandLineOffset);
  return true;
}

InstanceGuard::~InstanceGuard() {
  if (noticeFd_ >= 0) {
    close(noticeFd_);
    unlink(noticePath_.c_str());
  }
  if (block_ != nullptr) munmap(block_, kBlockSize);
  if (blockFd_ >= 0) close(blockFd_);  // releases the lock
}

pid_t InstanceGuard::FirstInstance() const {
  std::int32_t pid = 0;
  std::memcpy(&pid, block_, sizeof pid);
  return static_cast<pid_t>(pid);
}

void InstanceGuard::HandOver(std::string_view commandLine) {
  commandLine = commandLine.substr(0, kMaxCommandLine);
  std::memcpy(block_ + kCommandLineOffset, commandLine.data(), commandLine.size());
  block_[kCommandLineOffset + commandLine.size()] = 0;

  sockaddr_un address{};
  if (!NoticeAddress(noticePath_, address)) return;
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const char notice = 1;
  sendto(fd, &notice, 1, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
         sizeof address);
  close(fd);
}

std::string InstanceGuard::TakeNotice() {
  std::array<char, 16> buffer{};
  while (recv(noticeFd_, buffer.data(), buffer.size(), MSG_DONTWAIT) >= 0) {
  }
  const auto* text = reinterpret_cast<const char*>(block_ + kCommandLineOffset);
  return std::string(text, strnlen(text, kBlockSize - kCommandLineOffset));
}

std::string InstanceGuard::JoinCommandLine(std::span<const std::string_view> argv) {
  std::string line;
  for (std::string_view argument : argv) {
    if (!line.empty()) line += ' ';
    const bool quote = argument.empty() || argument.find_first_of(" \t\"") != std::string_view::npos;
    if (!quote) {
      line += argument;
      continue;
    }
    line += '"';
    for (char c : argument) {
      if (c == '"') line += '\\';
      line += c;
    }
    line += '"';
  }
  return line;
}

}  // namespace kavonet::app
