#pragma once
// What the chart windows show of the two run records: the velocity
// fluctuations at one pulsation point with their means and root-mean-square
// values, and the circulation of the newest free vortex scaled to a speed.
#include <cstdint>
#include <string>
#include <vector>

#include "core/model/records.h"

namespace mdv {

// ---- pulsation record (.pls) ----

// Reads and checks a whole .pls file (its length must match P and M exactly;
// negative or oversized counts are refused). On failure `r` is untouched and
// `error` says why, naming the file.
bool LoadPulsationRecord(const std::string& fileName, PulsationRecord& r, std::string& error);

// The statistics of one point, in 64-bit floating point.
struct PulsationStats {
  double MeanVx = 0;  // <Vx>, m/s
  double MeanVy = 0;  // <Vy>, m/s
  double RmsVx = 0;   // sqrt(sum (Vx_j - <Vx>)^2 / M), m/s
  double RmsVy = 0;
  std::vector<double> Times;   // t_j = j * TimeStep + StartTime, s
  std::vector<double> FluctVx; // Vx_j - <Vx>, m/s ("Продольные пульсации")
  std::vector<double> FluctVy; // Vy_j - <Vy>, m/s ("Поперечные пульсации")
  // The four label texts, numbers in fixed(7, 5):
  std::string LabVx;   // "<Vx> = …"
  std::string LabVy;   // "<Vy> = …"
  std::string LabVx2;  // "Среднекв. значение прод. пульсации = …"
  std::string LabVy2;  // "Среднекв. значение попереч. пульсации = …"
};

// Statistics of point k (0-based). Fails, with a message for the user and
// nothing divided, when the record has no points or no samples or k is out
// of range.
bool CalcPulsationStats(const PulsationRecord& r, int32_t k, PulsationStats& s,
                        std::string& error);

// The record has points and samples and point k (0-based) among them; a
// message for the user otherwise. `r` needs only its header (points, count).
bool CheckPulsationPoint(const PulsationRecord& r, int32_t k, std::string& error);

// Checks that the four figures of `s` are finite (a message naming point k
// otherwise) and writes its four label texts.
bool LabelPulsationStats(int32_t k, PulsationStats& s, std::string& error);

// One line of the point list: "1: (0,2; 0,15)" (number from 1, coordinates
// in the general format with the decimal comma).
std::string PulsationPointLine(int32_t k, const TRealPoint& p);
// "Имя файла: " followed by the file name without its folder.
std::string RecordFileLabel(const std::string& fileName);

// Texts shown when a record cannot be charted.
inline constexpr char NoPulsationPointsText[] = "В файле нет точек";
inline constexpr char NoPulsationSamplesText[] = "В файле нет отсчетов";

// ---- circulation record (.fvt) ----

// Reads and checks a whole .fvt file (length 34 + 10·n exactly, n >= 0).
bool LoadTrackRecord(const std::string& fileName, TrackRecord& r, std::string& error);

// The graph's points: t_k = k * TimeStep + StartTime, s, and
// y_k = |Gamma_k / (2*pi*delta)|, m/s, both in extended precision.
struct CirculationSeries {
  TRealArray T;
  TRealArray Y;
};
// Fails (nothing divided) when the record's spacing delta is not a positive
// finite number.
bool CalcCirculationSeries(const TrackRecord& r, CirculationSeries& s, std::string& error);

}  // namespace mdv
