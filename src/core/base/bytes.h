#pragma once
// The one little-endian codec of the file formats: 32-bit integers and
// 10-byte extended reals, written to and read from byte buffers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/base/real.h"

namespace mdv {

using Bytes = std::vector<uint8_t>;

// Size of an extended real in a file: 64-bit significand with its explicit
// integer bit, then 15-bit biased exponent and sign.
inline constexpr size_t ExtSize = 10;

class ByteWriter {
 public:
  explicit ByteWriter(Bytes& out) : out_(out) {}
  void Int32(int32_t v);
  void Ext(Real v);           // 10 bytes: 64-bit significand, sign and exponent
  void Zeros(size_t count);
  void Raw(const void* data, size_t count);
  size_t Size() const { return out_.size(); }
 private:
  Bytes& out_;
};

// Reads from a buffer; every read checks the remaining length and fails
// (returns false) instead of reading past the end.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteReader(const Bytes& b) : ByteReader(b.data(), b.size()) {}
  bool Int32(int32_t& v);
  bool Ext(Real& v);
  // As Ext, but also fails on an image that is not a finite number in the
  // canonical encoding (infinities, NaNs, unnormals, pseudo-denormals).
  bool FiniteExt(Real& v);
  bool Skip(size_t count);
  size_t Pos() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void PutInt32(uint8_t* at, int32_t v);
void PutExt(uint8_t* at, Real v);
int32_t GetInt32(const uint8_t* at);
Real GetExt(const uint8_t* at);
// True when the 10 bytes at `at` hold a finite extended value in the encoding
// the processor itself produces: zero, a denormal with integer bit 0, or a
// normal number with integer bit 1. Unnormals and pseudo-denormals are
// refused because the x87 treats them as invalid operands.
bool IsFiniteExtImage(const uint8_t* at);

}  // namespace mdv
