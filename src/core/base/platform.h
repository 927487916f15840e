#pragma once
// The operating-system calls of the core behind one small interface. Only
// platform_posix.cpp includes system headers; a port to another system
// supplies its own platform_<system>.cpp and changes nothing else in core/.
//
// Errors are std::error_code values of the generic category, so callers
// compare them with std::errc whatever the system.
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace mdv::platform {

enum class EntryKind {
  Missing,
  Regular,
  Directory,
  Link,    // a symbolic link (only when not followed)
  Device,  // a character or block device, or a pipe: cannot be replaced by renaming
};

struct EntryInfo {
  EntryKind Kind = EntryKind::Missing;
  uint32_t Permissions = 0;  // permission bits, as the system keeps them
  uint64_t Size = 0;         // bytes; meaningful for regular files only
};

// What is at path, not following a final link. A missing entry is no error:
// Kind is Missing and the result is empty.
std::error_code Inspect(const std::string& path, EntryInfo& info);

// path with every link resolved; fails for a dangling link.
std::error_code ResolveLinks(const std::string& path, std::string& resolved);

// An open file. Close() reports the result of closing; the destructor closes
// silently what is still open.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::error_code OpenForReading(const std::string& path);
  // An existing file, written from its start without truncating (devices, pipes).
  std::error_code OpenForWriting(const std::string& path);
  // Opens path for reading and writing, creating it when missing.
  std::error_code OpenOrCreate(const std::string& path);
  // A new file with a unique hidden name in the folder of target; its path is
  // stored in tempPath.
  std::error_code CreateBeside(const std::string& target, std::string& tempPath);

  std::error_code Info(EntryInfo& info) const;
  std::error_code SetPermissions(uint32_t permissions);
  // Writes all bytes, retrying short and interrupted writes.
  std::error_code WriteAll(const uint8_t* data, size_t size);
  // Reads up to capacity bytes; got is 0 at the end of the file.
  std::error_code Read(uint8_t* buffer, size_t capacity, size_t& got);
  // Moves to a byte offset from the start (regular files only).
  std::error_code Seek(uint64_t offset);
  // Takes the exclusive advisory lock of the open file without waiting;
  // false when another open file (of any process) holds it. The lock ends
  // when the file is closed or the process ends in any way.
  bool TryLockExclusive();
  // Forces the written data to the storage device.
  std::error_code Sync();
  std::error_code Close();
  bool IsOpen() const { return handle_ >= 0; }

 private:
  intptr_t handle_ = -1;
};

// Replaces `to` by `from` in one step: a reader sees the old or the new file.
std::error_code ReplaceFile(const std::string& from, const std::string& to);
// Best effort; used to clean up after a failure.
void RemoveFile(const std::string& path);
// Makes a completed ReplaceFile(…, path) survive a power loss; best effort.
void SyncFolderOf(const std::string& path);
// The permissions a newly created file of this process gets.
uint32_t NewFilePermissions();
// True for a "disk quota exceeded" error, which std::errc does not name.
bool IsQuotaExceeded(const std::error_code& error);

// Parses a number written with a decimal point, independent of the locale the
// process runs in (a GUI toolkit may have switched it to the user's), rounded
// correctly to long double. end as std::strtold.
long double ParseDecimalPoint(const char* text, char** end);

}  // namespace mdv::platform
