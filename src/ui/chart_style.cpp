#include "ui/chart_style.h"

#include <QCategoryAxis>
#include <QChart>
#include <QLocale>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace mdv {

void StyleChart(QChart* chart, QValueAxis* axisX, QValueAxis* axisY) {
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setLocalizeNumbers(true);
  chart->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
  chart->setBackgroundRoundness(0);
  chart->addAxis(axisX, Qt::AlignBottom);
  chart->addAxis(axisY, Qt::AlignLeft);
  axisX->setRange(0, 1);
  axisY->setRange(0, 1);
}

namespace {

void Fit(QValueAxis* axis, double lo, double hi) {
  if (!(lo <= hi)) {  // no points
    axis->setRange(0, 1);
    return;
  }
  double span = hi - lo;
  if (span <= 0) span = std::max(std::abs(lo), 1.0) * 1e-3;
  const double pad = span * 0.05;
  axis->setRange(lo - pad, hi + pad);
  axis->applyNiceNumbers();
}

}  // namespace

void FitAxes(QValueAxis* axisX, QValueAxis* axisY,
             std::initializer_list<const QList<QPointF>*> series) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  double x0 = inf, x1 = -inf, y0 = inf, y1 = -inf;
  for (const QList<QPointF>* s : series) {
    for (const QPointF& p : *s) {
      if (!std::isfinite(p.x()) || !std::isfinite(p.y())) continue;
      x0 = std::min(x0, p.x());
      x1 = std::max(x1, p.x());
      y0 = std::min(y0, p.y());
      y1 = std::max(y1, p.y());
    }
  }
  // Time runs from the first sample to the last, without padding.
  if (x0 < x1) {
    axisX->setRange(x0, x1);
  } else {
    Fit(axisX, x0, x1);
  }
  Fit(axisY, y0, y1);
}

QString FormatAxisValue(double v) {
  constexpr int Decimals = 5;
  constexpr double Scale = 1e5;  // 10^Decimals
  const QLocale ru(QLocale::Russian, QLocale::Russia);
  double rounded = std::round(v * Scale) / Scale;
  if (rounded == 0) rounded = 0;  // no "-0"
  QString text = ru.toString(rounded, 'f', Decimals);
  const QString comma = ru.decimalPoint();
  while (text.endsWith(QLatin1Char('0'))) text.chop(1);
  if (text.endsWith(comma)) text.chop(comma.size());
  return text;
}

double NiceTickStep(double range, int count) {
  if (!(range > 0) || !std::isfinite(range) || count < 1) return 1;
  const double raw = range / count;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double n = raw / mag;
  return (n < 1.5 ? 1 : n < 3 ? 2 : n < 7 ? 5 : 10) * mag;
}

void LabelAxisTicks(QCategoryAxis* axis) {
  for (const QString& label : axis->categoriesLabels()) axis->remove(label);
  const double lo = axis->min();
  const double hi = axis->max();
  // Labels at the multiples of a round step (1, 2 or 5 × 10ⁿ) inside the
  // range, about as many as the axis has ticks.
  const int ticks = std::max(axis->tickCount(), 2);
  const double step = NiceTickStep(hi - lo, ticks - 1);
  axis->setStartValue(lo);
  QStringList used;
  const double first = std::ceil(lo / step - 1e-9);
  for (double k = first; k * step <= hi + 1e-9 * step; k += 1) {
    const double at = k * step;
    QString label = FormatAxisValue(at);
    // An axis holds each label once; ticks closer than the format shows
    // (a step below 10⁻⁵) keep theirs apart by an invisible mark.
    while (used.contains(label)) label += QChar(0x200B);
    used << label;
    axis->append(label, std::clamp(at, lo, hi));
  }
}

QString PowerOfTenText(int exponent) {
  static const QChar digits[10] = {QChar(0x2070), QChar(0x00B9), QChar(0x00B2), QChar(0x00B3), QChar(0x2074),
                                   QChar(0x2075), QChar(0x2076), QChar(0x2077), QChar(0x2078), QChar(0x2079)};
  QString text = QStringLiteral("10");
  if (exponent < 0) text += QChar(0x207B);  // superscript minus
  for (const QChar c : QString::number(std::abs(exponent))) text += digits[c.digitValue()];
  return text;
}

}  // namespace mdv
