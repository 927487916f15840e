#include "core/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace mdv {
namespace {

// The reason of a failed system call in the user's language; unusual codes
// fall back to the system's own text.
std::string Reason(int err) {
  switch (err) {
    case ENOSPC: return "нет места на диске";
    case EDQUOT: return "превышена дисковая квота";
    case EACCES:
    case EPERM: return "нет прав доступа";
    case EROFS: return "файловая система доступна только для чтения";
    case ENOENT: return "папка или файл не существует";
    case ENOTDIR: return "часть пути не является папкой";
    case EISDIR: return "на месте файла находится папка";
    case ENAMETOOLONG: return "слишком длинное имя файла";
    case EIO: return "ошибка ввода-вывода";
    case EFBIG: return "файл слишком велик";
    default: return std::strerror(err);
  }
}

std::string SaveError(const std::string& path, const std::string& reason) {
  return "Не удалось сохранить файл \"" + path + "\": " + reason;
}

std::string ReadError(const std::string& path, const std::string& reason) {
  return "Не удалось прочитать файл \"" + path + "\": " + reason;
}

// Writes all of data to fd, retrying short writes and interrupted calls.
bool WriteAll(int fd, const Bytes& data, int& err) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (n == 0) {
      err = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file creation mask of the process, read without changing it (umask()
// would, and other threads may create files meanwhile).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 022;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A device or a pipe cannot be replaced by renaming: write into it directly.
bool WriteSpecialFile(const std::string& path, const Bytes& data, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    error = SaveError(path, Reason(errno));
    return false;
  }
  int err = 0;
  bool ok = WriteAll(fd, data, err);
  if (ok && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
    err = errno;
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (!ok) error = SaveError(path, Reason(err));
  return ok;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const Bytes& data, std::string& error) {
  error.clear();
  if (path.empty()) {
    error = "Не указано имя файла для сохранения";
    return false;
  }
  std::string target = path;
  struct stat st {};
  bool exists = ::lstat(target.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    // Replace the file the link points to, not the link itself.
    if (char* resolved = ::realpath(target.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
      exists = ::lstat(target.c_str(), &st) == 0;
    } else {
      exists = false;  // a dangling link is replaced by the new file
    }
  } else if (!exists && errno != ENOENT) {
    error = SaveError(path, Reason(errno));
    return false;
  }
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      error = SaveError(path, Reason(EISDIR));
      return false;
    }
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISBLK(st.st_mode)) {
      return WriteSpecialFile(target, data, error);
    }
  }

  std::string temp = FolderOf(target) + "/." + target.substr(target.find_last_of('/') + 1) + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = SaveError(path, Reason(errno));
    return false;
  }
  // Keep the permissions of the file being replaced, else those a newly
  // created file would get.
  const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
  int err = 0;
  bool ok = ::fchmod(fd, mode) == 0 || (err = errno, false);
  ok = ok && WriteAll(fd, data, err);
  if (ok && ::fsync(fd) != 0) {
    err = errno;
    ok = false;
  }
  if (::close(fd) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    error = SaveError(path, Reason(err));
    return false;
  }
  // Make the rename itself durable; a failure here loses nothing already written.
  const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool ReadWholeFile(const std::string& path, Bytes& data, std::string& error, size_t maxBytes) {
  error.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = ReadError(path, Reason(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = ReadError(path, Reason(errno));
    ::close(fd);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    error = ReadError(path, "это папка, а не файл");
    ::close(fd);
    return false;
  }
  const std::string tooBig = "файл больше " + std::to_string(maxBytes) + " байт";
  if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > maxBytes) {
    error = ReadError(path, tooBig);
    ::close(fd);
    return false;
  }
  Bytes out;
  if (S_ISREG(st.st_mode)) out.reserve(static_cast<size_t>(st.st_size));
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = ReadError(path, Reason(errno));
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    // Files that grow while being read, and pipes, are capped as well.
    if (out.size() + static_cast<size_t>(n) > maxBytes) {
      error = ReadError(path, tooBig);
      ::close(fd);
      return false;
    }
    out.insert(out.end(), chunk, chunk + n);
  }
  ::close(fd);
  data = std::move(out);
  return true;
}

}  // namespace mdv
