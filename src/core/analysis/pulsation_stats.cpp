#include "core/analysis/pulsation_stats.h"

#include <cmath>
#include <cstdint>
#include <filesystem>

#include "core/base/numfmt.h"
#include "core/base/safe_file.h"

namespace mdv {

namespace {

// As every other message names a file.
std::string Quoted(const std::string& fileName) { return "\"" + fileName + "\""; }

}  // namespace

bool LoadPulsationRecord(const std::string& fileName, PulsationRecord& r, std::string& error) {
  Bytes data;
  if (!ReadWholeFile(fileName, data, error)) return false;
  // The decoder checks the length against P and M before it keeps anything.
  PulsationRecord decoded;
  std::string why;
  if (!DecodePulsationRecord(data, decoded, why)) {
    error = Quoted(fileName) + ": " + why;
    return false;
  }
  r = std::move(decoded);
  return true;
}

bool CheckPulsationPoint(const PulsationRecord& r, int32_t k, std::string& error) {
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
  if (r.SampleCount <= 0) {
    error = NoPulsationSamplesText;
    return false;
  }
  return true;
}

bool CalcPulsationStats(const PulsationRecord& r, int32_t k, PulsationStats& s,
                        std::string& error) {
  if (!CheckPulsationPoint(r, k, error)) return false;
  const int32_t m = r.SampleCount;
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
  if (!LabelPulsationStats(k, out, error)) return false;
  s = std::move(out);
  return true;
}

bool LabelPulsationStats(int32_t k, PulsationStats& s, std::string& error) {
  // The sums are doubles: samples beyond about 1e154 m/s square past their
  // range (beyond 1e308 they do not fit at all), and no figure is shown then.
  for (const double v : {s.MeanVx, s.MeanVy, s.RmsVx, s.RmsVy}) {
    if (!std::isfinite(v)) {
      error = "Значения скорости в точке " + std::to_string(int64_t{k} + 1) +
              " слишком велики: средние и пульсации вне диапазона двойной точности";
      return false;
    }
  }
  s.LabVx = "<Vx> = " + FormatFixed(s.MeanVx, 7, 5);
  s.LabVy = "<Vy> = " + FormatFixed(s.MeanVy, 7, 5);
  s.LabVx2 = "Среднекв. значение прод. пульсации = " + FormatFixed(s.RmsVx, 7, 5);
  s.LabVy2 = "Среднекв. значение попереч. пульсации = " + FormatFixed(s.RmsVy, 7, 5);
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
  TrackRecord decoded;
  std::string why;
  if (!DecodeTrackRecord(data, decoded, why)) {
    error = Quoted(fileName) + ": " + why;
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
