#include "ui/averages_json.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <cmath>
#include <limits>

namespace mdv {

namespace {

// Largest grid a file may declare (points); a real one has a few thousand.
constexpr qint64 kMaxGridPoints = 50'000'000;

// A number or null (NaN).
double Num(const QJsonValue& v) {
  return v.isDouble() ? v.toDouble() : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

bool ReadAveragesJson(const QString& path, AveragingResults& out, QString& error) {
  const QString name = QStringLiteral("«%1»: ").arg(QFileInfo(path).fileName());
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = name + QStringLiteral("файл не открывается (%1)").arg(f.errorString());
    return false;
  }
  QJsonParseError parse;
  const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &parse);
  if (doc.isNull() || !doc.isObject()) {
    error = name + QStringLiteral("это не документ JSON (%1)").arg(parse.errorString());
    return false;
  }
  const QJsonObject o = doc.object();
  if (o.value("format").toString() != QLatin1String("rinfet-mdv-averages") ||
      o.value("version").toInt(-1) != 1) {
    error = name + QStringLiteral("это не файл средних версии 1");
    return false;
  }
  AveragingResults r;
  r.Precision = o.value("precision").toString().toStdString();
  r.StartTime = Num(o.value("start_time"));
  r.EndTime = Num(o.value("end_time"));
  r.Samples = o.value("samples").toInteger();
  r.SampleEverySteps = o.value("sample_every_steps").toInt();
  r.Steps = o.value("steps").toInteger();

  const QJsonObject steady = o.value("steady").toObject();
  r.Steady.Reached = steady.value("reached").toBool();
  r.Steady.StartupOver = steady.value("startup_end").isDouble();
  r.Steady.StartupEnd = r.Steady.StartupOver ? steady.value("startup_end").toDouble() : 0;
  r.Steady.Tolerance = steady.value("tolerance").toDouble(DefaultSteadyTolerance);
  r.Steady.Text = steady.value("verdict").toString().toStdString();

  for (const QJsonValue& v : o.value("monitors").toArray()) {
    const QJsonObject m = v.toObject();
    MonitorSummary s;
    s.Name = m.value("name").toString().toStdString();
    s.Unit = m.value("unit").toString().toStdString();
    s.Known = m.value("mean").isDouble();
    s.Mean = Num(m.value("mean"));
    s.HalfWidth95 = Num(m.value("half_width_95"));
    s.RelativeHalfWidth = Num(m.value("relative_half_width"));
    s.Samples = m.value("samples").toInteger();
    r.Monitors.push_back(s);
  }
  for (const QJsonValue& v : o.value("centreline").toArray()) {
    const QJsonObject c = v.toObject();
    CentrelineRow row;
    row.XOverD = Num(c.value("x_over_D"));
    row.HasModel = c.value("model").isDouble();
    row.Model = Num(c.value("model"));
    row.DiscSink = Num(c.value("disc_sink"));
    row.DallaValleFlanged = Num(c.value("dallavalle_flanged"));
    row.DallaVallePlain = Num(c.value("dallavalle_plain"));
    r.Centreline.push_back(row);
  }
  const QJsonObject flux = o.value("flux").toObject();
  r.Flux.Valid = flux.value("flux").isDouble();
  r.Flux.X = Num(flux.value("x"));
  r.Flux.Flux = Num(flux.value("flux"));
  r.Flux.Reference = Num(flux.value("reference"));
  r.Flux.Ratio = Num(flux.value("ratio"));

  const QJsonObject zone = o.value("vortex_zone").toObject();
  r.VortexZone.Measured = zone.value("measured").toInt();
  r.VortexZone.Failed = zone.value("failed").toInt();
  r.VortexZone.EverySamples = zone.value("every_samples").toInt();
  const QJsonObject dims = zone.value("dimensions").toObject();
  for (int d = 0; d < ZoneDimensionCount; ++d) {
    const QJsonObject dim = dims.value(QLatin1String(ZoneDimensionKeys[d])).toObject();
    r.VortexZone.Dimensions[static_cast<std::size_t>(d)] = {Num(dim.value("mean")),
                                                             Num(dim.value("sd"))};
  }

  const QJsonObject grid = o.value("grid").toObject();
  AveragingGrid& g = r.Field.Grid;
  g.X0 = Num(grid.value("x0"));
  g.Y0 = Num(grid.value("y0"));
  g.Dx = Num(grid.value("dx"));
  g.Dy = Num(grid.value("dy"));
  const qint64 nx = grid.value("nx").toInteger(), ny = grid.value("ny").toInteger();
  if (!std::isfinite(g.X0) || !std::isfinite(g.Y0) || !(g.Dx > 0) || !(g.Dy > 0) || nx < 2 ||
      ny < 2 || nx > kMaxGridPoints / ny) {
    error = name + QStringLiteral("неверная сетка (nx = %1, ny = %2)").arg(nx).arg(ny);
    return false;
  }
  g.Nx = static_cast<int32_t>(nx);
  g.Ny = static_cast<int32_t>(ny);
  const auto points = static_cast<qsizetype>(nx * ny);
  const QJsonArray inside = grid.value("inside").toArray();
  if (inside.size() != points) {
    error = name + QStringLiteral("в сетке %1 точек, а в массиве inside %2")
                       .arg(points)
                       .arg(inside.size());
    return false;
  }
  g.Inside.reserve(static_cast<std::size_t>(points));
  for (const QJsonValue& v : inside) g.Inside.push_back(v.toInt() != 0 ? 1 : 0);
  struct Field {
    const char* key;
    std::vector<double>* values;
  };
  const Field fields[] = {{"vx_mean", &r.Field.VxMean},   {"vy_mean", &r.Field.VyMean},
                          {"speed_mean", &r.Field.SpeedMean}, {"vx_rms", &r.Field.VxRms},
                          {"vy_rms", &r.Field.VyRms},     {"speed_rms", &r.Field.SpeedRms}};
  for (const Field& fld : fields) {
    const QJsonArray a = grid.value(QLatin1String(fld.key)).toArray();
    if (a.size() != points) {
      error = name + QStringLiteral("в сетке %1 точек, а в массиве %2 %3")
                         .arg(points)
                         .arg(QLatin1String(fld.key))
                         .arg(a.size());
      return false;
    }
    fld.values->reserve(static_cast<std::size_t>(points));
    for (const QJsonValue& v : a) fld.values->push_back(Num(v));
  }
  r.HasAverages = r.Samples > 0;
  out = std::move(r);
  return true;
}

bool GridMatchesModel(const AveragingGrid& g, const Model& m) {
  if (!(g.Dx > 0)) return false;
  const AveragingGrid p = MakeAveragingGrid(m, g.Dx);
  // The file holds the shortest decimal text of each double: equal bits.
  return p.Nx == g.Nx && p.Ny == g.Ny && p.X0 == g.X0 && p.Y0 == g.Y0 && p.Dy == g.Dy &&
         p.Inside == g.Inside;
}

}  // namespace mdv
