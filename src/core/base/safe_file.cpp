#include "core/base/safe_file.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <system_error>

#include "core/base/platform.h"

namespace mdv {
namespace {

std::string Reason(const std::error_code& err) { return SystemReason(err); }

std::string SaveError(const std::string& path, const std::string& reason) {
  return "Не удалось сохранить файл \"" + path + "\": " + reason;
}

std::string ReadError(const std::string& path, const std::string& reason) {
  return "Не удалось прочитать файл \"" + path + "\": " + reason;
}

// A device or a pipe cannot be replaced by renaming: write into it directly.
bool WriteSpecialFile(const std::string& path, const Bytes& data, std::string& error) {
  platform::File file;
  std::error_code err = file.OpenForWriting(path);
  if (!err) err = file.WriteAll(data.data(), data.size());
  if (!err) {
    // Devices and pipes that cannot be synchronised have nothing to lose.
    const std::error_code sync = file.Sync();
    if (sync != std::errc::invalid_argument && sync != std::errc::read_only_file_system) err = sync;
  }
  const std::error_code closed = file.Close();
  if (!err) err = closed;
  if (err) error = SaveError(path, Reason(err));
  return !err;
}

// Follows a chain of links to the name it ends at (which does not exist).
// False for a loop or a chain longer than the system would follow.
bool DanglingEnd(std::string& path) {
  constexpr int MaxLinks = 40;  // as the system's own limit on following links
  for (int i = 0; i < MaxLinks; ++i) {
    platform::EntryInfo info;
    if (platform::Inspect(path, info) || info.Kind != platform::EntryKind::Link) return true;
    std::string next;
    if (platform::ReadLink(path, next) || next.empty()) return false;
    if (next.front() != '/') {
      const size_t slash = path.find_last_of('/');
      if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    }
    path = next;
  }
  return false;
}

// Opens a file for reading and learns what it is (its kind and size).
bool OpenToRead(const std::string& path, platform::File& file, platform::EntryInfo& info, std::string& error) {
  if (const std::error_code err = file.OpenForReading(path)) {
    error = ReadError(path, Reason(err));
    return false;
  }
  if (const std::error_code err = file.Info(info)) {
    error = ReadError(path, Reason(err));
    return false;
  }
  return true;
}

}  // namespace

std::string SystemReason(const std::error_code& err) {
  using std::errc;
  if (err == errc::no_space_on_device) return "нет места на диске";
  if (platform::IsQuotaExceeded(err)) return "превышена дисковая квота";
  if (err == errc::permission_denied || err == errc::operation_not_permitted) return "нет прав доступа";
  if (err == errc::read_only_file_system) return "файловая система доступна только для чтения";
  if (err == errc::no_such_file_or_directory) return "папка или файл не существует";
  if (err == errc::not_a_directory) return "часть пути не является папкой";
  if (err == errc::is_a_directory) return "на месте файла находится папка";
  if (err == errc::filename_too_long) return "слишком длинное имя файла";
  if (err == errc::io_error) return "ошибка ввода-вывода";
  if (err == errc::file_too_large) return "файл слишком велик";
  if (err == errc::file_exists) return "файл уже существует";
  if (err == errc::directory_not_empty) return "папка не пуста";
  if (err == errc::too_many_symbolic_link_levels) return "слишком много ссылок подряд (петля ссылок)";
  if (err == errc::cross_device_link) return "файл на другой файловой системе";
  if (err == errc::too_many_files_open || err == errc::too_many_files_open_in_system) return "открыто слишком много файлов";
  if (err == errc::not_enough_memory) return "недостаточно памяти";
  if (err == errc::resource_unavailable_try_again) return "ресурс временно недоступен";
  if (err == errc::text_file_busy) return "файл занят";
  if (err == errc::no_such_device_or_address || err == errc::no_such_device) return "устройство недоступно";
  // The system's own text is English: the user gets the code instead.
  return "ошибка системы (код " + std::to_string(err.value()) + ")";
}

namespace {

enum class SaveTarget { Refused, Special, File };

// Where a save of `path` goes: a link is followed to the file it reaches (the
// link stays), a dangling link to the name it ends at; a device or a pipe
// cannot be renamed over and is written directly (Special). `info` gets what
// is at the target now (Missing for a file yet to be made).
SaveTarget ResolveSaveTarget(const std::string& path, std::string& target, platform::EntryInfo& info,
                             std::string& error) {
  error.clear();
  if (path.empty()) {
    error = "Не указано имя файла для сохранения";
    return SaveTarget::Refused;
  }
  target = path;
  if (const std::error_code err = platform::Inspect(target, info)) {
    error = SaveError(path, Reason(err));
    return SaveTarget::Refused;
  }
  if (info.Kind == platform::EntryKind::Link) {
    // Replace the file the link points to, never the link itself.
    platform::EntryInfo reached;
    if (const std::error_code err = platform::InspectTarget(target, reached)) {
      error = SaveError(path, Reason(err));
      return SaveTarget::Refused;
    }
    if (reached.Kind == platform::EntryKind::Device) {
      // /dev/stdout into a pipe: its link names no file to rename over.
      info = reached;
      return SaveTarget::Special;
    }
    if (reached.Kind != platform::EntryKind::Missing) {
      std::string resolved;
      if (const std::error_code err = platform::ResolveLinks(target, resolved)) {
        error = SaveError(path, Reason(err));
        return SaveTarget::Refused;
      }
      target = resolved;
      info = reached;
    } else if (!DanglingEnd(target)) {
      error = SaveError(path, "ссылка никуда не ведёт");
      return SaveTarget::Refused;
    } else {
      info = platform::EntryInfo{};  // a dangling link gets its file made where it points
    }
  }
  if (info.Kind == platform::EntryKind::Directory) {
    error = SaveError(path, Reason(std::make_error_code(std::errc::is_a_directory)));
    return SaveTarget::Refused;
  }
  return info.Kind == platform::EntryKind::Device ? SaveTarget::Special : SaveTarget::File;
}

// A temporary file beside `target` with the permissions of the file it will
// replace, else those a newly created file would get.
std::error_code CreateTemporary(const std::string& target, const platform::EntryInfo& info, platform::File& file,
                                std::string& temp) {
  if (const std::error_code err = file.CreateBeside(target, temp)) return err;
  const bool exists = info.Kind != platform::EntryKind::Missing;
  return file.SetPermissions(exists ? info.Permissions : platform::NewFilePermissions());
}

// Completes a temporary file and renames it over the target; on failure the
// temporary file is gone and the target untouched.
bool PutInPlace(platform::File& file, const std::string& temp, const std::string& target, const std::string& path,
                std::error_code err, std::string& error) {
  if (!err) err = file.Sync();
  const std::error_code closed = file.Close();
  if (!err) err = closed;
  if (!err) err = platform::ReplaceFile(temp, target);
  if (err) {
    platform::RemoveFile(temp);
    error = SaveError(path, Reason(err));
    return false;
  }
  // Make the rename itself durable; a failure here loses nothing already written.
  platform::SyncFolderOf(target);
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const Bytes& data, std::string& error) {
  std::string target;
  platform::EntryInfo info;
  const SaveTarget kind = ResolveSaveTarget(path, target, info, error);
  if (kind == SaveTarget::Refused) return false;
  if (kind == SaveTarget::Special) return WriteSpecialFile(target, data, error);

  platform::File file;
  std::string temp;
  std::error_code err = CreateTemporary(target, info, file, temp);
  if (err && temp.empty()) {
    error = SaveError(path, Reason(err));
    return false;
  }
  if (!err) err = file.WriteAll(data.data(), data.size());
  return PutInPlace(file, temp, target, path, err, error);
}

// ---- StagedFile ----

StagedFile::~StagedFile() { Abandon(); }

bool StagedFile::Begin(const std::string& path, std::string& error) {
  Abandon();
  path_ = path;
  const SaveTarget kind = ResolveSaveTarget(path, target_, info_, error);
  if (kind == SaveTarget::Refused) return false;
  if (kind == SaveTarget::Special) return BeginBuffer(Mode::Special, error);
  if (const std::error_code err = CreateTemporary(target_, info_, file_, temp_)) {
    if (!temp_.empty()) {
      file_.Close();
      platform::RemoveFile(temp_);
      temp_.clear();
    }
    error = SaveError(path, Reason(err));
    return false;
  }
  mode_ = Mode::File;
  return true;
}

bool StagedFile::BeginStandardOutput(std::string& error) {
  Abandon();
  path_ = "стандартный вывод";
  return BeginBuffer(Mode::StandardOutput, error);
}

bool StagedFile::BeginBuffer(Mode mode, std::string& error) {
  // An unnamed temporary file: gone with the process whatever happens.
  buffer_ = std::tmpfile();
  if (buffer_ == nullptr) {
    error = SaveError(path_, "не удалось создать временный файл");
    return false;
  }
  mode_ = mode;
  return true;
}

bool StagedFile::Write(const char* data, std::size_t size, std::string& error) {
  if (mode_ == Mode::None) {
    error = SaveError(path_, "файл не начат");
    return false;
  }
  if (mode_ == Mode::File) {
    if (const std::error_code err = file_.WriteAll(reinterpret_cast<const uint8_t*>(data), size)) {
      error = SaveError(path_, Reason(err));
      Abandon();
      return false;
    }
    return true;
  }
  if (std::fwrite(data, 1, size, buffer_) != size) {
    error = SaveError(path_, "не удалось записать временный файл");
    Abandon();
    return false;
  }
  return true;
}

bool StagedFile::Commit(std::string& error) {
  const Mode mode = mode_;
  mode_ = Mode::None;
  if (mode == Mode::None) {
    error = SaveError(path_, "файл не начат");
    return false;
  }
  if (mode == Mode::File) {
    const std::string temp = std::exchange(temp_, std::string());
    return PutInPlace(file_, temp, target_, path_, {}, error);
  }
  // Copied from the buffer in order, as it was written.
  std::FILE* in = std::exchange(buffer_, nullptr);
  bool ok = std::fflush(in) == 0 && std::fseek(in, 0, SEEK_SET) == 0;
  platform::File out;
  std::error_code err;
  if (ok && mode == Mode::Special) err = out.OpenForWriting(target_);
  char chunk[65536];
  while (ok && !err) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, in);
    if (n == 0) {
      ok = std::ferror(in) == 0;
      break;
    }
    if (mode == Mode::Special) {
      err = out.WriteAll(reinterpret_cast<const uint8_t*>(chunk), n);
    } else if (std::fwrite(chunk, 1, n, stdout) != n) {
      ok = false;
    }
  }
  std::fclose(in);
  if (mode == Mode::Special) {
    const std::error_code closed = out.Close();
    if (!err) err = closed;
  } else if (ok) {
    ok = std::fflush(stdout) == 0;
  }
  if (err) error = SaveError(path_, Reason(err));
  else if (!ok) error = SaveError(path_, "запись не удалась");
  return ok && !err;
}

