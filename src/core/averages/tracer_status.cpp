#include "core/averages/tracer_status.h"

#include <vector>

#include "core/base/numfmt.h"

namespace mdv {

namespace {

std::string Time(double t) { return FormatFixed(static_cast<Real>(t), 15, 2); }

}  // namespace

MarkerCounts CountMarkers(const TracerResults& r) {
  MarkerCounts c;
  std::vector<uint8_t> onGrid(r.Sources.size(), 0);
  for (const int32_t k : r.Grid.Source)
    if (k >= 0 && static_cast<size_t>(k) < onGrid.size()) onGrid[static_cast<size_t>(k)] = 1;
  for (size_t k = 0; k < r.Sources.size(); ++k) {
    const SourceResult& s = r.Sources[k];
    c.Released += s.Released;
    c.Caught += s.Caught;
    c.Lost += s.Lost;
    c.Expired += s.Expired;
    c.InFlight += s.InFlight;
    c.GridSources += onGrid[k];
    c.GridKnown += onGrid[k] && s.Known;
  }
  return c;
}

bool CaptureProvisional(const TracerResults& r) {
  for (const int32_t k : r.Grid.Source) {
    if (k < 0 || static_cast<size_t>(k) >= r.Sources.size()) continue;
    const SourceResult& s = r.Sources[static_cast<size_t>(k)];
    if (s.Released == 0) continue;  // a source lost at once has a fate; one not yet released none to wait for
    if (!s.Known || s.InFlight > s.Caught + s.Lost + s.Expired) return true;
  }
  return false;
}

std::string MarkerStatusText(const TracerResults& r, double now, int64_t shown) {
  const std::string inFlight = "в пути " + std::to_string(shown);
  if (!r.HasFirstRelease) {
    return "Маркеры: " + inFlight +
           " (только показ); счёт начнётся с «Осреднять с» или с конца разгона, который ещё не найден";
  }
  if (now < r.FirstRelease) {
    return "Маркеры: " + inFlight + " (только показ); счёт с t = " + Time(r.FirstRelease) + " с";
  }
  const MarkerCounts c = CountMarkers(r);
  std::string t = "Маркеры с t = " + Time(r.FirstRelease) + " с: выпущено " + std::to_string(c.Released) +
                  ", захвачено " + std::to_string(c.Caught) + ", потеряно " + std::to_string(c.Lost) +
                  ", не захвачено за T " + std::to_string(c.Expired) + ", в пути " + std::to_string(c.InFlight) +
                  "; T = " + FormatGeneral(static_cast<Real>(r.Horizon)) + " с. ";
  if (c.GridSources == 0) return t;
  // A fraction needs one fate; every source has one at the latest a horizon after its first release.
  const std::string all = Time(r.FirstRelease + r.Horizon);
  if (c.GridKnown == 0) return t + "Линии захвата: долей ещё нет, у всех точек — не раньше t = " + all + " с";
  t += "Доля захвата известна у " + std::to_string(c.GridKnown) + " из " + std::to_string(c.GridSources) + " точек; ";
  if (CaptureProvisional(r)) return t + "линии захвата предварительные (у всех точек — не раньше t = " + all + " с)";
  return t + "линии захвата — в «Осреднённом течении»";
}

}  // namespace mdv
