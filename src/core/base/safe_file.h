#pragma once
// Files are written whole to a temporary file beside the target and renamed
// over it only when complete, so a failed save never destroys the old file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>

#include "core/base/bytes.h"
#include "core/base/platform.h"

namespace mdv {

// The reason of a failed system call in the user's language (Russian; an
// unusual code is given by its number, never in the system's English).
std::string SystemReason(const std::error_code& err);

// On failure returns false and a message naming the file and the reason.
bool WriteFileAtomically(const std::string& path, const Bytes& data, std::string& error);
// A file written in pieces (a table of millions of lines) and put in place
// only by Commit, with memory of one piece: a regular file (or a link's
// target) is written to a temporary file beside it and renamed over it; a
// device or a pipe, and the standard output, get the pieces from an unnamed
// temporary file at Commit, in order. Abandon (or destruction before
// Commit) leaves nothing: no file, no output.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool Begin(const std::string& path, std::string& error);
  bool BeginStandardOutput(std::string& error);
  // A failed write abandons the file.
  bool Write(const char* data, std::size_t size, std::string& error);
  bool Commit(std::string& error);
  void Abandon();

 private:
  enum class Mode { None, File, Special, StandardOutput };
  bool BeginBuffer(Mode mode, std::string& error);

  Mode mode_ = Mode::None;
  std::string path_, target_, temp_;
  platform::EntryInfo info_;
  platform::File file_;
  std::FILE* buffer_ = nullptr;
};

// "Не удалось прочитать файл "path": reason", the reason in the user's language.
std::string ReadFailureText(const std::string& path, const std::error_code& err);

// Reads a whole file; refuses files over maxBytes.
bool ReadWholeFile(const std::string& path, Bytes& data, std::string& error,
                   size_t maxBytes = size_t(1) << 31);

// Reads a file whose first `headBytes` bytes state its whole length: a
// regular file as ReadWholeFile does (its size is known before reading); a
// device or a pipe (/dev/zero, /dev/stdin) only as far as its head says:
// `length` gets the head and returns the length it states, or 0 with a
// reason when the head is wrong already. An input shorter than its head or
// its stated length is returned as it is (the decoder judges it); one
// longer than stated, or stating more than maxBytes, is refused.
using StatedLength = uint64_t (*)(const uint8_t* head, size_t size, std::string& why);
bool ReadFileOfStatedLength(const std::string& path, size_t headBytes, StatedLength length, Bytes& data,
                            std::string& error, size_t maxBytes);

}  // namespace mdv
