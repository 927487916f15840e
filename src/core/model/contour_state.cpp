#include "core/model/contour_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/model/area.h"
#include "core/model/area_validation.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"

namespace mdv {

namespace {

constexpr size_t SignatureSize = sizeof(ContourStateSignature) - 1;
static_assert(SignatureSize == 32);

// Offsets of the header's fields, bytes.
constexpr size_t VersionAt = SignatureSize;
constexpr size_t TextLengthAt = VersionAt + 4;
constexpr size_t AttachedAt = TextLengthAt + 4;
constexpr size_t FreeAt = AttachedAt + 4;
constexpr size_t MaxFreeAt = FreeAt + 4;
constexpr size_t TimeAt = MaxFreeAt + 4;
constexpr size_t DtAt = TimeAt + ExtSize;
static_assert(DtAt + ExtSize == ContourStateHeaderSize);

// As the vortex file: the build of another machine may differ in the last bits of a sine, m.
constexpr Real AttachedTolerance = 1e-9L;

int32_t Int32At(const uint8_t* data, size_t at) { return GetInt32(data + at); }

bool Damaged(std::string& error, const std::string& reason) {
  error = "Файл повреждён: " + reason;
  return false;
}

}  // namespace

bool IsContourState(const uint8_t* data, size_t size) {
  return size >= SignatureSize && std::memcmp(data, ContourStateSignature, SignatureSize) == 0;
}

uint64_t StatedContourStateLength(const uint8_t* data, size_t size, std::string& error) {
  error.clear();
  if (size < ContourStateHeaderSize) {
    Damaged(error, "длина " + std::to_string(size) + " байт меньше заголовка (" +
                       std::to_string(ContourStateHeaderSize) + " байт)");
    return 0;
  }
  const int32_t version = Int32At(data, VersionAt);
  if (version != ContourStateVersion) {
    Damaged(error, "версия формата " + std::to_string(version) + ", ожидается " + std::to_string(ContourStateVersion));
    return 0;
  }
  const int32_t text = Int32At(data, TextLengthAt), n = Int32At(data, AttachedAt), f = Int32At(data, FreeAt);
  const int32_t limit = Int32At(data, MaxFreeAt);
  if (text < 1 || text > MaxContourTextBytes) {
    Damaged(error, "недопустимая длина текста контура (" + std::to_string(text) + " байт)");
    return 0;
  }
  if (n < 1 || n > MaxAttachedVortices + 1) {
    Damaged(error, "недопустимое число присоединенных вихрей (" + std::to_string(n) + ")");
    return 0;
  }
  if (f < 0 || f > MaxFreeVortexLimit) {
    Damaged(error, "недопустимое число свободных вихрей (" + std::to_string(f) + ")");
    return 0;
  }
  if (limit < 0 || limit > MaxFreeVortexLimit) {
    Damaged(error, "недопустимое наибольшее число свободных вихрей (" + std::to_string(limit) + ")");
    return 0;
  }
  return ContourStateHeaderSize + uint64_t(text) + ContourStateRingSize * (uint64_t(n) + uint64_t(f));
}

Bytes EncodeContourState(const Model& m) {
  const std::string text = WriteContourText(m.HoodContour);
  const int32_t n = std::max(m.AttachedCount, 0), f = std::max(m.FreeVortexCount, 0);
  Bytes out;
  out.reserve(ContourStateHeaderSize + text.size() + ContourStateRingSize * static_cast<size_t>(n + f));
  ByteWriter w(out);
  w.Raw(ContourStateSignature, SignatureSize);
  w.Int32(ContourStateVersion);
  w.Int32(static_cast<int32_t>(text.size()));
  w.Int32(n);
  w.Int32(f);
  w.Int32(m.MaxFreeVortex);
  w.Ext(m.Time);
  w.Ext(m.Dt);
  w.Raw(text.data(), text.size());
  for (int32_t i = 0; i < n + f; ++i) {
    const TVortex& v = m.Vortices[static_cast<size_t>(i)];
    w.Ext(v.Pos.X);
    w.Ext(v.Pos.Y);
    w.Ext(v.Gamma);
  }
  return out;
}

bool DecodeContourState(const uint8_t* data, size_t size, Model& m, std::string& error) {
  if (!IsContourState(data, size)) return Damaged(error, "это не файл состояния расчёта по контуру");
  const uint64_t expected = StatedContourStateLength(data, size, error);
  if (expected == 0) return false;
  if (size != expected) {
    return Damaged(error, "длина файла " + std::to_string(size) + " байт, по заголовку нужно " +
                              std::to_string(expected));
  }
  const size_t textBytes = static_cast<size_t>(Int32At(data, TextLengthAt));
  const int32_t n = Int32At(data, AttachedAt), f = Int32At(data, FreeAt);
  ByteReader in(data, size);
  in.Skip(TimeAt);
  Real time = 0, dt = 0;
  if (!in.FiniteExt(time) || !in.FiniteExt(dt)) return Damaged(error, "время или шаг по времени не является числом");
  const std::string text(reinterpret_cast<const char*>(data) + ContourStateHeaderSize, textBytes);
  in.Skip(textBytes);
  Contour c;
  if (!ReadContourText(text, c, error)) return Damaged(error, "контур: " + error);
  if (const std::string fault = ValidateContour(c); !fault.empty()) return Damaged(error, "контур: " + fault);
  Model built = m;
  built.HoodContour = std::move(c);
  built.ContourArea = true;
  built.MaxFreeVortex = Int32At(data, MaxFreeAt);
  BuildArea(built);
  if (built.AttachedCount != n) {
    return Damaged(error, "в файле " + std::to_string(n) + " присоединенных вихрей, по контуру должно быть " +
                              std::to_string(built.AttachedCount));
  }
  // The stored attached rings must lie where the contour puts them.
  const TVortexArray rings(built.Vortices.begin(), built.Vortices.begin() + n);
  built.Vortices.assign(static_cast<size_t>(n) + static_cast<size_t>(std::max(built.MaxFreeVortex, f)), TVortex{});
  for (int32_t i = 0; i < n + f; ++i) {
    TVortex v;
    if (!in.FiniteExt(v.Pos.X) || !in.FiniteExt(v.Pos.Y) || !in.FiniteExt(v.Gamma))
      return Damaged(error, "вихрь " + std::to_string(i + 1) + ": значение не является числом");
    if (i < n) {
      const TRealPoint a = rings[static_cast<size_t>(i)].Pos;
      if (!(std::fabs(a.X - v.Pos.X) <= AttachedTolerance && std::fabs(a.Y - v.Pos.Y) <= AttachedTolerance))
        return Damaged(error, "присоединенный вихрь " + std::to_string(i + 1) + " не там, где его ставит контур");
    }
    built.Vortices[static_cast<size_t>(i)] = v;
  }
  built.FreeVortexCount = f;
  built.Time = time;
  built.Dt = dt;
  ++built.Revision;
  m = std::move(built);
  return true;
}

}  // namespace mdv
