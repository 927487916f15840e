#include "core/averages/averaged_half_widths.h"

#include <cmath>
#include <limits>
#include <vector>

namespace mdv {

namespace {

constexpr double Unknown = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double BlockHalfWidth95(std::span<const double> blockMeans) {
  const BatchMeans b = ComputeBatchMeans(blockMeans);
  return HalfWidthTrusted(b) ? b.HalfWidth95 : Unknown;
}

void SummariseHalfWidths(const AveragingState& s, const Model& m, Real from, AveragingResults& r) {
  const size_t cells = r.Field.Grid.Inside.size();
  for (auto* a : {&r.Field.VxHalfWidth95, &r.Field.VyHalfWidth95, &r.Field.SpeedHalfWidth95}) a->assign(cells, Unknown);
  r.CentrelineHalfWidth95.assign(r.Centreline.size(), Unknown);
  r.Flux.RatioHalfWidth95 = Unknown;

  // A partial last block holds fewer samples: not an observation like the others.
  std::vector<size_t> blocks;
  for (int32_t b = 0; b < s.BlockCount; ++b) {
    const auto k = static_cast<size_t>(b);
    if (s.BlockStart[k] >= from && s.BlockSamples[k] == s.BlockLength) blocks.push_back(k);
  }
  const size_t points = s.SamplePoints.size();
  const size_t stride = points * AveragingState::MomentsPerPoint;
  const auto mean = [&](size_t block, size_t p, size_t q) {
    return s.Moments[block * stride + p * AveragingState::MomentsPerPoint + q];
  };
  std::vector<double> series(blocks.size());
  std::vector<double*> targets = {r.Field.VxHalfWidth95.data(), r.Field.VyHalfWidth95.data(),
                                  r.Field.SpeedHalfWidth95.data()};
  std::vector<std::vector<double>> stationVx(blocks.size(),
                                             std::vector<double>(CentrelineStationCount, Unknown));
  std::vector<std::vector<double>> sectionVx(blocks.size(), std::vector<double>(FluxSectionPoints, 0.0));
  for (size_t p = 0; p < points; ++p) {
    const int32_t cell = s.SampleCell[p];
    if (cell >= 0) {
      if (static_cast<size_t>(cell) >= cells) continue;
      for (size_t q = 0; q < 3; ++q) {
        for (size_t k = 0; k < blocks.size(); ++k) series[k] = mean(blocks[k], p, 2 * q);
        targets[q][static_cast<size_t>(cell)] = BlockHalfWidth95(series);
      }
    } else if (cell <= AveragingState::ContractionCell0) {
      continue;
    } else if (cell <= AveragingState::FluxCell0) {
      for (size_t k = 0; k < blocks.size(); ++k)
        sectionVx[k][static_cast<size_t>(AveragingState::FluxCell0 - cell)] = mean(blocks[k], p, 0);
    } else {
      for (size_t k = 0; k < blocks.size(); ++k) stationVx[k][static_cast<size_t>(-1 - cell)] = mean(blocks[k], p, 0);
    }
  }

  // The centre-line and the flux of each block by the same formulas as their means.
  std::vector<std::vector<CentrelineRow>> blockRows;
  for (size_t k = 0; k < blocks.size(); ++k) blockRows.push_back(CentrelineRows(m, stationVx[k]));
  for (size_t row = 0; row < r.Centreline.size(); ++row) {
    bool known = r.Centreline[row].HasModel;
    for (size_t k = 0; k < blocks.size() && known; ++k) {
      known = row < blockRows[k].size() && blockRows[k][row].HasModel;
      if (known) series[k] = blockRows[k][row].Model;
    }
    if (known) r.CentrelineHalfWidth95[row] = BlockHalfWidth95(series);
  }
  if (r.Flux.Valid && r.Flux.Reference != 0) {
    for (size_t k = 0; k < blocks.size(); ++k) series[k] = SectionFlux(m, sectionVx[k]) / r.Flux.Reference;
    r.Flux.RatioHalfWidth95 = BlockHalfWidth95(series);
  }
}

void SummariseContractionHalfWidths(const AveragingState& s, const Model& m, Real from, ContractionSummary& c) {
  const size_t sections = c.Sections.size();
  std::vector<size_t> blocks;
  for (int32_t b = 0; b < s.BlockCount; ++b) {
    const auto k = static_cast<size_t>(b);
    if (s.BlockStart[k] >= from && s.BlockSamples[k] == s.BlockLength) blocks.push_back(k);
  }
  const size_t points = s.SamplePoints.size();
  const size_t stride = points * AveragingState::MomentsPerPoint;
  const size_t across = ContractionSectionPoints;
  // Per block, every section's mean profile (axis first), as SummariseContraction reads them.
  std::vector<double> profiles(blocks.size() * sections * across, 0.0);
  for (size_t p = 0; p < points; ++p) {
    const int32_t cell = s.SampleCell[p];
    if (cell > AveragingState::ContractionCell0) continue;
    const auto q = static_cast<size_t>(AveragingState::ContractionCell0 - cell);
    const size_t k = q / (across + 1), j = q % (across + 1);
    if (k >= sections || j == across) continue;  // the wall point is no strip
    for (size_t b = 0; b < blocks.size(); ++b)
      profiles[(b * sections + k) * across + j] = s.Moments[blocks[b] * stride + p * AveragingState::MomentsPerPoint];
  }
  std::vector<double> series(blocks.size());
  const double radius = static_cast<double>(m.ChannelRadius);
  for (size_t k = 0; k < sections; ++k) {
    bool finite = true;
    for (size_t b = 0; b < blocks.size(); ++b) {
      series[b] = SectionCc(std::span<const double>(profiles).subspan((b * sections + k) * across, across), radius);
      finite = finite && std::isfinite(series[b]);
    }
    c.Sections[k].CcHalfWidth95 = finite ? BlockHalfWidth95(series) : Unknown;
  }
  JudgeVenaContracta(c);
}

}  // namespace mdv
