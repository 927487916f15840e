#include "ui/contraction_chart.h"

#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/averages/entry_loss.h"
#include "ui/chart_style.h"

namespace mdv {

ContractionChart::ContractionChart(QWidget* parent) : QWidget(parent) {
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Сжатие струи в канале"));
  chart->legend()->setAlignment(Qt::AlignBottom);
  SeriesCc = new QLineSeries(chart);
  SeriesCc->setName(QStringLiteral("Cc = Q² / (πB²∫vx²dA)"));
  SeriesCc->setPen(QPen(QColor(0, 0, 0), 2));
  SeriesWall = new QLineSeries(chart);
  SeriesWall->setName(QStringLiteral("vx у стенки / средняя скорость сечения"));
  SeriesWall->setPen(QPen(QColor(0, 90, 200), 1.6, Qt::DashLine));
  SeriesVena = new QScatterSeries(chart);
  SeriesVena->setName(QStringLiteral("Сжатое сечение"));
  SeriesVena->setColor(QColor(200, 0, 0));
  SeriesVena->setMarkerSize(9);
  for (QXYSeries* s : std::initializer_list<QXYSeries*>{SeriesCc, SeriesWall, SeriesVena}) chart->addSeries(s);
  axisX_ = new QValueAxis(chart);
  axisY_ = new QValueAxis(chart);
  StyleChart(chart, axisX_, axisY_);
  axisX_->setTitleText(QStringLiteral("x/D от устья"));
  for (QXYSeries* s : std::initializer_list<QXYSeries*>{SeriesCc, SeriesWall, SeriesVena}) {
    s->attachAxis(axisX_);
    s->attachAxis(axisY_);
  }
  Chart = new QChartView(chart, this);
  Chart->setRenderHint(QPainter::Antialiasing);
  labText = new QLabel(this);
  labText->setWordWrap(true);
  labText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->addWidget(Chart, 1);
  v->addWidget(labText);
}

QString ContractionChart::BordaCarnotNote() {
  return QStringLiteral(
      "ζ по Борда–Карно — оценка по одному сжатию струи: потеря внезапного расширения равномерной струи "
      "площадью Cc·πB² до сечения канала; при почти плоском Cc(x) и обратном токе у стенки она неверна. "
      "Потери на входе — ζ по балансу импульса.");
}

void ContractionChart::ShowContraction(const ContractionSummary& c) {
  QList<QPointF> cc, wall, vena;
  const double pi = std::acos(-1.0);
  const double area = pi * c.MouthY * c.MouthY;  // the mouth's edge lies on the channel wall, y = B
  for (const ContractionSection& s : c.Sections) {
    if (std::isfinite(s.Cc)) cc.append(QPointF(s.XOverD, s.Cc));
    const double mean = area > 0 ? s.Flux / area : 0;  // m/s
    if (mean != 0 && std::isfinite(s.VxWall)) wall.append(QPointF(s.XOverD, s.VxWall / mean));
  }
  // Marked only where its place is a measurement (JudgeVenaContracta).
  if (c.HasVenaContracta && c.VenaStandsOut) vena.append(QPointF(c.VenaXOverD, c.VenaCc));
  SeriesCc->replace(cc);
  SeriesWall->replace(wall);
  SeriesVena->replace(vena);
  double low = 0, top = 1, right = 1;
  for (const QList<QPointF>* l : {&cc, &wall}) {
    for (const QPointF& q : *l) {
      low = std::min(low, q.y());
      top = std::max(top, q.y());
      right = std::max(right, q.x());
    }
  }
  axisY_->setRange(std::floor(low / 0.25) * 0.25, std::ceil(top / 0.25 - 1e-9) * 0.25);
  axisY_->setTickType(QValueAxis::TicksDynamic);
  axisY_->setTickAnchor(0);
  axisY_->setTickInterval(0.25);
  axisX_->setRange(0, std::ceil(right / 0.5 - 1e-9) * 0.5);
  axisX_->setTickType(QValueAxis::TicksDynamic);
  axisX_->setTickAnchor(0);
  axisX_->setTickInterval(0.5);
  QString text = c.Present ? QString::fromStdString(ContractionText(c)).trimmed()
                           : QStringLiteral("Сжатие струи в этих средних не измерялось.");
  labText->setText(text);
  // The momentum balance's terms on hovering; the mouth edge lies on the
  // channel's wall, y = B, whatever the flange.
  labText->setToolTip(c.Present ? BordaCarnotNote() + QStringLiteral("\n\n") +
                                      QString::fromStdString(MomentumBalanceText(BalanceMomentum(c, c.MouthY))).trimmed()
                                : QString());
}

}  // namespace mdv
