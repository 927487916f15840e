#include "core/model/vortex_file.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/model/area.h"
#include "core/model/area_validation.h"
#include "core/model/contour_state.h"
#include "core/base/safe_file.h"

namespace mdv {
namespace {

constexpr size_t SignatureSize = sizeof(VortexFileSignature) - 1;
static_assert(SignatureSize == 67, "the signature is 67 characters without terminator");
// Signature, version, F, Time, Dt, MaxFreeVortex, N, nine area parameters.
static_assert(VortexFileHeaderSize == SignatureSize + 4 + 4 + 2 * ExtSize + 4 + 4 + 9 * ExtSize);
// TCalcPoint: Pos (20 + 4 padding), Normal (20 + 4 padding), Vn (10 + 6 padding).
static_assert(CalcPointRecordSize == 2 * (2 * ExtSize + 4) + ExtSize + 6);
// TVortex: Pos (20 + 4 padding), Gamma (10 + 6 padding).
static_assert(VortexRecordSize == (2 * ExtSize + 4) + ExtSize + 6);

// Everything a vortex file holds, decoded and checked, not yet in a model.
struct VortexFileContents {
  int32_t FreeVortexCount = 0;
  Real Time = 0;
  Real Dt = 0;
  int32_t MaxFreeVortex = 0;
  int32_t AttachedCount = 0;
  Real ChannelRadius = 0, SuctionX = 0, ChannelLength = 0, FlangeLength = 0, FlangeAngle = 0,
       SuctionSpeed = 0, InflowSpeed = 0, WallThickness = 0, VortexSpacing = 0;
  TCalcPointArray CalcPoints;  // N records
  TVortexArray Vortices;       // N + F records
};

bool Damaged(std::string& error, const std::string& reason) {
  error = "Файл повреждён: " + reason;
  return false;
}

void PutPoint(ByteWriter& w, const TRealPoint& p) {
  w.Ext(p.X);
  w.Ext(p.Y);
  w.Zeros(4);
}

bool GetPoint(ByteReader& in, TRealPoint& p) { return in.Ext(p.X) && in.Ext(p.Y) && in.Skip(4); }

// Offsets of the extended values inside a record (the rest is padding).
constexpr size_t CalcPointExts[] = {0, 10, 24, 34, 48};  // Pos, Normal, Vn
constexpr size_t VortexExts[] = {0, 10, 24};             // Pos, Gamma

// Offsets of the header's counts, bytes.
constexpr size_t VersionAt = SignatureSize;
constexpr size_t FreeCountAt = VersionAt + 4;
constexpr size_t MaxFreeAt = FreeCountAt + 4 + 2 * ExtSize;
constexpr size_t AttachedCountAt = MaxFreeAt + 4;

int32_t ReadInt32At(const uint8_t* bytes, size_t at) {
  int32_t v = 0;
  ByteReader in(bytes + at, 4);
  in.Int32(v);
  return v;
}

// The length the header's counts require, bytes; 0 and the reason when the
// header itself is wrong (or shorter than a header).
uint64_t StatedVortexFileLength(const uint8_t* bytes, size_t size, std::string& error) {
  error.clear();
  if (size < VortexFileHeaderSize) {
    Damaged(error, "длина " + std::to_string(size) + " байт меньше заголовка (" +
                       std::to_string(VortexFileHeaderSize) + " байт)");
    return 0;
  }
  const int32_t version = ReadInt32At(bytes, VersionAt);
  if (version != VortexFileVersion) {
    Damaged(error, "версия формата " + std::to_string(version) + ", ожидается " + std::to_string(VortexFileVersion));
    return 0;
  }
  const int32_t f = ReadInt32At(bytes, FreeCountAt), n = ReadInt32At(bytes, AttachedCountAt);
  const int32_t limit = ReadInt32At(bytes, MaxFreeAt);
  if (f < 0) {
    Damaged(error, "отрицательное число свободных вихрей (" + std::to_string(f) + ")");
    return 0;
  }
  if (limit < 0 || limit > MaxFreeVortexLimit) {
    Damaged(error, "недопустимое наибольшее число свободных вихрей (" + std::to_string(limit) + ")");
    return 0;
  }
  if (n < 1) {
    Damaged(error, "недопустимое число присоединенных вихрей (" + std::to_string(n) + ")");
    return 0;
  }
  return VortexFileHeaderSize + (CalcPointRecordSize + VortexRecordSize) * uint64_t(n) +
         VortexRecordSize * uint64_t(f);
}

// Checks the whole buffer against its header; nothing is kept unless all of it is sound.
bool Decode(const uint8_t* bytes, size_t size, VortexFileContents& c, std::string& error) {
  error.clear();
  const uint64_t expected = StatedVortexFileLength(bytes, size, error);
  if (expected == 0) return false;
  ByteReader in(bytes, size);
  in.Skip(SignatureSize + 2 * 4);  // the signature, the version and F, checked
  // The two reals of the header are judged after the length.
  const bool timeOk = IsFiniteExtImage(bytes + in.Pos());
  in.Ext(c.Time);
  const bool dtOk = IsFiniteExtImage(bytes + in.Pos());
  in.Ext(c.Dt);
  in.Skip(2 * 4);  // the limit and N, checked
  const int32_t f = ReadInt32At(bytes, FreeCountAt), n = ReadInt32At(bytes, AttachedCountAt);
  c.FreeVortexCount = f;
  c.MaxFreeVortex = ReadInt32At(bytes, MaxFreeAt);
  c.AttachedCount = n;
  if (size != expected) {
    return Damaged(error, "длина файла " + std::to_string(size) + " байт, а для " +
                              std::to_string(n) + " присоединенных и " + std::to_string(f) +
                              " свободных вихрей нужно " + std::to_string(expected));
  }
  if (!timeOk || !dtOk) return Damaged(error, "время или шаг по времени не является числом");
  // Every value is judged where it lies before anything is allocated: most
  // damaged files are refused here, at no cost but the reading.
  const uint8_t* at = bytes + in.Pos();
  for (int k = 0; k < 9; ++k, at += ExtSize) {
    if (!IsFiniteExtImage(at)) return Damaged(error, "параметр области не является числом");
  }
  for (int32_t k = 0; k < n; ++k, at += CalcPointRecordSize) {
    for (size_t offset : CalcPointExts) {
      if (!IsFiniteExtImage(at + offset)) {
        return Damaged(error, "расчетная точка " + std::to_string(k) + " не является числом");
      }
    }
  }
  for (int64_t k = 0; k < int64_t{n} + f; ++k, at += VortexRecordSize) {
    for (size_t offset : VortexExts) {
      if (!IsFiniteExtImage(at + offset)) {
        return Damaged(error, "вихрь " + std::to_string(k) + " не является числом");
      }
    }
  }
  // The whole file is sound: read it.
  for (Real* v : {&c.ChannelRadius, &c.SuctionX, &c.ChannelLength, &c.FlangeLength, &c.FlangeAngle,
                  &c.SuctionSpeed, &c.InflowSpeed, &c.WallThickness, &c.VortexSpacing}) {
    in.Ext(*v);
  }
  c.CalcPoints.resize(static_cast<size_t>(n));
  for (TCalcPoint& p : c.CalcPoints) {
    GetPoint(in, p.Pos);
    GetPoint(in, p.Normal);
    in.Ext(p.Vn);
    in.Skip(6);
  }
  c.Vortices.resize(static_cast<size_t>(n) + static_cast<size_t>(f));
  for (TVortex& v : c.Vortices) {
    GetPoint(in, v.Pos);
    in.Ext(v.Gamma);
    in.Skip(6);
  }
  return true;
}

// Replaces the counters, the nine stored parameters, the control points and
// the vortices. The array has room for N + MaxFreeVortex vortices, or N + F
// when a file holds more free vortices than its limit.
void Apply(const VortexFileContents& c, Model& m) {
  m.ContourArea = false;
  m.FreeVortexCount = c.FreeVortexCount;
  m.Time = c.Time;
  m.Dt = c.Dt;
  m.MaxFreeVortex = c.MaxFreeVortex;
  m.AttachedCount = c.AttachedCount;
  m.ChannelRadius = c.ChannelRadius;
  m.SuctionX = c.SuctionX;
  m.ChannelLength = c.ChannelLength;
  m.FlangeLength = c.FlangeLength;
  m.FlangeAngle = c.FlangeAngle;
  m.SuctionSpeed = c.SuctionSpeed;
  m.InflowSpeed = c.InflowSpeed;
  m.WallThickness = c.WallThickness;
  m.VortexSpacing = c.VortexSpacing;
  m.CalcPoints = c.CalcPoints;
  const size_t room = static_cast<size_t>(c.AttachedCount) +
                      static_cast<size_t>(std::max(c.MaxFreeVortex, c.FreeVortexCount));
  m.Vortices.assign(room, TVortex{});
  std::copy(c.Vortices.begin(), c.Vortices.end(), m.Vortices.begin());
  ++m.Revision;
}

// A file written by another build may place the attached vortices and control
// points differently in the last bits of a sine; a larger difference means the
// file was not built from the parameters it states, m (m/s for Vn).
constexpr Real AttachedTolerance = 1e-9L;

bool Near(const TRealPoint& a, const TRealPoint& b) {
  return std::fabs(a.X - b.X) <= AttachedTolerance && std::fabs(a.Y - b.Y) <= AttachedTolerance;
}

// Empty when the area built from the file's parameters (and the plane of its
// end vortex) puts every attached vortex and control point where the file
// has it; otherwise what differs first.
std::string AttachedMismatch(const Model& built, const VortexFileContents& c) {
  if (built.AttachedCount != c.AttachedCount) {
    return "в файле " + std::to_string(c.AttachedCount) + ", по параметрам должно быть " +
           std::to_string(built.AttachedCount);
  }
  const size_t n = static_cast<size_t>(c.AttachedCount);
  for (size_t k = 0; k < n; ++k) {
    if (!Near(built.Vortices[k].Pos, c.Vortices[k].Pos)) {
      return "вихрь " + std::to_string(k) + " не на своем месте";
    }
  }
  // The end vortex has no control point; the file's last record is unused.
  for (size_t k = 0; k + 1 < n; ++k) {
    const TCalcPoint& a = built.CalcPoints[k];
    const TCalcPoint& b = c.CalcPoints[k];
    if (!Near(a.Pos, b.Pos) || !Near(a.Normal, b.Normal) || !(std::fabs(a.Vn - b.Vn) <= AttachedTolerance)) {
      return "расчетная точка " + std::to_string(k) + " не на своем месте";
    }
  }
  return {};
}

// The double path copies the state into doubles: a value beyond their range
// would become an infinity and every result a NaN. Empty when all fit.
std::string OutOfDoubleRange(const Model& m) {
  if (m.Exec.Arithmetic != Precision::Double) return {};
  const int32_t total = m.AttachedCount + m.FreeVortexCount;
  for (int32_t i = 0; i < total; ++i) {
    const TVortex& v = m.Vortices[static_cast<size_t>(i)];
    for (const Real x : {v.Pos.X, v.Pos.Y, v.Gamma}) {
      if (!std::isfinite(static_cast<double>(x)))
        return "вихрь " + std::to_string(i + 1) + ": значение вне диапазона двойной точности (--precision double)";
    }
  }
  return {};
}

std::string InFile(const std::string& fileName, const std::string& error) {
  return "Файл \"" + fileName + "\": " + error;
}

}  // namespace

Bytes EncodeVortexFile(const Model& m) {
  const size_t n = static_cast<size_t>(std::max(m.AttachedCount, 0));
  const size_t f = static_cast<size_t>(std::max(m.FreeVortexCount, 0));
  Bytes out;
  out.reserve(VortexFileHeaderSize + (CalcPointRecordSize + VortexRecordSize) * n + VortexRecordSize * f);
  ByteWriter w(out);
  w.Raw(VortexFileSignature, SignatureSize);
  w.Int32(VortexFileVersion);
  w.Int32(m.FreeVortexCount);
  w.Ext(m.Time);
  w.Ext(m.Dt);
  w.Int32(m.MaxFreeVortex);
  w.Int32(m.AttachedCount);
  for (Real v : {m.ChannelRadius, m.SuctionX, m.ChannelLength, m.FlangeLength, m.FlangeAngle,
                 m.SuctionSpeed, m.InflowSpeed, m.WallThickness, m.VortexSpacing}) {
    w.Ext(v);
  }
  // After an area build the end vortex has no control point: its record is zeros.
  for (size_t k = 0; k < n; ++k) {
    if (k >= m.CalcPoints.size()) {
      w.Zeros(CalcPointRecordSize);
      continue;
    }
    const TCalcPoint& p = m.CalcPoints[k];
    PutPoint(w, p.Pos);
    PutPoint(w, p.Normal);
    w.Ext(p.Vn);
    w.Zeros(6);
  }
  for (size_t k = 0; k < n + f; ++k) {
    if (k >= m.Vortices.size()) {
      w.Zeros(VortexRecordSize);
      continue;
    }
    const TVortex& v = m.Vortices[k];
    PutPoint(w, v.Pos);
    w.Ext(v.Gamma);
    w.Zeros(6);
  }
  return out;
}

bool DecodeVortexFile(const Bytes& data, Model& m, std::string& error) {
  return DecodeVortexFile(data.data(), data.size(), m, error);
}

bool DecodeVortexFile(const uint8_t* data, size_t size, Model& m, std::string& error) {
  VortexFileContents c;
  if (!Decode(data, size, c, error)) return false;
  Apply(c, m);
  return true;
}

namespace {

// The longest vortex file there can be: the counts bound its length, so a
// longer input (/dev/zero, a wrong file) is refused after this much reading.
constexpr size_t MaxVortexFileBytes = VortexFileHeaderSize +
                                      (CalcPointRecordSize + VortexRecordSize) * size_t(MaxAttachedVortices) +
                                      VortexRecordSize * size_t(MaxFreeVortexLimit);

// A device or a pipe is read only as far as the header's counts say.
bool ReadVortexBytes(const std::string& fileName, Bytes& data, std::string& error) {
  // Either kind of state: the contour's by its signature, else the vortex file.
  const StatedLength stated = [](const uint8_t* bytes, size_t size, std::string& why) -> uint64_t {
    return IsContourState(bytes, size) ? StatedContourStateLength(bytes, size, why)
                                       : StatedVortexFileLength(bytes, size, why);
  };
  return ReadFileOfStatedLength(fileName, VortexFileHeaderSize, stated, data, error,
                                MaxVortexFileBytes);
}

}  // namespace

bool SaveVortexFile(const Model& m, const std::string& fileName, std::string& error) {
  return WriteFileAtomically(fileName, m.ContourArea ? EncodeContourState(m) : EncodeVortexFile(m), error);
}

bool LoadVortexFile(Model& m, const std::string& fileName, std::string& error) {
  Bytes data;
  if (!ReadVortexBytes(fileName, data, error)) return false;
  if (IsContourState(data.data(), data.size())) {
    if (DecodeContourState(data.data(), data.size(), m, error)) return true;
    error = InFile(fileName, error);
    return false;
  }
  if (!DecodeVortexFile(data, m, error)) {
    error = InFile(fileName, error);
    return false;
  }
  return true;
}

bool LoadVortexState(Model& m, const std::string& fileName, std::string& error, Observer& obs) {
  Bytes data;
  if (!ReadVortexBytes(fileName, data, error)) return false;
  if (IsContourState(data.data(), data.size())) {
    Model built = m;
    if (!DecodeContourState(data.data(), data.size(), built, error)) {
      error = InFile(fileName, error);
      return false;
    }
    if (const std::string range = OutOfDoubleRange(built); !range.empty()) {
      error = InFile(fileName, range);
      return false;
    }
    m = std::move(built);
    obs.StatusText(AttachedCountText(m));
    return true;
  }
  VortexFileContents c;
  if (!Decode(data.data(), data.size(), c, error)) {
    error = InFile(fileName, error);
    return false;
  }
  // The file stores no plane, but its end vortex (the last attached one) sits
  // at the plane's rim (Px, PL) by construction: the state is rebuilt against
  // the plane it was computed with, not the current one.
  Model built = m;
  Apply(c, built);
  const TRealPoint rim = c.Vortices[static_cast<size_t>(c.AttachedCount) - 1].Pos;
  built.PlaneX = rim.X;
  built.PlaneHalfLength = rim.Y;
  const std::string invalid = ValidateAreaParameters(AreaParametersOf(built));
  if (!invalid.empty()) {
    error = InFile(fileName, "параметры области недопустимы: " + invalid);
    return false;
  }
  BuildArea(built);
  const std::string status = AttachedCountText(built);
  const std::string mismatch = AttachedMismatch(built, c);
  if (!mismatch.empty()) {
    error = InFile(fileName, "присоединенные вихри не соответствуют параметрам файла (" + mismatch + ")");
    return false;
  }
  Apply(c, built);
  if (const std::string range = OutOfDoubleRange(built); !range.empty()) {
    error = InFile(fileName, range);
    return false;
  }
  m = std::move(built);
  obs.StatusText(status);
  return true;
}

}  // namespace mdv
