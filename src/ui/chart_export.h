#pragma once
// Putting a chart into a report: the picture as PNG and the series as a CSV
// table (semicolon-separated, decimal comma, UTF-8 with a byte-order mark so
// that spreadsheet programs of a Russian system read it as it is meant).
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class QWidget;

namespace mdv {

// Columns of equal length; the header names them. Numbers in the general
// format (15 significant digits, decimal comma).
std::string SeriesCsv(const QStringList& header, const std::vector<std::vector<double>>& columns);

// Writes the CSV text whole, replacing the file only when complete.
bool SaveCsvFile(const QString& path, const std::string& csv, QString& error);
// Grabs the widget as it is shown and writes it as PNG.
bool SaveWidgetPng(QWidget* widget, const QString& path, QString& error);

// The save dialogs of the two commands; an empty name when cancelled.
QString AskPngFileName(QWidget* parent, const QString& suggestedBase);
QString AskCsvFileName(QWidget* parent, const QString& suggestedBase);

}  // namespace mdv
