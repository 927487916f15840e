#include "core/pulsation_stats.h"

#include <cmath>
#include <cstdint>
#include <filesystem>

#include "core/numfmt.h"
#include "core/safe_file.h"

namespace mdv {

namespace {

// Layout of a .pls file: StartTime, TimeStep (ext), P (int32), P points of
// 24 bytes, M (int32), then P·M axial and P·M radial samples (ext).
constexpr uint64_t PlsHeadSize = 24;   // up to and including P
constexpr uint64_t PlsPointSize = 24;
constexpr uint64_t PlsCountSize = 4;   // M
constexpr uint64_t PlsSamplePairSize = 20;  // one axial and one radial ext
// Layout of a .fvt file: n (int32), StartTime, TimeStep, spacing (ext), n circulations.
constexpr uint64_t FvtHeadSize = 34;
constexpr uint64_t FvtValueSize = 10;

std::string Quoted(const std::string& fileName) { return "«" + fileName + "»"; }

}  // namespace

bool LoadPulsationRecord(const std::string& fileName, PulsationRecord& r, std::string& error) {
  Bytes data;
  if (!ReadWholeFile(fileName, data, error)) return false;
  const uint64_t size = data.size();
  const std::string damaged = "Файл пульсаций " + Quoted(fileName) + " поврежден: ";
  if (size < PlsHeadSize) {
    error = damaged + "он короче заголовка (" + std::to_string(size) + " байт)";
    return false;
  }
  const int32_t p = GetInt32(&data[20]);
  if (p < 0) {
    error = damaged + "отрицательное число точек (" + std::to_string(p) + ")";
    return false;
  }
  const uint64_t countAt = PlsHeadSize + PlsPointSize * static_cast<uint64_t>(p);
  if (size < countAt + PlsCountSize) {
    error = damaged + "длина " + std::to_string(size) + " байт меньше, чем нужно для " +
            std::to_string(p) + " точек";
    return false;
  }
  const int32_t mCount = GetInt32(&data[countAt]);
  if (mCount < 0) {
    error = damaged + "отрицательное число отсчетов (" + std::to_string(mCount) + ")";
    return false;
  }
  // P·M < 2^62, and the body cannot exceed the file: compare before multiplying by 20.
  const uint64_t pairs = static_cast<uint64_t>(mCount) * static_cast<uint64_t>(p);
  const uint64_t head = countAt + PlsCountSize;
  if (pairs > (size - head) / PlsSamplePairSize || head + pairs * PlsSamplePairSize != size) {
    error = damaged + "длина " + std::to_string(size) + " байт не соответствует " +
            std::to_string(p) + " точкам и " + std::to_string(mCount) + " отсчетам";
    return false;
  }
  PulsationRecord decoded;
  std::string why;
  if (!DecodePulsationRecord(data, decoded, why)) {
    error = damaged + why;
    return false;
  }
  r = std::move(decoded);
  return true;
}

bool CalcPulsationStats(const PulsationRecord& r, int32_t k, PulsationStats& s,
                        std::string& error) {
  const auto pointCount = static_cast<int64_t>(r.Points.size());
  if (pointCount == 0) {
    error = NoPulsationPointsText;
    return false;
  }
  if (k < 0 || k >= pointCount) {
    error = "Нет точки с номером " + std::to_string(int64_t{k} + 1) + " (точек в файле: " +
            std::to_string(pointCount) + ")";
    return false;
  }
  const int32_t m = r.SampleCount;
  if (m <= 0) {
    error = NoPulsationSamplesText;
    return false;
  }
  if (static_cast<int64_t>(r.Vx.size()) <= k || static_cast<int64_t>(r.Vy.size()) <= k ||
      static_cast<int64_t>(r.Vx[k].size()) < m || static_cast<int64_t>(r.Vy[k].size()) < m) {
    error = "Запись пульсаций неполна: у точки " + std::to_string(int64_t{k} + 1) +
            " меньше " + std::to_string(m) + " отсчетов";
    return false;
  }
  const TRealArray& vx = r.Vx[k];
  const TRealArray& vy = r.Vy[k];

  // Sums and results are 64-bit; each expression is evaluated in extended
  // from the extended samples and rounded when it is stored.
  double sumX = 0;
  double sumY = 0;
  for (int32_t j = 0; j < m; ++j) {
    sumX = static_cast<double>(sumX + vx[j]);
    sumY = static_cast<double>(sumY + vy[j]);
  }
  PulsationStats out;
  out.MeanVx = static_cast<double>(static_cast<Real>(sumX) / m);
  out.MeanVy = static_cast<double>(static_cast<Real>(sumY) / m);

  out.Times.reserve(m);
  out.FluctVx.reserve(m);
  out.FluctVy.reserve(m);
  double sx = 0;
  double sy = 0;
  for (int32_t j = 0; j < m; ++j) {
    const Real t = static_cast<Real>(j) * r.TimeStep + r.StartTime;
    const Real fx = vx[j] - out.MeanVx;
    const Real fy = vy[j] - out.MeanVy;
    out.Times.push_back(static_cast<double>(t));
    out.FluctVx.push_back(static_cast<double>(fx));
    out.FluctVy.push_back(static_cast<double>(fy));
    sx = static_cast<double>(sx + fx * fx);
    sy = static_cast<double>(sy + fy * fy);
  }
  // Population form: divided by M.
  out.RmsVx = static_cast<double>(std::sqrt(static_cast<Real>(sx) / m));
  out.RmsVy = static_cast<double>(std::sqrt(static_cast<Real>(sy) / m));

  out.LabVx = "<Vx> = " + FormatFixed(out.MeanVx, 7, 5);
  out.LabVy = "<Vy> = " + FormatFixed(out.MeanVy, 7, 5);
  out.LabVx2 = "Среднекв. значение прод. пульсации = " + FormatFixed(out.RmsVx, 7, 5);
  out.LabVy2 = "Среднекв. значение попереч. пульсации = " + FormatFixed(out.RmsVy, 7, 5);
  s = std::move(out);
  return true;
}

std::string PulsationPointLine(int32_t k, const TRealPoint& p) {
  return std::to_string(int64_t{k} + 1) + ": (" + FormatGeneral(p.X) + "; " +
         FormatGeneral(p.Y) + ")";
}

std::string RecordFileLabel(const std::string& fileName) {
  return "Имя файла: " + std::filesystem::path(fileName).filename().string();
}

bool LoadTrackRecord(const std::string& fileName, TrackRecord& r, std::string& error) {
  Bytes data;
  if (!ReadWholeFile(fileName, data, error)) return false;
  const uint64_t size = data.size();
  const std::string damaged = "Файл циркуляций " + Quoted(fileName) + " поврежден: ";
  if (size < FvtHeadSize) {
    error = damaged + "он короче заголовка (" + std::to_string(size) + " байт)";
    return false;
  }
  const int32_t n = GetInt32(&data[0]);
  if (n < 0) {
    error = damaged + "отрицательное число шагов (" + std::to_string(n) + ")";
    return false;
  }
  if (FvtHeadSize + FvtValueSize * static_cast<uint64_t>(n) != size) {
    error = damaged + "длина " + std::to_string(size) + " байт не соответствует " +
            std::to_string(n) + " шагам";
    return false;
  }
  TrackRecord decoded;
  std::string why;
  if (!DecodeTrackRecord(data, decoded, why)) {
    error = damaged + why;
    return false;
  }
  r = std::move(decoded);
  return true;
}

bool CalcCirculationSeries(const TrackRecord& r, CirculationSeries& s, std::string& error) {
  if (!(r.Spacing > 0) || !std::isfinite(r.Spacing)) {
    error = "В записи циркуляций неверный шаг присоединенных вихрей (" +
            FormatGeneral(r.Spacing) + ")";
    return false;
  }
  const Real scale = 2 * Pi * r.Spacing;  // 2π·δ, m
  CirculationSeries out;
  out.T.reserve(r.Gammas.size());
  out.Y.reserve(r.Gammas.size());
  for (size_t k = 0; k < r.Gammas.size(); ++k) {
    out.T.push_back(static_cast<Real>(k) * r.TimeStep + r.StartTime);
    out.Y.push_back(std::fabs(r.Gammas[k] / scale));
  }
  s = std::move(out);
  return true;
}

}  // namespace mdv
