#include "config/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>

namespace kavonet {
namespace {

namespace fs = std::filesystem;

struct FileText {
  enum class State { kMissing, kRead, kUnreadable };
  State state = State::kMissing;
  std::string text;
  struct stat status {};  // mode, owner and links, when read
};

// A file descriptor closed on every path out of the function that opened it.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closes now, so that a failing close (data not written after all) can be reported.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool ReadAll(int fd, std::string& text) {
  char buffer[4096];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count == 0) return true;
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

// O_NONBLOCK keeps a FIFO at the path from blocking the caller.
FileText ReadFileText(const fs::path& path) {
  FileText result;
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    result.state = missing ? FileText::State::kMissing : FileText::State::kUnreadable;
    return result;
  }
  struct stat status {};
  if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
      !ReadAll(fd.Get(), result.text)) {
    result.state = FileText::State::kUnreadable;
    result.text.clear();
    return result;
  }
  result.state = FileText::State::kRead;
  result.status = status;
  return result;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// The file that a write replaces: the target of a symbolic link rather than the link.
fs::path WriteTarget(const fs::path& path) {
  std::error_code error;
  if (!fs::is_symlink(path, error)) return path;
  fs::path target = fs::weakly_canonical(path, error);
  return error ? path : target;
}

// Makes the rename itself durable; the data is already in place if this fails.
void SyncDirectory(const fs::path& file) {
  const fs::path directory = file.has_parent_path() ? file.parent_path() : fs::path(".");
  FileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.Valid()) ::fsync(fd.Get());
}

// A new file beside `target` for its replacement, under a name no one can foresee; O_EXCL
// refuses whatever is already there, a symbolic link included. -1 when the directory
// takes no new file.
int CreateTempFile(const fs::path& target, fs::path& temp) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static thread_local std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix = ".tmp-";
    for (int i = 0; i < 8; ++i) suffix += kLetters[random() % (sizeof kLetters - 1)];
    temp = target;
    temp += suffix;
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Gives the replacement the file's owner and group. Only root may give a file away, so
// for anyone else this holds only when they are theirs already.
bool TakeOwner(int fd, const struct stat& status) {
  if (status.st_uid == ::geteuid() && status.st_gid == ::getegid()) return true;
  return ::fchown(fd, status.st_uid, status.st_gid) == 0;
}

enum class Stored { kDone, kFailed, kNotThisWay };

// Writes a new file and renames it over the old one, so that a crash leaves one or the
// other whole. kNotThisWay when the new file cannot be created or could not keep the old
// one's owner, before anything has changed.
Stored ReplaceFile(const fs::path& target, std::string_view text, const FileText& current) {
  fs::path temp;
  FileDescriptor fd(CreateTempFile(target, temp));
  if (!fd.Valid()) return Stored::kNotThisWay;
  const bool existing = current.state == FileText::State::kRead;
  if (existing && !TakeOwner(fd.Get(), current.status)) {
    ::unlink(temp.c_str());
    return Stored::kNotThisWay;
  }
  // After the chown, which clears the set-id bits; a new file stays 0600 (it may hold a
  // PIN code).
  const bool written = WriteAll(fd.Get(), text) &&
                       (!existing || ::fchmod(fd.Get(), current.status.st_mode & 07777) == 0) &&
                       ::fsync(fd.Get()) == 0;
  const bool closed = fd.Close();
  if (!written || !closed || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return Stored::kFailed;
  }
  SyncDirectory(target);
  return Stored::kDone;
}

// Writes the new text into the file itself, which keeps its inode and so its other names,
// owner and mode. Not atomic: when the write fails half way, the old text is put back.
bool RewriteInPlace(const fs::path& target, std::string_view text, const FileText& current) {
  FileDescriptor fd(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status {};
  if (!fd.Valid() || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  const auto put = [&fd](std::string_view content) {
    return ::lseek(fd.Get(), 0, SEEK_SET) == 0 && WriteAll(fd.Get(), content) &&
           ::ftruncate(fd.Get(), static_cast<off_t>(content.size())) == 0;
  };
  if (!put(text) || ::fsync(fd.Get()) != 0) {
    if (put(current.text)) ::fsync(fd.Get());
    return false;
  }
  return fd.Close();
}

// The current text of the file a write is about to replace. A file that cannot be read
// would lose its other keys if it were rewritten, and a read-only file stays unchanged
// even though replacing it would only need the directory to be writable.
FileText LoadForWrite(const fs::path& target, const fs::path& shownPath) {
  FileText current = ReadFileText(target);
  if (current.state == FileText::State::kUnreadable ||
      (current.state == FileText::State::kRead && ::access(target.c_str(), W_OK) != 0)) {
    throw ConfigWriteError(shownPath);
  }
  return current;
}

// A replacement would leave a file's other hard links with the old text, so such a file
// is written in place, as is one whose directory the user may not write or whose owner a
// new file could not keep.
void Store(const fs::path& target, const FileText& current, const IniDocument& document,
           const fs::path& shownPath) {
  const std::string text = document.Text();
  const bool existing = current.state == FileText::State::kRead;
  Stored stored = existing && current.status.st_nlink > 1 ? Stored::kNotThisWay
                                                           : ReplaceFile(target, text, current);
  if (stored == Stored::kNotThisWay && existing) {
    stored = RewriteInPlace(target, text, current) ? Stored::kDone : Stored::kFailed;
  }
  if (stored != Stored::kDone) throw ConfigWriteError(shownPath);
}

std::optional<std::string> Lookup(const fs::path& path, const std::string& section,
                                  const std::string& key) {
  const FileText file = ReadFileText(path);
  if (file.state != FileText::State::kRead) return std::nullopt;
  return IniDocument(file.text).Find(section, key);
}

}  // namespace

bool IniFile::Exists() const {
  std::error_code error;
  return fs::is_regular_file(path_, error);
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  return Lookup(path_, section, key).value_or(defaultValue);
}

std::int32_t IniFile::ReadInteger(const std::string& section, const std::string& key,
                                  std::int32_t defaultValue) const {
  const auto value = Lookup(path_, section, key);
  if (!value) return defaultValue;
  return ParseIniInteger(*value).value_or(defaultValue);
}

bool IniFile::ReadBool(const std::string& section, const std::string& key,
                       bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  const fs::path target = WriteTarget(path_);
  const FileText current = LoadForWrite(target, path_);
  IniDocument document(current.text);
  if (!document.Set(section, key, value)) throw ConfigWriteError(path_);
  Store(target, current, document, path_);
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::Replace(const IniDocument& document) {
  const fs::path target = WriteTarget(path_);
  Store(target, LoadForWrite(target, path_), document, path_);
}

}  // namespace kavonet
