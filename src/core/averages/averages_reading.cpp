#include "core/averages/averages_reading.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// A value the file must not hold, with its key: thrown by the checked readers
// below, caught once, at the top.
struct Refusal {
  std::string Text;
};

[[noreturn]] void Refuse(const std::string& key, const Json& j, const std::string& what) {
  throw Refusal{"ключ «" + key + "»: " + (j.is_null() ? std::string("нет значения") : "значение " + j.dump()) +
                " — " + what};
}

// A caught fraction written with three decimals (by hand, or as shown) still
// agrees with its counts; one that is no share of them (0,7 of nothing) does not.
constexpr double FractionSlack = 5e-4;

// Whole numbers a double holds exactly: a count beyond it is no count of a run.
constexpr double MaxExactCount = 9007199254740992.0;  // 2^53

// A count: a non-negative whole number (written as an integer or as a whole
// float). The parser keeps a non-negative integer as unsigned: a signed one is negative.
int64_t Count(const Json& j, const std::string& key) {
  if (j.is_number_unsigned() && j.get<uint64_t>() <= static_cast<uint64_t>(MaxExactCount)) return j.get<int64_t>();
  if (j.is_number_float()) {
    const double v = j.get<double>();
    if (v >= 0 && v <= MaxExactCount && v == std::trunc(v)) return static_cast<int64_t>(v);
  }
  Refuse(key, j, "ожидается целое неотрицательное число");
}

// A count that older files may leave out: absent or null is 0.
int64_t CountOrNone(const Json& j, const std::string& key) { return j.is_null() ? 0 : Count(j, key); }

// A finite number in [low, high].
double Finite(const Json& j, const std::string& key, double low = -std::numeric_limits<double>::max(),
              double high = std::numeric_limits<double>::max()) {
  if (!j.is_number()) Refuse(key, j, "ожидается число");
  const double v = j.get<double>();
  if (!(v >= low && v <= high)) Refuse(key, j, "число вне допустимых пределов");
  return v;
}

// The tracers' section, checked: every count a count, the fates adding up to
// the released markers, each fraction the share the counts give, each time
// within the horizon.
void ReadTracers(const Json& tracers, TracerResults& t) {
  t.Present = true;
  t.Horizon = Finite(At(tracers, "horizon"), "tracers.horizon", std::numeric_limits<double>::min());
  t.ReleaseEvery = Num(At(tracers, "release_every"));
  t.FarRadius = Num(At(tracers, "far_radius"));
  const Json& stride = At(tracers, "stride");
  t.Stride = stride.is_null() ? 1 : static_cast<int32_t>(std::min<int64_t>(Count(stride, "tracers.stride"), INT32_MAX));
  if (t.Stride < 1) Refuse("tracers.stride", stride, "шаг выпуска меньше 1");
  t.HasFirstRelease = At(tracers, "first_release").is_number();
  t.FirstRelease = t.HasFirstRelease ? Finite(At(tracers, "first_release"), "tracers.first_release") : 0;
  const Json& sources = At(tracers, "sources");
  if (!sources.is_null() && !sources.is_array()) Refuse("tracers.sources", sources, "ожидается список");
  size_t index = 0;
  for (const Json& j : sources.is_array() ? sources : Json::array()) {
    const std::string at = "tracers.sources[" + std::to_string(index++) + "].";
    SourceResult s;
    s.Point = {static_cast<Real>(Finite(At(j, "x"), at + "x")), static_cast<Real>(Finite(At(j, "y"), at + "y"))};
    s.Released = Count(At(j, "released"), at + "released");
    s.Caught = Count(At(j, "caught"), at + "caught");
    s.Lost = Count(At(j, "lost"), at + "lost");
    s.Expired = Count(At(j, "expired"), at + "expired");
    s.InFlight = Count(At(j, "in_flight"), at + "in_flight");
    if (s.Caught + s.Lost + s.Expired + s.InFlight != s.Released)
      Refuse(at + "released", At(j, "released"),
             "не равно сумме захваченных, потерянных, не захваченных за T и оставшихся в пути (" +
                 std::to_string(s.Caught + s.Lost + s.Expired + s.InFlight) + ")");
    const int64_t decided = s.Caught + s.Lost + s.Expired;
    const Json& fraction = At(j, "caught_fraction");
    s.Known = fraction.is_number();
    if (s.Known) {
      s.CaughtFraction = Finite(fraction, at + "caught_fraction", 0, 1);
      const double share = decided > 0 ? static_cast<double>(s.Caught) / static_cast<double>(decided) : -1;
      if (!(std::abs(s.CaughtFraction - share) <= FractionSlack))
        Refuse(at + "caught_fraction", fraction,
               decided > 0 ? "не равно доле захваченных маркеров " + std::to_string(s.Caught) + " из " +
                                 std::to_string(decided)
                           : "ни один маркер не захвачен, не потерян и не вышел за горизонт");
    } else if (!fraction.is_null()) {
      Refuse(at + "caught_fraction", fraction, "ожидается число или null");
    }
    const Json& median = At(j, "median_capture_time");
    s.HasMedian = median.is_number();
    if (s.HasMedian) {
      s.MedianTime = Finite(median, at + "median_capture_time", 0, t.Horizon);
      if (s.Caught == 0) Refuse(at + "median_capture_time", median, "ни один маркер не захвачен");
    } else if (!median.is_null()) {
      Refuse(at + "median_capture_time", median, "ожидается число или null");
    }
    t.Sources.push_back(s);
  }
}

