#include "core/averages/averaging_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "core/averages/tracers.h"
#include "core/base/safe_file.h"

namespace mdv {

namespace {

constexpr double Unknown = std::numeric_limits<double>::quiet_NaN();

// Significant digits of the field values in the CSV table.
constexpr int CsvDigits = 10;

// Shortest text that reads back to the same double, with a decimal point
// (never the locale's separator); "null" for a value that is not finite.
std::string JsonNumber(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, res.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      const char* hex = "0123456789abcdef";
      buf[0] = '\\', buf[1] = 'u', buf[2] = '0', buf[3] = '0';
      buf[4] = hex[(c >> 4) & 0xF], buf[5] = hex[c & 0xF];
      out.append(buf, 6);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string CsvNumber(double v) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, CsvDigits);
  std::string s(buf, res.ptr);
  for (char& c : s) {
    if (c == '.') c = ',';
  }
  return s;
}

template <class T, class Fmt>
std::string JsonArray(const std::vector<T>& values, Fmt fmt) {
  std::string out = "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    out += fmt(values[i]);
  }
  return out + "]";
}

std::string Key(const char* name) { return std::string("\"") + name + "\": "; }

struct FieldArray {
  const char* name;
  const std::vector<double>* values;
};

std::vector<FieldArray> FieldArrays(const AveragingResults& r) {
  return {{"vx_mean", &r.Field.VxMean}, {"vy_mean", &r.Field.VyMean}, {"speed_mean", &r.Field.SpeedMean},
          {"vx_rms", &r.Field.VxRms},   {"vy_rms", &r.Field.VyRms},   {"speed_rms", &r.Field.SpeedRms}};
}

std::vector<FieldArray> HalfWidthArrays(const AveragingResults& r) {
  return {{"vx_mean_half_width_95", &r.Field.VxHalfWidth95},
          {"vy_mean_half_width_95", &r.Field.VyHalfWidth95},
          {"speed_mean_half_width_95", &r.Field.SpeedHalfWidth95}};
}

// "contraction": only for results that carry it, so that a file written
// before it was measured reads and writes again to the same bytes.
std::string ContractionJson(const ContractionSummary& c) {
  std::string j = "  " + Key("contraction") + "{" + Key("mouth") + "{" + Key("x") + JsonNumber(c.MouthX) + ", " +
                  Key("y") + JsonNumber(c.MouthY) + "}, " + Key("section_points") +
                  std::to_string(ContractionSectionPoints) + ", " + Key("wall_offset") + JsonNumber(c.WallOffset) +
                  ",\n    " + Key("sections") + "[";
  for (size_t i = 0; i < c.Sections.size(); ++i) {
    const ContractionSection& s = c.Sections[i];
    j += std::string(i > 0 ? "," : "") + "\n      {" + Key("x") + JsonNumber(s.X) + ", " + Key("x_over_D") +
         JsonNumber(s.XOverD) + ", " + Key("flux") + JsonNumber(s.Flux) + ", " + Key("cc") + JsonNumber(s.Cc) +
         ", " + Key("vx_wall") + JsonNumber(s.VxWall);
    // The momentum balance's sums: absent in a file written before them.
    if (std::isfinite(s.MomentumFlux) && std::isfinite(s.EnergyFlux) && std::isfinite(s.VxMax)) {
      j += ", " + Key("momentum_flux") + JsonNumber(s.MomentumFlux) + ", " + Key("energy_flux") +
           JsonNumber(s.EnergyFlux) + ", " + Key("vx_max") + JsonNumber(s.VxMax);
    }
    if (std::isfinite(s.ZeroRadius)) j += ", " + Key("r_zero") + JsonNumber(s.ZeroRadius);
    // The pressure across the section: absent in a file written before it.
    if (std::isfinite(s.AxisHead) && std::isfinite(s.PressureIntegral) && std::isfinite(s.PressureFlux) &&
        std::isfinite(s.WallPressure)) {
      j += ", " + Key("axis_head") + JsonNumber(s.AxisHead) + ", " + Key("pressure_integral") +
           JsonNumber(s.PressureIntegral) + ", " + Key("pressure_flux") + JsonNumber(s.PressureFlux) + ", " +
           Key("wall_pressure") + JsonNumber(s.WallPressure);
    }
    // Absent when not trusted, and in a file written before it.
    if (std::isfinite(s.CcHalfWidth95)) j += ", " + Key("cc_half_width_95") + JsonNumber(s.CcHalfWidth95);
    if (!s.Vx.empty()) {
      j += ", " + Key("vx") + "[";
      for (size_t k = 0; k < s.Vx.size(); ++k) j += (k > 0 ? ", " : "") + JsonNumber(s.Vx[k]);
      j += "]";
    }
    j += "}";
  }
  j += "],\n    " + Key("vena_contracta");
  if (c.HasVenaContracta) {
    j += "{" + Key("x") + JsonNumber(c.VenaX) + ", " + Key("x_over_D") + JsonNumber(c.VenaXOverD) + ", " +
         Key("cc") + JsonNumber(c.VenaCc) + ", " + Key("jet_radius") + JsonNumber(c.JetRadius) + ", " +
         Key("zeta_bc") + JsonNumber(c.ZetaBC) +
         (std::isfinite(c.ZetaM) ? ", " + Key("zeta_m") + JsonNumber(c.ZetaM) : std::string()) + "}";
  } else {
    j += "null";
  }
  const auto reattach = [&](double v) { return c.Reattached ? JsonNumber(v) : std::string("null"); };
  j += ",\n    " + Key("reattachment") + "{" + Key("separated") + (c.Separated ? "true" : "false") + ", " +
       Key("x") + reattach(c.ReattachX) + ", " + Key("length_over_D") + reattach(c.ReattachXOverD) + "}},\n";
  return j;
}