void StagedFile::Abandon() {
  if (mode_ == Mode::File) {
    file_.Close();
    platform::RemoveFile(temp_);
  }
  if (buffer_ != nullptr) std::fclose(buffer_);
  buffer_ = nullptr;
  temp_.clear();
  mode_ = Mode::None;
}

std::string ReadFailureText(const std::string& path, const std::error_code& err) {
  return ReadError(path, Reason(err));
}

bool ReadWholeFile(const std::string& path, Bytes& data, std::string& error, size_t maxBytes) {
  error.clear();
  platform::File file;
  platform::EntryInfo info;
  if (!OpenToRead(path, file, info, error)) return false;
  if (info.Kind == platform::EntryKind::Directory) {
    error = ReadError(path, "это папка, а не файл");
    return false;
  }
  const std::string tooBig = "файл больше " + std::to_string(maxBytes) + " байт";
  const bool regular = info.Kind == platform::EntryKind::Regular;
  if (regular && info.Size > maxBytes) {
    error = ReadError(path, tooBig);
    return false;
  }
  Bytes out;
  if (regular) out.reserve(static_cast<size_t>(info.Size));
  uint8_t chunk[65536];
  for (;;) {
    size_t n = 0;
    if (const std::error_code err = file.Read(chunk, sizeof chunk, n)) {
      error = ReadError(path, Reason(err));
      return false;
    }
    if (n == 0) break;
    // Files that grow while being read, and pipes, are capped as well.
    if (out.size() + n > maxBytes) {
      error = ReadError(path, tooBig);
      return false;
    }
    out.insert(out.end(), chunk, chunk + n);
  }
  data = std::move(out);
  return true;
}