bool ReadAveragesChecked(std::string_view text, AveragingResults& out, std::string& error) {
  Json o;
  std::string lastKey;  // where the parser is, for its messages
  const Json::parser_callback_t track = [&lastKey](int, Json::parse_event_t event, Json& parsed) {
    if (event == Json::parse_event_t::key && parsed.is_string()) lastKey = parsed.get<std::string>();
    return true;
  };
  try {
    o = Json::parse(text.begin(), text.end(), track);
  } catch (const Json::parse_error& e) {
    error = "это не документ JSON (ошибка в символе " + std::to_string(e.byte) +
            (lastKey.empty() ? std::string() : ", после ключа «" + lastKey + "»") + ")";
    return false;
  } catch (const Json::out_of_range&) {
    // The parser's own text is English; only the key is kept.
    error = "число вне диапазона двойной точности" +
            (lastKey.empty() ? std::string() : std::string(", ключ «") + lastKey + "»");
    return false;
  } catch (const Json::exception&) {
    error = "это не документ JSON" + (lastKey.empty() ? std::string() : std::string(" (ключ «") + lastKey + "»)");
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
  if (At(o, "dt").is_number()) r.TimeStep = Num(At(o, "dt"));
  if (const Json& set = At(o, "refined_set"); set.is_object()) {  // files since the validated set
    r.RefinedShedding = Text(At(set, "shedding"));
    r.RefinedPlacement = Text(At(set, "placement"));
    r.RefinedSmoothing = Num(At(set, "smoothing_length"));
    r.RefinedViscosity = Num(At(set, "viscosity"));
  }
  if (const Json& area = At(o, "area"); area.is_object()) {  // files since contour areas
    r.AreaKind = Text(At(area, "kind"));
    r.AreaContour = Text(At(area, "contour"));
  }
  if (const Json& lines = At(o, "separation_lines"); lines.is_array()) {  // files since contour areas
    for (const Json& l : lines) {
      CornerSeparation c;
      c.Corner = static_cast<int>(Int(At(l, "corner")));
      c.Reattached = At(l, "reattached").is_boolean() && At(l, "reattached").get<bool>();
      if (const Json& p = At(l, "points"); p.is_array()) {
        for (const Json& q : p) {
          if (q.is_array() && q.size() == 2) c.Points.push_back({Num(q[0]), Num(q[1])});
        }
      }
      r.SeparationLines.push_back(std::move(c));
    }
  }
  const Json& limit = At(o, "free_vortex_limit");
  r.FreeLimit = static_cast<int32_t>(Int(At(limit, "limit")));
  r.FreeLimitTime = At(limit, "reached_at").is_number() ? Num(At(limit, "reached_at")) : -1;
  r.StartTime = Num(At(o, "start_time"));
  r.EndTime = Num(At(o, "end_time"));
  r.Samples = CountOrNone(At(o, "samples"), "samples");
  r.SampleEverySteps = static_cast<int32_t>(Int(At(o, "sample_every_steps")));
  r.Steps = CountOrNone(At(o, "steps"), "steps");

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
  r.VortexZone.Measured = static_cast<int32_t>(std::min<int64_t>(CountOrNone(At(zone, "measured"), "vortex_zone.measured"), INT32_MAX));
  r.VortexZone.Failed = static_cast<int32_t>(std::min<int64_t>(CountOrNone(At(zone, "failed"), "vortex_zone.failed"), INT32_MAX));
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
                              Num(At(s, "wall_pressure")), Num(At(s, "cc_half_width_95")), {}});
        if (const Json& vx = At(s, "vx"); vx.is_array()) {  // files since the profiled inlet
          for (const Json& v : vx) c.Sections.back().Vx.push_back(Num(v));
        }
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
    ReadTracers(tracers, t);
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

}  // namespace

bool ReadAveragesText(std::string_view text, AveragingResults& out, std::string& error) {
  try {
    return ReadAveragesChecked(text, out, error);
  } catch (const Refusal& r) {
    error = r.Text;
    return false;
  }
}

}  // namespace mdv