// "tracers": only for a run that released them.
std::string TracersJson(const TracerResults& t) {
  std::string j = "  " + Key("tracers") + "{" + Key("horizon") + JsonNumber(t.Horizon) + ", " +
                  Key("release_every") + JsonNumber(t.ReleaseEvery) + ", " + Key("far_radius") +
                  JsonNumber(t.FarRadius) + ", " + Key("stride") + std::to_string(t.Stride) + ", " +
                  Key("first_release") + (t.HasFirstRelease ? JsonNumber(t.FirstRelease) : "null") + ",\n    " +
                  Key("grid");
  const TracerGrid& g = t.Grid;
  if (g.Nx > 0) {
    j += "{" + Key("x0") + JsonNumber(g.X0) + ", " + Key("y0") + JsonNumber(g.Y0) + ", " + Key("dx") +
         JsonNumber(g.Dx) + ", " + Key("dy") + JsonNumber(g.Dy) + ", " + Key("nx") + std::to_string(g.Nx) + ", " +
         Key("ny") + std::to_string(g.Ny) + ", " + Key("source") +
         JsonArray(g.Source, [](int32_t v) { return std::to_string(v); }) + "}";
  } else {
    j += "null";
  }
  j += ",\n    " + Key("sources") + "[";
  for (size_t i = 0; i < t.Sources.size(); ++i) {
    const SourceResult& s = t.Sources[i];
    j += std::string(i > 0 ? "," : "") + "\n      {" + Key("x") + JsonNumber(static_cast<double>(s.Point.X)) +
         ", " + Key("y") + JsonNumber(static_cast<double>(s.Point.Y)) + ", " + Key("released") +
         std::to_string(s.Released) + ", " + Key("caught") + std::to_string(s.Caught) + ", " + Key("lost") +
         std::to_string(s.Lost) + ", " + Key("expired") + std::to_string(s.Expired) + ", " + Key("in_flight") +
         std::to_string(s.InFlight) + ", " + Key("caught_fraction") +
         (s.Known ? JsonNumber(s.CaughtFraction) : "null") + ", " + Key("median_capture_time") +
         (s.HasMedian ? JsonNumber(s.MedianTime) : "null") + "}";
  }
  return j + "]},\n";
}

// The caught fraction at each node of the field's grid that is a source of
// the tracer grid; -1 at every other node (no source, or no fate decided).
std::vector<double> CaptureFractionOnField(const AveragingResults& r) {
  const AveragingGrid& g = r.Field.Grid;
  const TracerGrid& t = r.Tracers.Grid;
  std::vector<double> out(g.Inside.size(), -1.0);
  if (t.Nx <= 0 || !(g.Dx > 0)) return out;
  const std::vector<double> f = CaptureFractionField(r.Tracers);
  const long k = std::lround(t.Dx / g.Dx);
  for (int32_t j = 0; j < t.Ny; ++j) {
    for (int32_t i = 0; i < t.Nx; ++i) {
      const long gi = i * k, gj = j * k;
      const double v = f[static_cast<size_t>(j) * static_cast<size_t>(t.Nx) + static_cast<size_t>(i)];
      if (gi >= g.Nx || gj >= g.Ny || !std::isfinite(v)) continue;
      out[static_cast<size_t>(gj) * static_cast<size_t>(g.Nx) + static_cast<size_t>(gi)] = v;
    }
  }
  return out;
}