namespace {

// Reads until `want` bytes are in `out` or the input ends.
std::error_code ReadUpTo(platform::File& file, Bytes& out, size_t want) {
  uint8_t chunk[65536];
  while (out.size() < want) {
    size_t n = 0;
    if (const std::error_code err = file.Read(chunk, std::min(sizeof chunk, want - out.size()), n)) return err;
    if (n == 0) break;
    out.insert(out.end(), chunk, chunk + n);
  }
  return {};
}

}  // namespace

bool ReadFileOfStatedLength(const std::string& path, size_t headBytes, StatedLength length, Bytes& data,
                            std::string& error, size_t maxBytes) {
  error.clear();
  platform::File file;
  platform::EntryInfo info;
  if (!OpenToRead(path, file, info, error)) return false;
  if (info.Kind != platform::EntryKind::Device) {
    file = platform::File{};
    return ReadWholeFile(path, data, error, maxBytes);
  }
  Bytes out;
  if (const std::error_code err = ReadUpTo(file, out, headBytes)) {
    error = ReadError(path, Reason(err));
    return false;
  }
  if (out.size() == headBytes) {
    std::string why;
    const uint64_t stated = length(out.data(), out.size(), why);
    if (stated == 0) {
      error = ReadError(path, why);
      return false;
    }
    if (stated > maxBytes) {
      error = ReadError(path, "по заголовку длина " + std::to_string(stated) + " байт, больше " +
                                  std::to_string(maxBytes) + " байт");
      return false;
    }
    // The stated length and one byte more: a longer input is no such file.
    const size_t want = static_cast<size_t>(std::max<uint64_t>(stated, headBytes));
    if (const std::error_code err = ReadUpTo(file, out, want + 1)) {
      error = ReadError(path, Reason(err));
      return false;
    }
    if (out.size() > want) {
      error = ReadError(path, "данных больше " + std::to_string(want) + " байт, указанных заголовком");
      return false;
    }
  }
  data = std::move(out);
  return true;
}

}  // namespace mdv
