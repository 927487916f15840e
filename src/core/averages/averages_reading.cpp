#include "core/averages/averages_reading.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace mdv {

namespace {

using Json = nlohmann::json;

const Json& Null() {
  static const Json null;
  return null;
}

// The member `key` of an object, or null when `j` is no object or lacks it.
const Json& At(const Json& j, const char* key) {
  if (!j.is_object()) return Null();
  const auto it = j.find(key);
  return it == j.end() ? Null() : *it;
}

// A number, or NaN for null and anything else.
double Num(const Json& j) {
  return j.is_number() ? j.get<double>() : std::numeric_limits<double>::quiet_NaN();
}

int64_t Int(const Json& j, int64_t otherwise = 0) {
  if (j.is_number_integer()) return j.get<int64_t>();
  if (j.is_number_float()) {
    const double v = j.get<double>();
    if (v == std::trunc(v) && std::abs(v) < 9.0e18) return static_cast<int64_t>(v);
  }
  return otherwise;
}

std::string Text(const Json& j) { return j.is_string() ? j.get<std::string>() : std::string(); }

}  // namespace

bool ReadAveragesText(std::string_view text, AveragingResults& out, std::string& error) {
  Json o;
  try {
    o = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& e) {
    error = "это не документ JSON (ошибка в символе " + std::to_string(e.byte) + ")";
    return false;
  }
  if (Text(At(o, "format")) != "rinfet-mdv-averages" || Int(At(o, "version"), -1) != 1) {
    error = "это не файл средних версии 1";
    return false;
  }
  AveragingResults r;
  r.Precision = Text(At(o, "precision"));
  // Files of older runs have neither: the program's model, limit unknown.
  r.HasModelFacts = At(o, "model").is_string();
  if (r.HasModelFacts) r.FlowModelName = Text(At(o, "model"));
  const Json& limit = At(o, "free_vortex_limit");
  r.FreeLimit = static_cast<int32_t>(Int(At(limit, "limit")));
  r.FreeLimitTime = At(limit, "reached_at").is_number() ? Num(At(limit, "reached_at")) : -1;
  r.StartTime = Num(At(o, "start_time"));
  r.EndTime = Num(At(o, "end_time"));
  r.Samples = Int(At(o, "samples"));
  r.SampleEverySteps = static_cast<int32_t>(Int(At(o, "sample_every_steps")));
  r.Steps = Int(At(o, "steps"));

  const Json& steady = At(o, "steady");
  r.Steady.Reached = At(steady, "reached").is_boolean() && At(steady, "reached").get<bool>();
  r.Steady.StartupOver = At(steady, "startup_end").is_number();
  r.Steady.StartupEnd = r.Steady.StartupOver ? static_cast<Real>(Num(At(steady, "startup_end"))) : 0;
  r.Steady.Tolerance = At(steady, "tolerance").is_number() ? Num(At(steady, "tolerance")) : DefaultSteadyTolerance;
  r.Steady.Text = Text(At(steady, "verdict"));

  if (At(o, "monitors").is_array()) {
    for (const Json& m : At(o, "monitors")) {
      MonitorSummary s;
      s.Name = Text(At(m, "name"));
      s.Unit = Text(At(m, "unit"));
      s.Known = At(m, "mean").is_number();
      s.Mean = Num(At(m, "mean"));
      s.Trusted = s.Known && At(m, "half_width_95").is_number();
      s.HalfWidth95 = Num(At(m, "half_width_95"));
      s.RelativeHalfWidth = Num(At(m, "relative_half_width"));
      s.Samples = Int(At(m, "samples"));
      r.Monitors.push_back(s);
    }
  }
  // Files of earlier versions have no half-widths of the field's means.
  r.HasHalfWidths = At(o, "flux").is_object() && At(o, "flux").contains("ratio_half_width_95");
  if (At(o, "centreline").is_array()) {
    for (const Json& c : At(o, "centreline")) {
      CentrelineRow row;
      row.XOverD = Num(At(c, "x_over_D"));
      row.HasModel = At(c, "model").is_number();
      row.Model = Num(At(c, "model"));
      row.DiscSink = Num(At(c, "disc_sink"));
      row.DallaValleFlanged = Num(At(c, "dallavalle_flanged"));
      row.DallaVallePlain = Num(At(c, "dallavalle_plain"));
      r.Centreline.push_back(row);
      r.CentrelineHalfWidth95.push_back(Num(At(c, "model_half_width_95")));
    }
  }
  const Json& flux = At(o, "flux");
  r.Flux.Valid = At(flux, "flux").is_number();
  r.Flux.X = Num(At(flux, "x"));
  r.Flux.Flux = Num(At(flux, "flux"));
  r.Flux.Reference = Num(At(flux, "reference"));
  r.Flux.Ratio = Num(At(flux, "ratio"));
  r.Flux.RatioHalfWidth95 = Num(At(flux, "ratio_half_width_95"));

  const Json& zone = At(o, "vortex_zone");
  r.VortexZone.Measured = static_cast<int32_t>(Int(At(zone, "measured")));
  r.VortexZone.Failed = static_cast<int32_t>(Int(At(zone, "failed")));
  r.VortexZone.EverySamples = static_cast<int32_t>(Int(At(zone, "every_samples")));
  for (int d = 0; d < ZoneDimensionCount; ++d) {
    const Json& dim = At(At(zone, "dimensions"), ZoneDimensionKeys[d]);
    r.VortexZone.Dimensions[static_cast<size_t>(d)] = {Num(At(dim, "mean")), Num(At(dim, "sd"))};
  }

  // The contraction: absent in a file written before it was measured.
  const Json& contraction = At(o, "contraction");
  if (contraction.is_object()) {
    ContractionSummary& c = r.Contraction;
    c.Present = true;
    c.MouthX = Num(At(At(contraction, "mouth"), "x"));
    c.MouthY = Num(At(At(contraction, "mouth"), "y"));
    c.WallOffset = Num(At(contraction, "wall_offset"));
    if (At(contraction, "sections").is_array()) {
      for (const Json& s : At(contraction, "sections")) {
        c.Sections.push_back({Num(At(s, "x")), Num(At(s, "x_over_D")), Num(At(s, "flux")), Num(At(s, "cc")),
                              Num(At(s, "vx_wall")), Num(At(s, "momentum_flux")), Num(At(s, "energy_flux")),
                              Num(At(s, "vx_max")), Num(At(s, "r_zero")), Num(At(s, "axis_head")),
                              Num(At(s, "pressure_integral")), Num(At(s, "pressure_flux")),
                              Num(At(s, "wall_pressure")), Num(At(s, "cc_half_width_95"))});
      }
    }
    const Json& vena = At(contraction, "vena_contracta");
    c.HasVenaContracta = At(vena, "cc").is_number();
    c.VenaX = Num(At(vena, "x"));
    c.VenaXOverD = Num(At(vena, "x_over_D"));
    c.VenaCc = Num(At(vena, "cc"));
    c.JetRadius = Num(At(vena, "jet_radius"));
    c.ZetaBC = Num(At(vena, "zeta_bc"));
    c.ZetaM = Num(At(vena, "zeta_m"));
    JudgeVenaContracta(c);
    const Json& reattachment = At(contraction, "reattachment");
    c.Separated = At(reattachment, "separated").is_boolean() && At(reattachment, "separated").get<bool>();
    c.Reattached = At(reattachment, "x").is_number();
    c.ReattachX = Num(At(reattachment, "x"));
    c.ReattachXOverD = Num(At(reattachment, "length_over_D"));
  }

  // The tracers: only when the run released them.
  const Json& tracers = At(o, "tracers");
  if (tracers.is_object()) {
    TracerResults& t = r.Tracers;
    t.Present = true;
    t.Horizon = Num(At(tracers, "horizon"));
    t.ReleaseEvery = Num(At(tracers, "release_every"));
    t.FarRadius = Num(At(tracers, "far_radius"));
    t.Stride = static_cast<int32_t>(Int(At(tracers, "stride"), 1));
    t.HasFirstRelease = At(tracers, "first_release").is_number();
    t.FirstRelease = t.HasFirstRelease ? Num(At(tracers, "first_release")) : 0;
    if (At(tracers, "sources").is_array()) {
      for (const Json& j : At(tracers, "sources")) {
        SourceResult s;
        s.Point = {static_cast<Real>(Num(At(j, "x"))), static_cast<Real>(Num(At(j, "y")))};
        s.Released = Int(At(j, "released"));
        s.Caught = Int(At(j, "caught"));
        s.Lost = Int(At(j, "lost"));
        s.Expired = Int(At(j, "expired"));
        s.InFlight = Int(At(j, "in_flight"));
        s.Known = At(j, "caught_fraction").is_number();
        s.CaughtFraction = s.Known ? Num(At(j, "caught_fraction")) : 0;
        s.HasMedian = At(j, "median_capture_time").is_number();
        s.MedianTime = s.HasMedian ? Num(At(j, "median_capture_time")) : 0;
        t.Sources.push_back(s);
      }
    }
    const Json& g = At(tracers, "grid");
    if (g.is_object()) {
      const int64_t nx = Int(At(g, "nx")), ny = Int(At(g, "ny"));
      const Json& source = At(g, "source");
      if (nx < 1 || ny < 1 || nx > MaxAveragesGridPoints / ny || !source.is_array() ||
          static_cast<int64_t>(source.size()) != nx * ny) {
        error = "неверная сетка маркеров (nx = " + std::to_string(nx) + ", ny = " + std::to_string(ny) + ")";
        return false;
      }
      t.Grid.X0 = Num(At(g, "x0"));
      t.Grid.Y0 = Num(At(g, "y0"));
      t.Grid.Dx = Num(At(g, "dx"));
      t.Grid.Dy = Num(At(g, "dy"));
      t.Grid.Nx = static_cast<int32_t>(nx);
      t.Grid.Ny = static_cast<int32_t>(ny);
      for (const Json& v : source) {
        const int64_t k = Int(v, -1);
        t.Grid.Source.push_back(k >= 0 && k < static_cast<int64_t>(t.Sources.size()) ? static_cast<int32_t>(k) : -1);
      }
    }
  }

  // The grid: absent means no field was written; present, it must be whole.
  // An absent array holds unknown values (NaN; no flow points for "inside").
  const Json& grid = At(o, "grid");
  if (grid.is_object()) {
    AveragingGrid& g = r.Field.Grid;
    g.X0 = Num(At(grid, "x0"));
    g.Y0 = Num(At(grid, "y0"));
    g.Dx = Num(At(grid, "dx"));
    g.Dy = Num(At(grid, "dy"));
    // Files of earlier builds say nothing of how the grid was bounded.
    g.Spacing = Num(At(grid, "spacing"));
    g.Clipped = At(grid, "clipped").is_boolean() && At(grid, "clipped").get<bool>();
    g.Coarsened = At(grid, "coarsened").is_boolean() && At(grid, "coarsened").get<bool>();
    const int64_t nx = Int(At(grid, "nx")), ny = Int(At(grid, "ny"));
    if (!std::isfinite(g.X0) || !std::isfinite(g.Y0) || !(g.Dx > 0) || !(g.Dy > 0) || nx < 2 || ny < 2 ||
        nx > MaxAveragesGridPoints / ny) {
      error = "неверная сетка (nx = " + std::to_string(nx) + ", ny = " + std::to_string(ny) + ")";
      return false;
    }
    g.Nx = static_cast<int32_t>(nx);
    g.Ny = static_cast<int32_t>(ny);
    const auto points = static_cast<size_t>(nx * ny);
    const auto array = [&](const char* key, auto&& take, auto&& unknown) {
      const Json& a = At(grid, key);
      if (a.is_null()) {
        for (size_t k = 0; k < points; ++k) unknown();
        return true;
      }
      const size_t n = a.is_array() ? a.size() : 0;
      if (n != points) {
        error = "в сетке " + std::to_string(points) + " точек, а в массиве " + key + " " + std::to_string(n);
        return false;
      }
      for (const Json& v : a) take(v);
      return true;
    };
    g.Inside.reserve(points);
    if (!array(
            "inside", [&](const Json& v) { g.Inside.push_back(Int(v) != 0 ? 1 : 0); },
            [&] { g.Inside.push_back(0); }))
      return false;
    struct Field {
      const char* key;
      std::vector<double>* values;
    };
    const Field fields[] = {{"vx_mean", &r.Field.VxMean}, {"vy_mean", &r.Field.VyMean},
                            {"speed_mean", &r.Field.SpeedMean}, {"vx_rms", &r.Field.VxRms},
                            {"vy_rms", &r.Field.VyRms}, {"speed_rms", &r.Field.SpeedRms},
                            {"vx_mean_half_width_95", &r.Field.VxHalfWidth95},
                            {"vy_mean_half_width_95", &r.Field.VyHalfWidth95},
                            {"speed_mean_half_width_95", &r.Field.SpeedHalfWidth95}};
    for (const Field& f : fields) {
      f.values->reserve(points);
      if (!array(
              f.key, [&](const Json& v) { f.values->push_back(Num(v)); },
              [&] { f.values->push_back(std::numeric_limits<double>::quiet_NaN()); }))
        return false;
    }
  }
  r.HasAverages = r.Samples > 0;
  out = std::move(r);
  return true;
}

}  // namespace mdv