bool Save(const std::string& text, const std::string& path, std::string& error) {
  return WriteFileAtomically(path, Bytes(text.begin(), text.end()), error);
}

}  // namespace

std::string AveragesJson(const AveragingResults& r) {
  const auto num = [](double v) { return JsonNumber(v); };
  std::string j = "{\n";
  j += "  " + Key("format") + "\"rinfet-mdv-averages\",\n";
  j += "  " + Key("version") + "1,\n";
  j += "  " + Key("precision") + JsonString(r.Precision) + ",\n";
  if (r.HasModelFacts) {
    j += "  " + Key("model") + JsonString(r.FlowModelName) + ",\n";
    j += "  " + Key("free_vortex_limit") + "{" + Key("limit") + std::to_string(r.FreeLimit) + ", " +
         Key("reached_at") + (r.FreeLimitTime >= 0 ? JsonNumber(r.FreeLimitTime) : "null") + "},\n";
    if (r.TimeStep > 0) j += "  " + Key("dt") + JsonNumber(r.TimeStep) + ",\n";
    if (!r.SeparationLines.empty()) {
      j += "  " + Key("separation_lines") + "[";
      for (size_t i = 0; i < r.SeparationLines.size(); ++i) {
        const CornerSeparation& c = r.SeparationLines[i];
        j += std::string(i > 0 ? "," : "") + "\n    {" + Key("corner") + std::to_string(c.Corner) + ", " +
             Key("reattached") + (c.Reattached ? "true" : "false") + ", " + Key("points") + "[";
        for (size_t k = 0; k < c.Points.size(); ++k)
          j += (k > 0 ? ", [" : "[") + JsonNumber(c.Points[k][0]) + ", " + JsonNumber(c.Points[k][1]) + "]";
        j += "]}";
      }
      j += "],\n";
    }
    if (!r.AreaKind.empty()) {
      j += "  " + Key("area") + "{" + Key("kind") + JsonString(r.AreaKind) + ", " + Key("contour") +
           JsonString(r.AreaContour) + "},\n";
    }
    if (!r.RefinedShedding.empty()) {
      j += "  " + Key("refined_set") + "{" + Key("shedding") + JsonString(r.RefinedShedding) + ", " +
           Key("placement") + JsonString(r.RefinedPlacement) + ", " + Key("smoothing_length") +
           JsonNumber(r.RefinedSmoothing) + ", " + Key("viscosity") + JsonNumber(r.RefinedViscosity) + "},\n";
    }
  }
  j += "  " + Key("start_time") + (r.HasAverages ? JsonNumber(r.StartTime) : "null") + ",\n";
  j += "  " + Key("end_time") + JsonNumber(r.EndTime) + ",\n";
  j += "  " + Key("samples") + std::to_string(r.Samples) + ",\n";
  j += "  " + Key("sample_every_steps") + std::to_string(r.SampleEverySteps) + ",\n";
  j += "  " + Key("steps") + std::to_string(r.Steps) + ",\n";

  j += "  " + Key("steady") + "{" + Key("reached") + (r.Steady.Reached ? "true" : "false") + ", " +
       Key("startup_end") + (r.Steady.StartupOver ? JsonNumber(static_cast<double>(r.Steady.StartupEnd)) : "null") +
       ", " + Key("tolerance") + JsonNumber(r.Steady.Tolerance) + ", " + Key("verdict") +
       JsonString(r.Steady.Text) + "},\n";

  j += "  " + Key("monitors") + "[\n";
  for (size_t i = 0; i < r.Monitors.size(); ++i) {
    const MonitorSummary& m = r.Monitors[i];
    // A half-width not trusted (correlated batch means) is not known: null,
    // as the window shows no figure for it.
    const bool trusted = m.Known && m.Trusted;
    j += "    {" + Key("name") + JsonString(m.Name) + ", " + Key("unit") + JsonString(m.Unit) + ", " +
         Key("mean") + (m.Known ? JsonNumber(m.Mean) : "null") + ", " + Key("half_width_95") +
         (trusted ? JsonNumber(m.HalfWidth95) : "null") + ", " + Key("relative_half_width") +
         (trusted ? JsonNumber(m.RelativeHalfWidth) : "null") + ", " + Key("samples") +
         std::to_string(m.Samples) + "}" + (i + 1 < r.Monitors.size() ? "," : "") + "\n";
  }
  j += "  ],\n";

  j += "  " + Key("centreline") + "[\n";
  for (size_t i = 0; i < r.Centreline.size(); ++i) {
    const CentrelineRow& c = r.Centreline[i];
    j += "    {" + Key("x_over_D") + JsonNumber(c.XOverD) + ", " + Key("model") +
         (c.HasModel ? JsonNumber(c.Model) : "null") + ", " + Key("disc_sink") + JsonNumber(c.DiscSink) + ", " +
         Key("dallavalle_flanged") + JsonNumber(c.DallaValleFlanged) + ", " + Key("dallavalle_plain") +
         JsonNumber(c.DallaVallePlain);
    if (r.HasHalfWidths) {
      const double hw = i < r.CentrelineHalfWidth95.size() ? r.CentrelineHalfWidth95[i] : Unknown;
      j += ", " + Key("model_half_width_95") + (c.HasModel ? JsonNumber(hw) : "null");
    }
    j += std::string("}") + (i + 1 < r.Centreline.size() ? "," : "") + "\n";
  }
  j += "  ],\n";

  const FluxSummary& f = r.Flux;
  const auto fv = [&](double v) { return f.Valid ? JsonNumber(v) : std::string("null"); };
  j += "  " + Key("flux") + "{" + Key("x") + fv(f.X) + ", " + Key("flux") + fv(f.Flux) + ", " +
       Key("reference") + fv(f.Reference) + ", " + Key("ratio") + fv(f.Ratio);
  if (r.HasHalfWidths) j += ", " + Key("ratio_half_width_95") + fv(f.RatioHalfWidth95);
  j += "},\n";

  const VortexZoneSummary& z = r.VortexZone;
  j += "  " + Key("vortex_zone") + "{" + Key("measured") + std::to_string(z.Measured) + ", " + Key("failed") +
       std::to_string(z.Failed) + ", " + Key("every_samples") + std::to_string(z.EverySamples) + ", " +
       Key("dimensions") + "{";
  for (int32_t d = 0; d < ZoneDimensionCount; ++d) {
    const DimensionSummary& s = z.Dimensions[static_cast<size_t>(d)];
    const bool known = z.Measured > 0;
    j += std::string(d > 0 ? ", " : "") + Key(ZoneDimensionKeys[d]) + "{" + Key("mean") +
         (known ? JsonNumber(s.Mean) : "null") + ", " + Key("sd") + (known ? JsonNumber(s.Sd) : "null") + "}";
  }
  j += "}},\n";

  if (r.Contraction.Present) j += ContractionJson(r.Contraction);
  if (r.Tracers.Present) j += TracersJson(r.Tracers);

  const AveragingGrid& g = r.Field.Grid;
  j += "  " + Key("grid") + "{\n";
  j += "    " + Key("x0") + JsonNumber(g.X0) + ", " + Key("y0") + JsonNumber(g.Y0) + ", " + Key("dx") +
       JsonNumber(g.Dx) + ", " + Key("dy") + JsonNumber(g.Dy) + ", " + Key("nx") + std::to_string(g.Nx) + ", " +
       Key("ny") + std::to_string(g.Ny) + ",\n";
  // How the grid was bounded: the spacing asked for, the region cut short of
  // the plane (or of twice the hood's height), the spacing widened. A file of
  // an earlier build, which does not say, is written back as it was.
  if (g.Spacing > 0) j += "    " + Key("spacing") + JsonNumber(g.Spacing) + ", " + Key("clipped") + (g.Clipped ? "true" : "false") +
       ", " + Key("coarsened") + (g.Coarsened ? "true" : "false") + ",\n";
  j += "    " + Key("inside") + JsonArray(g.Inside, [](uint8_t v) { return std::string(v ? "1" : "0"); });
  for (const FieldArray& a : FieldArrays(r)) j += ",\n    " + Key(a.name) + JsonArray(*a.values, num);
  // The half-widths, null where not known; an array with none known is null.
  if (r.HasHalfWidths) {
    for (const FieldArray& a : HalfWidthArrays(r)) {
      const bool any = std::any_of(a.values->begin(), a.values->end(), [](double v) { return std::isfinite(v); });
      j += ",\n    " + Key(a.name) + (any ? JsonArray(*a.values, num) : std::string("null"));
    }
  }
  j += "\n  }\n}\n";
  return j;
}

