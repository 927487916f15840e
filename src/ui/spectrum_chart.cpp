#include "ui/spectrum_chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "core/averages/record_spectrum.h"
#include "core/base/numfmt.h"
#include "ui/chart_export.h"
#include "ui/chart_style.h"

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

// The density axis over whole decades of log10 S, each decade labelled 10ⁿ.
void LabelDecades(QCategoryAxis* axis, double lo, double hi) {
  for (const QString& label : axis->categoriesLabels()) axis->remove(label);
  int a = 0, b = 1;
  if (lo > 0 && hi >= lo && std::isfinite(hi)) {
    a = static_cast<int>(std::floor(std::log10(lo)));
    b = static_cast<int>(std::ceil(std::log10(hi)));
    if (b <= a) b = a + 1;
  }
  axis->setRange(a, b);
  axis->setStartValue(a);
  // At most about eight labels: every decade, or every second, third…
  const int every = (b - a + 7) / 8;
  for (int e = a; e <= b; ++e)
    if ((e - a) % every == 0) axis->append(PowerOfTenText(e), e);
}

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
  // The density on a log scale: the series hold log10 S, the labels read 10ⁿ.
  axisY_ = new QCategoryAxis(chart);
  axisY_->setTitleText(QStringLiteral("S, (м/с)²/Гц"));
  axisY_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
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

  edFrom = new QLineEdit(this);
  edFrom->setObjectName(QStringLiteral("edFrom"));
  edFrom->setFixedWidth(60);
  edFrom->setPlaceholderText(QStringLiteral("авто"));
  edFrom->setToolTip(QStringLiteral("Спектр с этого момента, с; пусто - с конца разгона, найденного по записи"));
  labFrom = new QLabel(this);
  labFrom->setWordWrap(true);
  connect(edFrom, &QLineEdit::editingFinished, this, &SpectrumChart::edFromChange);
  auto* from = new QHBoxLayout;
  from->addWidget(new QLabel(QStringLiteral("Спектр с t ="), this));
  from->addWidget(edFrom);
  from->addWidget(new QLabel(QStringLiteral("с"), this));
  from->addSpacing(8);
  from->addWidget(labFrom, 1);

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->addLayout(from);
  v->addWidget(stack_, 1);
  v->addWidget(labPeakVx);
  v->addWidget(labPeakVy);
  v->addWidget(labMethod);
}

bool SpectrumChart::ShowPoint(const PulsationRecord& r, int k) {
  record_ = &r;
  point_ = k;
  PulsationSpectra s;
  SpectrumStart start;
  std::string error;
  std::optional<Real> from;
  const QString fromText = edFrom->text().trimmed();
  if (!fromText.isEmpty()) {
    from = ParseRealLenient(fromText.toStdString());
    if (!from || !std::isfinite(*from)) {
      ShowNote(Q(InvalidFloatMessage(fromText.toStdString())));
      return false;
    }
  }
  if (!RecordSpectra(r, k, from, s, start, error)) {
    ShowNote(Q(error));
    return false;
  }
  labFrom->setText(Q(SpectrumStartText(start)));
  spectra_ = std::move(s);
  // A log axis has no room for f = 0 nor for a zero density: both are left out.
  constexpr double inf = std::numeric_limits<double>::infinity();
  double lo = inf, hi = -inf;
  auto points = [&](const PowerSpectrum& p) {
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(p.Frequency.size()));
    for (std::size_t j = 1; j < p.Frequency.size(); ++j) {
      if (!(p.Density[j] > 0)) continue;
      out.append(QPointF(p.Frequency[j], std::log10(p.Density[j])));
      lo = std::min(lo, p.Density[j]);
      hi = std::max(hi, p.Density[j]);
    }
    return out;
  };
  SeriesVx->replace(points(spectra_.Vx));
  SeriesVy->replace(points(spectra_.Vy));
  Peaks->clear();
  for (const PowerSpectrum* p : {&spectra_.Vx, &spectra_.Vy})
    if (p->HasPeak && !p->PeakAtLowest) Peaks->append(p->PeakFrequency, std::log10(p->Density[p->PeakIndex]));

  const PowerSpectrum& x = spectra_.Vx;
  // Whole decades on both axes, so that each carries labelled ticks.
  FitDecades(axisX_, x.Frequency[1], x.Frequency.back());
  LabelDecades(axisY_, lo, hi);
  labPeakVx->setText(Q(PeakText("Vx", spectra_.Vx)));
  labPeakVy->setText(Q(PeakText("Vy", spectra_.Vy)));
  const double df = x.SampleRate / static_cast<double>(x.SegmentLength);
  labMethod->setText(QStringLiteral("Метод Уэлча: окно Ханна, из каждого отрезка вычтены среднее и "
                                    "линейный тренд; отрезки по %1 отсчетов с "
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
  for (QLabel* l : {labPeakVx, labPeakVy, labMethod, labFrom}) l->clear();
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
  return SaveCsvFile(path, SpectrumCsv(spectra_), error);
}

void SpectrumChart::edFromChange() {
  if (record_) ShowPoint(*record_, point_);
}

}  // namespace mdv
