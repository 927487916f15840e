#pragma once
// One point of a pulsation record (.pls) read in blocks, so that a record of
// any length is never held whole: memory in proportion to the block, not to
// the samples. The record keeps every point's Vx, then every point's Vy, each
// a row of M extended values; a point's two rows are read side by side.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/base/bytes.h"
#include "core/base/platform.h"
#include "core/model/records.h"

namespace mdv {

// A record from a device or a pipe (/dev/stdin) cannot be read by seeking:
// it is copied, as far as its own counts say (nothing beyond them is
// accepted), into a new temporary file whose path `staged` gets; the caller
// removes it. Open does this by itself for one reading; a caller that opens
// the record more than once stages it first.
bool StagePulsationRecord(const std::string& path, std::string& staged, std::string& error);

class PulsationPointStream {
 public:
  // Reads and checks the header (the file's length against its counts, as
  // the whole-file reader does); `header` gets everything but Vx and Vy.
  bool Open(const std::string& path, PulsationRecord& header, std::string& error);
  // Positions at sample `first` (0-based) of point `point` (0-based).
  bool Start(int32_t point, int64_t first, std::string& error);
  // The next samples of the point, up to n of each component, as doubles;
  // got < n only at the end of the record. A value that is not a finite
  // number is an error, as in the whole-file reader.
  bool Read(double* vx, double* vy, std::size_t n, std::size_t& got, std::string& error);
  // The same in the record's own extended precision: any finite value, as
  // the whole-file reader keeps it.
  bool ReadExtended(Real* vx, Real* vy, std::size_t n, std::size_t& got, std::string& error);

 private:
  bool ReadRow(platform::File& f, double* out, std::size_t n, std::string& error);
  bool ReadRow(platform::File& f, Real* out, std::size_t n, std::string& error);

  std::string path_;
  platform::File vx_, vy_;
  uint64_t rowsAt_ = 0;  // offset of the first Vx row, bytes
  int32_t points_ = 0;
  int64_t samples_ = 0;
  int64_t next_ = 0;     // index of the next sample to read
  Bytes block_;
};

}  // namespace mdv
