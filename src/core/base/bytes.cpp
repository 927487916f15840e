#include "core/base/bytes.h"

#include <bit>
#include <cstring>

namespace mdv {

static_assert(std::endian::native == std::endian::little,
              "the file codec copies memory images of little-endian values");
static_assert(sizeof(Real) >= ExtSize,
              "the extended real must occupy at least its 10 data bytes in memory");

void PutInt32(uint8_t* at, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  at[0] = static_cast<uint8_t>(u);
  at[1] = static_cast<uint8_t>(u >> 8);
  at[2] = static_cast<uint8_t>(u >> 16);
  at[3] = static_cast<uint8_t>(u >> 24);
}

int32_t GetInt32(const uint8_t* at) {
  const uint32_t u = uint32_t(at[0]) | (uint32_t(at[1]) << 8) | (uint32_t(at[2]) << 16) |
                     (uint32_t(at[3]) << 24);
  return static_cast<int32_t>(u);
}

// The x87 keeps the extended value in the first 10 bytes of the long double;
// the rest is padding with undefined contents and never reaches a file.
void PutExt(uint8_t* at, Real v) {
  unsigned char image[sizeof(Real)];
  std::memcpy(image, &v, sizeof(Real));
  std::memcpy(at, image, ExtSize);
}

Real GetExt(const uint8_t* at) {
  unsigned char image[sizeof(Real)] = {};
  std::memcpy(image, at, ExtSize);
  Real v;
  std::memcpy(&v, image, sizeof(Real));
  return v;
}

bool IsFiniteExtImage(const uint8_t* at) {
  const unsigned exponent = (unsigned(at[9] & 0x7F) << 8) | at[8];
  const bool integerBit = (at[7] & 0x80) != 0;
  if (exponent == 0x7FFF) return false;  // infinities and NaNs of every kind
  if (exponent == 0) return !integerBit;  // zero or denormal; set: pseudo-denormal
  return integerBit;                      // clear: unnormal
}

void ByteWriter::Int32(int32_t v) {
  const size_t at = out_.size();
  out_.resize(at + 4);
  PutInt32(out_.data() + at, v);
}

void ByteWriter::Ext(Real v) {
  const size_t at = out_.size();
  out_.resize(at + ExtSize);
  PutExt(out_.data() + at, v);
}

void ByteWriter::Zeros(size_t count) { out_.resize(out_.size() + count, 0); }

void ByteWriter::Raw(const void* data, size_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  out_.insert(out_.end(), p, p + count);
}

bool ByteReader::Int32(int32_t& v) {
  if (Remaining() < 4) return false;
  v = GetInt32(data_ + pos_);
  pos_ += 4;
  return true;
}

bool ByteReader::Ext(Real& v) {
  if (Remaining() < ExtSize) return false;
  v = GetExt(data_ + pos_);
  pos_ += ExtSize;
  return true;
}

bool ByteReader::FiniteExt(Real& v) {
  if (Remaining() < ExtSize || !IsFiniteExtImage(data_ + pos_)) return false;
  return Ext(v);
}

bool ByteReader::Skip(size_t count) {
  if (Remaining() < count) return false;
  pos_ += count;
  return true;
}

}  // namespace mdv
