#include "core/study/study_averages.h"

#include <cmath>
#include <limits>
#include <vector>

#include "core/averages/averages_reading.h"
#include "core/base/numfmt.h"

namespace mdv {

bool CaseAverages(const std::vector<StudySetting>& settings) {
  for (const StudySetting& s : settings) {
    if (s.Key == "until-steady" && s.Value != "false") return true;
    if (s.Key == "tolerance" || s.Key == "average-from" || s.Key == "tracers" || s.Key == "tracer-grid") return true;
  }
  return false;
}

bool AveragesResults(std::string_view json, const ResultRequest& request, CaseResults& out,
                     std::string& error) {
  out.clear();
  AveragingResults r;
  if (!ReadAveragesText(json, r, error)) {
    error = "Файл средних не прочитан: " + error;
    return false;
  }

  if (request.VortexZone && r.VortexZone.Measured > 0) {
    for (int32_t d = 0; d < ZoneDimensionCount; ++d) {
      const DimensionSummary& s = r.VortexZone.Dimensions[static_cast<size_t>(d)];
      const char* name = VortexZoneNames[d];
      if (!std::isfinite(s.Mean) || !std::isfinite(s.Sd)) {
        error = std::string("В файле средних нет размера вихревой зоны ") + name;
        return false;
      }
      out.push_back({name, "м", s.Mean});
      // The s.d. of one measurement is no spread (it would show as "± 0").
      if (r.VortexZone.Measured >= 2) out.push_back({ResultName(name, SdSuffix), "м", s.Sd});
    }
  }

  // The verdict first: a case that averaged says whether its flow settled.
  out.push_back({SteadyResultName, "", r.Steady.Reached ? Real{1} : Real{0}});
  // The user-given tracer sources (those not on the tracer grid); each says
  // itself whether it is known.
  if (request.Capture && r.Tracers.Present) {
    std::vector<uint8_t> onGrid(r.Tracers.Sources.size(), 0);
    for (const int32_t k : r.Tracers.Grid.Source) {
      if (k >= 0 && static_cast<size_t>(k) < onGrid.size()) onGrid[static_cast<size_t>(k)] = 1;
    }
    for (size_t k = 0; k < r.Tracers.Sources.size(); ++k) {
      const SourceResult& s = r.Tracers.Sources[k];
      if (onGrid[k]) continue;
      if (s.Known) out.push_back({ResultName("capture", ResultPointSuffix(s.Point)), "", s.CaughtFraction});
      if (s.HasMedian) out.push_back({ResultName("tcap", ResultPointSuffix(s.Point)), "с", s.MedianTime});
    }
  }

  // With no sample averaged (a run that ended before its start-up did) the
  // field and what follows from it are unknown: left out, never zeros.
  if (!r.HasAverages) return true;

  // A mean's 95 % half-width beside it, when the averaging trusts one.
  const auto withHalfWidth = [&](const std::string& name, const char* unit, double value, double halfWidth) {
    out.push_back({name, unit, value});
    if (std::isfinite(halfWidth)) out.push_back({name + HalfWidthSuffix, unit, halfWidth});
  };
  const auto at = [](const std::vector<double>& a, size_t k) {
    return k < a.size() ? a[k] : std::numeric_limits<double>::quiet_NaN();
  };

  for (const Real xd : request.CentrelineXD) {
    size_t best = r.Centreline.size();
    double bestGap = INFINITY;
    for (size_t i = 0; i < r.Centreline.size(); ++i) {
      const CentrelineRow& row = r.Centreline[i];
      if (!row.HasModel) continue;  // a station behind the plane has no model value
      const double gap = std::abs(row.XOverD - static_cast<double>(xd));
      if (gap < bestGap) {
        bestGap = gap;
        best = i;
      }
    }
    if (best < r.Centreline.size())
      withHalfWidth(ResultName("v/v0", "(x/D=" + FormatGeneral(xd) + ")"), "", r.Centreline[best].Model,
                    at(r.CentrelineHalfWidth95, best));
  }

  if (request.Flux && std::isfinite(r.Flux.Ratio)) withHalfWidth("flux_ratio", "", r.Flux.Ratio, r.Flux.RatioHalfWidth95);

  const ContractionSummary& c = r.Contraction;
  if (request.Contraction && c.HasVenaContracta) {
    out.push_back({"Cc", "", c.VenaCc});
    out.push_back({"xc/D", "", c.VenaXOverD});
    out.push_back({"rc", "м", c.JetRadius});
  }
  if (request.Contraction && c.Reattached) out.push_back({"Lr/D", "", c.ReattachXOverD});
  // The entry loss beside every vortex-zone result.
  if ((request.Contraction || request.VortexZone) && c.HasVenaContracta && std::isfinite(c.ZetaBC))
    out.push_back({"zeta_BC", "", c.ZetaBC});
  if ((request.Contraction || request.VortexZone) && c.HasVenaContracta && std::isfinite(c.ZetaM))
    out.push_back({"zeta_M", "", c.ZetaM});

  const AveragingGrid& g = r.Field.Grid;
  for (const TRealPoint& p : request.Points) {
    const double fi = std::round((static_cast<double>(p.X) - g.X0) / g.Dx);
    const double fj = std::round((static_cast<double>(p.Y) - g.Y0) / g.Dy);
    if (!(fi >= 0 && fi < g.Nx && fj >= 0 && fj < g.Ny)) continue;
    const size_t k = static_cast<size_t>(fj) * static_cast<size_t>(g.Nx) + static_cast<size_t>(fi);
    const double vx = r.Field.VxMean[k], vy = r.Field.VyMean[k], speed = r.Field.SpeedMean[k];
    if (g.Inside[k] == 0 || !std::isfinite(vx) || !std::isfinite(vy) || !std::isfinite(speed)) continue;
    withHalfWidth(ResultName("vx", ResultPointSuffix(p)), "м/с", vx, at(r.Field.VxHalfWidth95, k));
    withHalfWidth(ResultName("vy", ResultPointSuffix(p)), "м/с", vy, at(r.Field.VyHalfWidth95, k));
    withHalfWidth(ResultName("v", ResultPointSuffix(p)), "м/с", speed, at(r.Field.SpeedHalfWidth95, k));
  }
  return true;
}

}  // namespace mdv
