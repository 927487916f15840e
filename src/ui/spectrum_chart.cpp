#include "ui/spectrum_chart.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/base/numfmt.h"
#include "ui/chart_export.h"

namespace mdv {

namespace {

// A log axis over [lo, hi] widened to whole decades; a flat or empty series
// gets one decade around it.
void FitDecades(QLogValueAxis* axis, double lo, double hi) {
  if (!(lo > 0) || !(hi >= lo) || !std::isfinite(hi)) {
    axis->setRange(1, 10);
    return;
  }
  double a = std::pow(10.0, std::floor(std::log10(lo)));
  double b = std::pow(10.0, std::ceil(std::log10(hi)));
  if (b <= a) b = a * 10;
  axis->setRange(a, b);
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

SpectrumChart::SpectrumChart(QWidget* parent) : QWidget(parent) {
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Спектральная плотность мощности"));
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setLocalizeNumbers(true);
  chart->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
  chart->setBackgroundRoundness(0);

  SeriesVx = new QLineSeries(chart);
  SeriesVx->setName(QStringLiteral("Продольная скорость Vx"));
  SeriesVx->setColor(QColor(255, 0, 0));
  SeriesVy = new QLineSeries(chart);
  SeriesVy->setName(QStringLiteral("Поперечная скорость Vy"));
  SeriesVy->setColor(QColor(0, 128, 0));
  Peaks = new QScatterSeries(chart);
  Peaks->setName(QStringLiteral("Пики"));
  Peaks->setColor(QColor(0, 0, 0));
  Peaks->setMarkerSize(8);
  chart->addSeries(SeriesVx);
  chart->addSeries(SeriesVy);
  chart->addSeries(Peaks);

  axisX_ = new QLogValueAxis(chart);
  axisX_->setTitleText(QStringLiteral("f, Гц"));
  axisX_->setLabelFormat(QStringLiteral("%.4g"));
  axisX_->setMinorTickCount(8);
  axisY_ = new QLogValueAxis(chart);
  axisY_->setTitleText(QStringLiteral("S, (м/с)²/Гц"));
  axisY_->setLabelFormat(QStringLiteral("%.0e"));
  chart->addAxis(axisX_, Qt::AlignBottom);
  chart->addAxis(axisY_, Qt::AlignLeft);
  for (QXYSeries* s : {static_cast<QXYSeries*>(SeriesVx), static_cast<QXYSeries*>(SeriesVy),
                       static_cast<QXYSeries*>(Peaks)}) {
    s->attachAxis(axisX_);
    s->attachAxis(axisY_);
  }
  Chart = new QChartView(chart, this);
  Chart->setRenderHint(QPainter::Antialiasing);

  note_ = new QLabel(this);
  note_->setAlignment(Qt::AlignCenter);
  note_->setWordWrap(true);
  stack_ = new QStackedWidget(this);
  stack_->addWidget(Chart);
  stack_->addWidget(note_);

  labPeakVx = new QLabel(this);
  labPeakVy = new QLabel(this);
  labMethod = new QLabel(this);
  for (QLabel* l : {labPeakVx, labPeakVy, labMethod})
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  labMethod->setWordWrap(true);

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->addWidget(stack_, 1);
  v->addWidget(labPeakVx);
  v->addWidget(labPeakVy);
  v->addWidget(labMethod);
}

bool SpectrumChart::ShowPoint(const PulsationRecord& r, int k) {
  PulsationSpectra s;
  std::string error;
  if (!CalcPulsationSpectra(r, k, s, error)) {
    ShowNote(Q(error));
    return false;
  }
  spectra_ = std::move(s);
  // A log axis has no room for f = 0 nor for a zero density: both are left out.
  constexpr double inf = std::numeric_limits<double>::infinity();
  double lo = inf, hi = -inf;
  auto points = [&](const PowerSpectrum& p) {
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(p.Frequency.size()));
    for (std::size_t j = 1; j < p.Frequency.size(); ++j) {
      if (!(p.Density[j] > 0)) continue;
      out.append(QPointF(p.Frequency[j], p.Density[j]));
      lo = std::min(lo, p.Density[j]);
      hi = std::max(hi, p.Density[j]);
    }
    return out;
  };
  SeriesVx->replace(points(spectra_.Vx));
  SeriesVy->replace(points(spectra_.Vy));
  Peaks->clear();
  for (const PowerSpectrum* p : {&spectra_.Vx, &spectra_.Vy})
    if (p->HasPeak) Peaks->append(p->PeakFrequency, p->Density[p->PeakIndex]);

  const PowerSpectrum& x = spectra_.Vx;
  // Whole decades on both axes, so that each carries labelled ticks.
  FitDecades(axisX_, x.Frequency[1], x.Frequency.back());
  FitDecades(axisY_, lo, hi);
  labPeakVx->setText(Q(PeakText("Vx", spectra_.Vx)));
  labPeakVy->setText(Q(PeakText("Vy", spectra_.Vy)));
  const double df = x.SampleRate / static_cast<double>(x.SegmentLength);
  labMethod->setText(QStringLiteral("Метод Уэлча: окно Ханна, отрезки по %1 отсчетов с "
                                    "перекрытием 50 %, отрезков %2; шаг по частоте %3 Гц")
                         .arg(x.SegmentLength)
                         .arg(x.SegmentCount)
                         .arg(Q(FormatGeneral(df))));
  stack_->setCurrentWidget(Chart);
  return true;
}

void SpectrumChart::ShowNote(const QString& text) {
  SeriesVx->clear();
  SeriesVy->clear();
  Peaks->clear();
  for (QLabel* l : {labPeakVx, labPeakVy, labMethod}) l->clear();
  spectra_ = {};
  note_->setText(text);
  stack_->setCurrentWidget(note_);
}

bool SpectrumChart::ChartShown() const { return stack_->currentWidget() == Chart; }

QString SpectrumChart::NoteText() const { return note_->text(); }

bool SpectrumChart::SavePng(const QString& path, QString& error) {
  return SaveWidgetPng(Chart, path, error);
}

bool SpectrumChart::SaveCsv(const QString& path, QString& error) {
  const std::vector<std::vector<double>> cols = {spectra_.Vx.Frequency, spectra_.Vx.Density,
                                                 spectra_.Vy.Density};
  const QStringList header = {QStringLiteral("f, Гц"), QStringLiteral("S(Vx), (м/с)²/Гц"),
                              QStringLiteral("S(Vy), (м/с)²/Гц")};
  return SaveCsvFile(path, SeriesCsv(header, cols), error);
}

}  // namespace mdv
