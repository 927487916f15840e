#include "ui/averages_json.h"

#include <QFile>
#include <QFileInfo>
#include <string>
#include <string_view>

#include "core/averages/averages_reading.h"

namespace mdv {

bool ReadAveragesJson(const QString& path, AveragingResults& out, QString& error) {
  const QString name = QStringLiteral("«%1»: ").arg(QFileInfo(path).fileName());
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    error = name + QStringLiteral("файл не открывается (%1)").arg(f.errorString());
    return false;
  }
  const QByteArray bytes = f.readAll();
  std::string why;
  AveragingResults r;
  if (!ReadAveragesText(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), r, why)) {
    error = name + QString::fromStdString(why);
    return false;
  }
  if (r.Field.Grid.Nx == 0) {  // the window draws the field: a file without one is of no use here
    error = name + QStringLiteral("в файле нет сетки средних");
    return false;
  }
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
