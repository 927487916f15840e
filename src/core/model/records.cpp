#include "core/model/records.h"

#include <cstdint>
#include <utility>

namespace mdv {
namespace {

// Stored size of a TRealPoint: X, Y and 4 padding bytes.
constexpr size_t PointRecordSize = 24;
constexpr size_t PulsationHeaderSize = 28;  // StartTime, TimeStep, P, M
constexpr size_t TrackHeaderSize = 34;      // n, StartTime, TimeStep, spacing
static_assert(PulsationHeaderSize == 2 * ExtSize + 2 * 4);
static_assert(TrackHeaderSize == 4 + 3 * ExtSize);
static_assert(PointRecordSize == 2 * ExtSize + 4);

bool Damaged(std::string& error, const std::string& reason) {
  error = "Файл повреждён: " + reason;
  return false;
}

}  // namespace

Bytes EncodePulsationRecord(const PulsationRecord& r) {
  const size_t p = r.Points.size();
  const size_t m = r.SampleCount > 0 ? static_cast<size_t>(r.SampleCount) : 0;
  Bytes out;
  out.reserve(PulsationHeaderSize + PointRecordSize * p + 2 * ExtSize * m * p);
  ByteWriter w(out);
  w.Ext(r.StartTime);
  w.Ext(r.TimeStep);
  w.Int32(static_cast<int32_t>(p));
  for (const TRealPoint& pt : r.Points) {
    w.Ext(pt.X);
    w.Ext(pt.Y);
    w.Zeros(4);
  }
  w.Int32(static_cast<int32_t>(m));
  // Rows hold at least M samples (they grow in chunks); only the first M go out.
  for (const TRealMatr* rows : {&r.Vx, &r.Vy}) {
    for (size_t i = 0; i < p; ++i) {
      const TRealArray& row = rows->at(i);
      for (size_t j = 0; j < m; ++j) w.Ext(row.at(j));
    }
  }
  return out;
}

bool DecodePulsationRecord(const Bytes& data, PulsationRecord& r, std::string& error) {
  error.clear();
  ByteReader in(data);
  PulsationRecord rec;
  int32_t p = 0;
  if (data.size() < PulsationHeaderSize)
    return Damaged(error, "файл короче заголовка записи пульсаций (" + std::to_string(data.size()) +
                              " байт)");
  if (!in.FiniteExt(rec.StartTime)) return Damaged(error, "начальное время не является числом");
  if (!in.FiniteExt(rec.TimeStep)) return Damaged(error, "шаг по времени не является числом");
  in.Int32(p);
  if (p < 0) return Damaged(error, "отрицательное число точек (" + std::to_string(p) + ")");
  const uint64_t afterPoints = PulsationHeaderSize + uint64_t(PointRecordSize) * uint64_t(p);
  if (afterPoints > data.size())
    return Damaged(error, "файл короче, чем требуют " + std::to_string(p) + " точек");
  rec.Points.resize(static_cast<size_t>(p));
  for (TRealPoint& pt : rec.Points) {
    if (!in.FiniteExt(pt.X) || !in.FiniteExt(pt.Y))
      return Damaged(error, "координата точки не является числом");
    in.Skip(4);
  }
  in.Int32(rec.SampleCount);
  const int32_t m = rec.SampleCount;
  if (m < 0) return Damaged(error, "отрицательное число отсчётов (" + std::to_string(m) + ")");
  // Both counts are below 2^31, so the product cannot overflow 64 bits.
  const uint64_t expected = afterPoints + 2 * uint64_t(ExtSize) * uint64_t(m) * uint64_t(p);
  if (expected != data.size())
    return Damaged(error, "длина файла " + std::to_string(data.size()) + " байт, а для " +
                              std::to_string(p) + " точек и " + std::to_string(m) +
                              " отсчётов нужно " + std::to_string(expected));
  for (TRealMatr* rows : {&rec.Vx, &rec.Vy}) {
    // Row by row: with no points a large sample count must not allocate anything.
    rows->assign(static_cast<size_t>(p), TRealArray());
    for (TRealArray& row : *rows) {
      row.resize(static_cast<size_t>(m));
      for (Real& v : row) {
        if (!in.FiniteExt(v)) return Damaged(error, "значение скорости не является числом");
      }
    }
  }
  r = std::move(rec);
  return true;
}

Bytes EncodeTrackRecord(const TrackRecord& r) {
  Bytes out;
  out.reserve(TrackHeaderSize + ExtSize * r.Gammas.size());
  ByteWriter w(out);
  w.Int32(static_cast<int32_t>(r.Gammas.size()));
  w.Ext(r.StartTime);
  w.Ext(r.TimeStep);
  w.Ext(r.Spacing);
  for (Real g : r.Gammas) w.Ext(g);
  return out;
}

bool DecodeTrackRecord(const Bytes& data, TrackRecord& r, std::string& error) {
  error.clear();
  if (data.size() < TrackHeaderSize)
    return Damaged(error, "файл короче заголовка записи циркуляции (" + std::to_string(data.size()) +
                              " байт)");
  ByteReader in(data);
  TrackRecord rec;
  int32_t n = 0;
  in.Int32(n);
  if (n < 0) return Damaged(error, "отрицательное число шагов (" + std::to_string(n) + ")");
  const uint64_t expected = TrackHeaderSize + uint64_t(ExtSize) * uint64_t(n);
  if (expected != data.size())
    return Damaged(error, "длина файла " + std::to_string(data.size()) + " байт, а для " +
                              std::to_string(n) + " шагов нужно " + std::to_string(expected));
  if (!in.FiniteExt(rec.StartTime)) return Damaged(error, "начальное время не является числом");
  if (!in.FiniteExt(rec.TimeStep)) return Damaged(error, "шаг по времени не является числом");
  if (!in.FiniteExt(rec.Spacing))
    return Damaged(error, "расстояние между вихрями не является числом");
  rec.Gammas.resize(static_cast<size_t>(n));
  for (Real& g : rec.Gammas) {
    if (!in.FiniteExt(g)) return Damaged(error, "значение циркуляции не является числом");
  }
  r = std::move(rec);
  return true;
}

}  // namespace mdv
