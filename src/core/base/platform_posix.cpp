// The core's operating-system calls on POSIX systems (Linux).
#include <fcntl.h>
#include <sys/file.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <cstdlib>
#include <fstream>

#include "core/base/platform.h"

namespace mdv::platform {
namespace {

std::error_code Errno(int err) { return {err, std::generic_category()}; }
std::error_code LastError() { return Errno(errno); }

EntryInfo InfoOf(const struct stat& st) {
  EntryInfo info;
  if (S_ISDIR(st.st_mode)) {
    info.Kind = EntryKind::Directory;
  } else if (S_ISLNK(st.st_mode)) {
    info.Kind = EntryKind::Link;
  } else if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISBLK(st.st_mode)) {
    info.Kind = EntryKind::Device;
  } else {
    info.Kind = EntryKind::Regular;
  }
  info.Permissions = static_cast<uint32_t>(st.st_mode & 07777);
  info.Size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  return info;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int Fd(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

std::error_code Inspect(const std::string& path, EntryInfo& info) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    const int err = errno;
    info = EntryInfo{};
    return err == ENOENT ? std::error_code{} : Errno(err);
  }
  info = InfoOf(st);
  return {};
}

std::error_code ResolveLinks(const std::string& path, std::string& resolved) {
  char* r = ::realpath(path.c_str(), nullptr);
  if (r == nullptr) return LastError();
  resolved = r;
  std::free(r);
  return {};
}

File::~File() {
  if (IsOpen()) ::close(Fd(handle_));
}

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) ::close(Fd(handle_));
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

std::error_code File::OpenForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LastError();
  *this = File();
  handle_ = fd;
  return {};
}

std::error_code File::OpenForWriting(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return LastError();
  *this = File();
  handle_ = fd;
  return {};
}

std::error_code File::OpenOrCreate(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return LastError();
  *this = File();
  handle_ = fd;
  return {};
}

std::error_code File::CreateBeside(const std::string& target, std::string& tempPath) {
  std::string name = FolderOf(target) + "/." + target.substr(target.find_last_of('/') + 1) + ".XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return LastError();
  *this = File();
  handle_ = fd;
  tempPath = std::move(name);
  return {};
}

std::error_code File::Info(EntryInfo& info) const {
  struct stat st {};
  if (::fstat(Fd(handle_), &st) != 0) return LastError();
  info = InfoOf(st);
  return {};
}

std::error_code File::SetPermissions(uint32_t permissions) {
  if (::fchmod(Fd(handle_), static_cast<mode_t>(permissions)) != 0) return LastError();
  return {};
}

std::error_code File::WriteAll(const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(Fd(handle_), data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return Errno(EIO);
    done += static_cast<size_t>(n);
  }
  return {};
}

std::error_code File::Read(uint8_t* buffer, size_t capacity, size_t& got) {
  for (;;) {
    const ssize_t n = ::read(Fd(handle_), buffer, capacity);
    if (n >= 0) {
      got = static_cast<size_t>(n);
      return {};
    }
    if (errno != EINTR) return LastError();
  }
}

std::error_code File::Seek(uint64_t offset) {
  if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return std::make_error_code(std::errc::value_too_large);
  if (::lseek(Fd(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) return LastError();
  return {};
}

bool File::TryLockExclusive() { return IsOpen() && ::flock(Fd(handle_), LOCK_EX | LOCK_NB) == 0; }

std::error_code File::Sync() {
  if (::fsync(Fd(handle_)) != 0) return LastError();
  return {};
}

std::error_code File::Close() {
  if (!IsOpen()) return {};
  const int fd = Fd(handle_);
  handle_ = -1;
  if (::close(fd) != 0) return LastError();
  return {};
}

std::error_code ReplaceFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return LastError();
  return {};
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

void SyncFolderOf(const std::string& path) {
  const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

uint32_t NewFilePermissions() {
  // The creation mask is read without changing it (umask() would, and other
  // threads may create files meanwhile).
  mode_t mask = 022;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
      break;
    }
  }
  return static_cast<uint32_t>(0666 & ~mask);
}

bool IsQuotaExceeded(const std::error_code& error) {
  return error.category() == std::generic_category() && error.value() == EDQUOT;
}

long double ParseDecimalPoint(const char* text, char** end) {
  static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return ::strtold_l(text, end, cLocale);
}

}  // namespace mdv::platform