std::string FieldVti(const AveragingResults& r) {
  const AveragingGrid& g = r.Field.Grid;
  const std::string extent = "0 " + std::to_string(std::max(g.Nx - 1, 0)) + " 0 " +
                             std::to_string(std::max(g.Ny - 1, 0)) + " 0 0";
  std::string v = "<?xml version=\"1.0\"?>\n"
                  "<VTKFile type=\"ImageData\" version=\"0.1\" byte_order=\"LittleEndian\">\n";
  v += "  <ImageData WholeExtent=\"" + extent + "\" Origin=\"" + JsonNumber(g.X0) + " " + JsonNumber(g.Y0) +
       " 0\" Spacing=\"" + JsonNumber(g.Dx) + " " + JsonNumber(g.Dy) + " 1\">\n";
  v += "    <Piece Extent=\"" + extent + "\">\n";
  v += "      <PointData Scalars=\"speed_mean\" Vectors=\"velocity_mean\">\n";
  for (const FieldArray& a : FieldArrays(r)) {
    v += "        <DataArray type=\"Float64\" Name=\"" + std::string(a.name) + "\" format=\"ascii\">\n         ";
    for (double x : *a.values) {
      v += ' ';
      v += JsonNumber(x);
    }
    v += "\n        </DataArray>\n";
  }
  v += "        <DataArray type=\"Float64\" Name=\"velocity_mean\" NumberOfComponents=\"3\" format=\"ascii\">\n         ";
  for (size_t i = 0; i < r.Field.VxMean.size(); ++i) {
    v += ' ';
    v += JsonNumber(r.Field.VxMean[i]);
    v += ' ';
    v += JsonNumber(r.Field.VyMean[i]);
    v += " 0.0";
  }
  v += "\n        </DataArray>\n";
  if (r.Tracers.Present && r.Tracers.Grid.Nx > 0) {
    v += "        <DataArray type=\"Float64\" Name=\"capture_fraction\" format=\"ascii\">\n         ";
    for (double x : CaptureFractionOnField(r)) {
      v += ' ';
      v += JsonNumber(x);
    }
    v += "\n        </DataArray>\n";
  }
  v += "        <DataArray type=\"UInt8\" Name=\"inside\" format=\"ascii\">\n         ";
  for (uint8_t x : g.Inside) v += x ? " 1" : " 0";
  v += "\n        </DataArray>\n";
  v += "      </PointData>\n      <CellData>\n      </CellData>\n    </Piece>\n  </ImageData>\n</VTKFile>\n";
  return v;
}

