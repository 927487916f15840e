#pragma once
// Files are written whole to a temporary file beside the target and renamed
// over it only when complete, so a failed save never destroys the old file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/base/bytes.h"

namespace mdv {

// On failure returns false and a message naming the file and the reason.
bool WriteFileAtomically(const std::string& path, const Bytes& data, std::string& error);
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
