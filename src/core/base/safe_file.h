#pragma once
// Files are written whole to a temporary file beside the target and renamed
// over it only when complete, so a failed save never destroys the old file.
#include <string>

#include "core/base/bytes.h"

namespace mdv {

// On failure returns false and a message naming the file and the reason.
bool WriteFileAtomically(const std::string& path, const Bytes& data, std::string& error);
// Reads a whole file; refuses files over maxBytes.
bool ReadWholeFile(const std::string& path, Bytes& data, std::string& error,
                   size_t maxBytes = size_t(1) << 31);

}  // namespace mdv