std::string FieldCsv(const AveragingResults& r) {
  const AveragingGrid& g = r.Field.Grid;
  std::string c = "x [m];y [m];inside;vx_mean [m/s];vy_mean [m/s];speed_mean [m/s];vx_rms [m/s];"
                  "vy_rms [m/s];speed_rms [m/s]\n";
  const std::vector<FieldArray> arrays = FieldArrays(r);
  for (int32_t j = 0; j < g.Ny; ++j) {
    for (int32_t i = 0; i < g.Nx; ++i) {
      const size_t k = static_cast<size_t>(j) * static_cast<size_t>(g.Nx) + static_cast<size_t>(i);
      c += CsvNumber(g.X0 + g.Dx * i) + ";" + CsvNumber(g.Y0 + g.Dy * j) + ";" + (g.Inside[k] ? "1" : "0");
      for (const FieldArray& a : arrays) {
        c += ';';
        c += CsvNumber((*a.values)[k]);
      }
      c += "\n";
    }
  }
  return c;
}

bool SaveAveragesJson(const AveragingResults& r, const std::string& path, std::string& error) {
  return Save(AveragesJson(r), path, error);
}
bool SaveFieldVti(const AveragingResults& r, const std::string& path, std::string& error) {
  return Save(FieldVti(r), path, error);
}
bool SaveFieldCsv(const AveragingResults& r, const std::string& path, std::string& error) {
  return Save(FieldCsv(r), path, error);
}

}  // namespace mdv
