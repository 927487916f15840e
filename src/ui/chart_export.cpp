#include "ui/chart_export.h"

#include <QFileDialog>
#include <QPixmap>
#include <QWidget>
#include <algorithm>

#include "core/base/numfmt.h"
#include "core/base/safe_file.h"

namespace mdv {

std::string SeriesCsv(const QStringList& header, const std::vector<std::vector<double>>& columns) {
  std::string out = "\xEF\xBB\xBF";  // UTF-8 byte-order mark
  out += header.join(QLatin1Char(';')).toStdString();
  out += "\r\n";
  size_t rows = 0;
  for (const auto& c : columns) rows = std::max(rows, c.size());
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < columns.size(); ++c) {
      if (c > 0) out += ';';
      if (r < columns[c].size()) out += FormatGeneral(static_cast<Real>(columns[c][r]));
    }
    out += "\r\n";
  }
  return out;
}

bool SaveCsvFile(const QString& path, const std::string& csv, QString& error) {
  const Bytes data(csv.begin(), csv.end());
  std::string why;
  if (!WriteFileAtomically(path.toStdString(), data, why)) {
    error = QString::fromStdString(why);
    return false;
  }
  return true;
}

bool SaveWidgetPng(QWidget* widget, const QString& path, QString& error) {
  const QPixmap picture = widget->grab();
  if (picture.isNull() || !picture.save(path, "PNG")) {
    error = QStringLiteral("Не удалось записать рисунок в файл \"%1\"").arg(path);
    return false;
  }
  return true;
}

namespace {

QString AskSaveName(QWidget* parent, const QString& title, const QString& filter,
                    const QString& suffix, const QString& suggested) {
  QFileDialog dlg(parent, title);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setNameFilter(filter);
  dlg.setDefaultSuffix(suffix);
  dlg.selectFile(suggested);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().constFirst();
}

}  // namespace

QString AskPngFileName(QWidget* parent, const QString& suggestedBase) {
  return AskSaveName(parent, QStringLiteral("Сохранить график как рисунок"),
                     QStringLiteral("Рисунки PNG (*.png)"), QStringLiteral("png"),
                     suggestedBase + QStringLiteral(".png"));
}

QString AskCsvFileName(QWidget* parent, const QString& suggestedBase) {
  return AskSaveName(parent, QStringLiteral("Сохранить ряды графика"),
                     QStringLiteral("Таблицы CSV (*.csv)"), QStringLiteral("csv"),
                     suggestedBase + QStringLiteral(".csv"));
}

}  // namespace mdv
