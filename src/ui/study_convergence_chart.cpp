// The study window's chart under "Сходимость", and the result it opens on.
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

#include "core/study/convergence_table.h"
#include "ui/chart_style.h"
#include "ui/study_view.h"

namespace mdv {

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Points of each fitted curve from step 0 to the coarsest step.
constexpr int kFitPoints = 40;

}  // namespace

int StudyView::OwnResult() const {
  // The vortex zone is measured by default; a study that asked for the entry
  // loss or the capture zone was made for those.
  for (const auto& own : {std::string("zeta_M"), std::string("capture(")}) {
    for (size_t i = 0; i < plotted_.size(); ++i)
      if (table_.Results[plotted_[i]].Name.compare(0, own.size(), own) == 0) return static_cast<int>(i);
  }
  return plotted_.empty() ? -1 : 0;
}

void StudyView::DrawConvergenceChart(size_t result, size_t param) {
  QChart* chart = Chart1->chart();
  const size_t key = param >= table_.Swept && param - table_.Swept < table_.Refined.size() ? param - table_.Swept : 0;
  axisX_->setTitleText(Text(AxisTitle(table_.Params[table_.Swept + key], false)));
  axisX_->setLabelFormat(QString());
  yTitle_ = cbResult->currentText();
  FitYTitle();
  static const QColor colours[] = {QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44),
                                   QColor(214, 39, 40), QColor(148, 103, 189), QColor(140, 86, 75)};
  QList<QPointF> all;
  int index = 0;
  for (const ConvergenceRow& row : StudyConvergence(table_)) {
    if (row.Result != result || table_.Refinements[row.Series].Key != key) continue;
    const QColor colour = colours[index++ % std::size(colours)];
    auto* line = new QLineSeries;
    line->setPen(QPen(colour, 2));
    line->setPointsVisible(true);
    std::string title = RefinementPointTitle(table_, table_.Refinements[row.Series]);
    line->setName(Text(title + (title.empty() ? "" : ": ") + ConvergenceSummary(row.Index)));
    for (size_t i = 0; i < row.Steps.size(); ++i) {
      if (!row.Values[i] || !std::isfinite(*row.Values[i])) continue;
      const QPointF p(static_cast<double>(row.Steps[i]), static_cast<double>(*row.Values[i]));
      line->append(p);
      all << p;
    }
    chart->addSeries(line);
    line->attachAxis(axisX_);
    line->attachAxis(axisY_);
    const ConvergenceIndex& x = row.Index;
    if (x.Verdict != ConvergenceVerdict::Monotone || !row.Values[0]) continue;
    // φ_ext + (φ1 − φ_ext)(h/h1)^p from step 0, and φ_ext itself at 0.
    auto* fit = new QLineSeries;
    fit->setPen(QPen(colour, 1, Qt::DashLine));
    const double ext = static_cast<double>(x.Extrapolated), h1 = static_cast<double>(row.Steps[0]);
    const double c = static_cast<double>(*row.Values[0]) - ext, p = static_cast<double>(x.Order);
    const double hMax = static_cast<double>(row.Steps.back());
    for (int k = 0; k <= kFitPoints; ++k) {
      const double h = hMax * k / kFitPoints;
      fit->append(h, ext + c * std::pow(h / h1, p));
    }
    auto* limit = new QScatterSeries;
    limit->setColor(colour);
    limit->setMarkerSize(10);
    limit->append(0, ext);
    all << QPointF(0, ext);
    for (QXYSeries* s : std::initializer_list<QXYSeries*>{fit, limit}) {
      chart->addSeries(s);
      s->attachAxis(axisX_);
      s->attachAxis(axisY_);
      for (QLegendMarker* m : chart->legend()->markers(s)) m->setVisible(false);
    }
  }
  if (all.isEmpty()) {
    chart->setTitle(QStringLiteral("Нет рассчитанных результатов"));
    return;
  }
  all << QPointF(0, all.front().y());  // the axis from step 0
  FitAxes(axisX_, axisY_, {&all});
}

}  // namespace mdv
