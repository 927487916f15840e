#include "ui/study_view.h"

#include <algorithm>
#include <cmath>

#include <QChart>
#include <QGraphicsLayout>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QPen>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScatterSeries>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include "core/base/numfmt.h"
#include "core/study/convergence_table.h"
#include "ui/chart_export.h"
#include "ui/chart_style.h"
#include "ui/flow_layout.h"

namespace mdv {

namespace {

// At most this many evenly spaced swept values get a tick each.
constexpr qsizetype MaxSweptTicks = 13;
// Header lines are broken at blanks to about this many characters, so that
// the columns are as narrow as their numbers.
constexpr qsizetype HeaderLineChars = 12;
// The parameters' header lines when the columns do not fit otherwise.
constexpr qsizetype NarrowHeaderLineChars = 8;
// Then the table's font is made smaller by FontStep points at a time, by at
// most this fraction.
constexpr double MaxFontShrink = 1.0 / 6;
constexpr double FontStep = 0.5;
// A last line this short is joined to the one before.
constexpr qsizetype ShortTail = 4;
// The two texts of a cell holding a mean and its spread.
constexpr int OneLineRole = Qt::UserRole;
constexpr int TwoLinesRole = Qt::UserRole + 1;

QString Text(const std::string& s) { return QString::fromStdString(s); }

// A header text in lines of about HeaderLineChars, its own breaks kept.
QString Wrapped(const QString& text, qsizetype lineChars = HeaderLineChars) {
  QStringList out;
  for (const QString& para : text.split(QLatin1Char('\n'))) {
    const qsizetype start = out.size();  // a tail joins a line of its own paragraph only
    QString line;
    // A word longer than a line breaks after a dash in it: "(Борда–" "Карно)".
    QStringList words;
    for (const QString& w : para.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      const qsizetype dash = w.indexOf(QChar(0x2013));
      if (w.size() > lineChars && dash > 0 && dash + 1 < w.size())
        words << w.left(dash + 1) << w.mid(dash + 1);
      else
        words << w;
    }
    for (const QString& word : words) {
      const bool afterDash = line.endsWith(QChar(0x2013));
      if (!line.isEmpty() && line.size() + (afterDash ? 0 : 1) + word.size() > lineChars) {
        out << line;
        line.clear();
      }
      line += (line.isEmpty() || afterDash ? QString() : QStringLiteral(" ")) + word;
    }
    // A unit or a word of a few letters stays on the line before it.
    if (out.size() > start && line.size() <= ShortTail && lineChars >= HeaderLineChars)
      out.back() += QStringLiteral(" ") + line;
    else
      out << line;
  }
  return out.join(QLatin1Char('\n'));
}

QString Header(const StudyColumn& c, bool result, qsizetype lineChars = HeaderLineChars) {
  return Wrapped(Text(AxisTitle(c, result, !result)), lineChars);
}

QString StateText(CaseState s) {
  switch (s) {
    case CaseState::Done: return QStringLiteral("рассчитан");
    case CaseState::Failed: return QStringLiteral("ошибка");
    case CaseState::Running: return QStringLiteral("выполняется");
    case CaseState::Pending: return QStringLiteral("ожидает");
  }
  return {};
}

QString Number(Real v) { return std::isfinite(v) ? Text(FormatSignificant(v, ShownDigits)) : QStringLiteral("—"); }
QString Number(const std::optional<Real>& v) { return v && std::isfinite(*v) ? Number(*v) : QString(); }

// A spread beside its mean, to the mean's last shown decimal ("0,8312 ±
// 0,0123"): digits beyond the mean's say nothing; a spread below that
// decimal keeps one significant digit.
QString Spread(const std::optional<Real>& mean, const std::optional<Real>& spread) {
  if (!spread || !std::isfinite(*spread)) return {};
  if (!mean || !std::isfinite(*mean) || *mean == 0) return Text(FormatSignificant(*spread, 2));
  const int decimals = ShownDigits - 1 - static_cast<int>(std::floor(std::log10(std::fabs(static_cast<double>(*mean)))));
  if (decimals < 0) return Number(*spread);
  std::string t = FormatFixed(*spread, 17, decimals);
  if (t.find(',') != std::string::npos) {
    while (t.back() == '0') t.pop_back();
    if (t.back() == ',') t.pop_back();
  }
  if (t == "0" && *spread != 0) return Text(FormatSignificant(*spread, 1));
  return Text(t);
}

void Put(QTableWidget* t, int r, int c, const QString& text, bool number) {
  auto* item = new QTableWidgetItem(text);
  if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  t->setItem(r, c, item);
}

QTableWidget* NewTable(const char* name, QWidget* parent) {
  auto* t = new QTableWidget(parent);
  t->setObjectName(QString::fromLatin1(name));
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->verticalHeader()->hide();
  t->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  return t;
}

}  // namespace

StudyView::StudyView(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("StudyView"));
  setWindowTitle(QStringLiteral("Исследование"));
  // Within the screen (a small or scaled one too).
  const QRect screenRect = screen()->availableGeometry();
  // Wide enough at 1280 px for an averaged vortex-zone study with its ζ
  // columns without sideways scrolling.
  resize(std::min(1200, screenRect.width() - 40), std::min(760, screenRect.height() - 40));

  lbStudy = new QLabel(this);
  lbStudy->setObjectName(QStringLiteral("lbStudy"));
  lbStudy->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lbStudy->setWordWrap(true);  // a long name and folder must not widen the window

  tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("tabs"));
  sgCases = NewTable("sgCases", tabs);
  sgCases->viewport()->installEventFilter(this);
  sgConvergence = NewTable("sgConvergence", tabs);
  sgConvergence->hide();  // a page only while the study refines something
  tabs->addTab(sgCases, QStringLiteral("Варианты"));

  cbResult = new QComboBox(this);
  cbResult->setObjectName(QStringLiteral("cbResult"));
  cbResult->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbResult->setMinimumContentsLength(12);
  cbParameter = new QComboBox(this);
  cbParameter->setObjectName(QStringLiteral("cbParameter"));
  cbParameter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbParameter->setMinimumContentsLength(12);
  btnRefresh = new QPushButton(QStringLiteral("Обновить"), this);
  btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
  btnSavePicture = new QPushButton(QStringLiteral("Сохранить рисунок..."), this);
  btnSavePicture->setObjectName(QStringLiteral("btnSavePicture"));
  btnSaveCsv = new QPushButton(QStringLiteral("Сохранить таблицу (CSV)..."), this);
  btnSaveCsv->setObjectName(QStringLiteral("btnSaveCsv"));
  auto* btnClose = new QPushButton(QStringLiteral("Закрыть"), this);
  for (QPushButton* b : {btnRefresh, btnSavePicture, btnSaveCsv, btnClose}) b->setAutoDefault(false);

  auto* chart = new QChart;
  chart->legend()->setAlignment(Qt::AlignRight);
  axisX_ = new QValueAxis;
  axisY_ = new QValueAxis;
  StyleChart(chart, axisX_, axisY_);
  chart->setTitleFont(axisY_->titleFont());
  // The chart's own white border gives the plot no room at a large scale.
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->layout()->setContentsMargins(0, 0, 0, 0);
  connect(chart, &QChart::plotAreaChanged, this, &StudyView::FitYTitle);
  Chart1 = new QChartView(chart, this);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setRenderHint(QPainter::Antialiasing);

  auto* choose = new QHBoxLayout;
  choose->addWidget(new QLabel(QStringLiteral("Результат:"), this));
  choose->addWidget(cbResult, 1);
  choose->addSpacing(12);
  choose->addWidget(new QLabel(QStringLiteral("Параметр:"), this));
  choose->addWidget(cbParameter, 1);

  // Wraps onto a second row where the window is narrow (a scale factor of 2
  // on a 1280 px screen leaves 640 px).
  auto* buttons = new FlowLayout;
  buttons->addWidget(btnRefresh);
  buttons->addWidget(btnSavePicture);
  buttons->addWidget(btnSaveCsv);
  buttons->addWidget(btnClose);

  auto* lower = new QWidget(this);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->addLayout(choose);
  lowerLayout->addWidget(Chart1, 1);

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(tabs);
  split->addWidget(lower);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);
  split->setSizes({360, 360});  // the table shows a dozen cases, the chart keeps half

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lbStudy);
  layout->addWidget(split, 1);
  layout->addLayout(buttons);

  connect(cbResult, &QComboBox::currentIndexChanged, this, &StudyView::DrawChart);
  // Under "Сходимость" the chart is the answers against the refined step.
  connect(tabs, &QTabWidget::currentChanged, this, &StudyView::DrawChart);
  connect(cbParameter, &QComboBox::currentIndexChanged, this, &StudyView::DrawChart);
  connect(btnRefresh, &QPushButton::clicked, this, &StudyView::Refresh);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
  connect(btnSavePicture, &QPushButton::clicked, this, &StudyView::btnSavePictureClick);
  connect(btnSaveCsv, &QPushButton::clicked, this, &StudyView::btnSaveCsvClick);
}

bool StudyView::Open(const QString& dir) {
  StudyTable table;
  std::string error;
  if (!CollectStudy(dir.toStdString(), {}, table, error)) {
    QMessageBox::warning(this, QStringLiteral("Исследование"), Text(error));
    return false;
  }
  dir_ = dir;
  table_ = std::move(table);
  setWindowTitle(QStringLiteral("Исследование «%1»").arg(Text(table_.Name)));
  FillTable();
  return true;
}

void StudyView::Refresh() {
  if (!dir_.isEmpty()) Open(dir_);
}

void StudyView::FillTable() {
  const StudyCounts n = CountStates(table_);
  lbStudy->setText(QStringLiteral("«%1» — %2. Вариантов: %3; рассчитано %4, с ошибкой %5, выполняется %6, ожидает %7")
                       .arg(Text(table_.Name), dir_)
                       .arg(table_.Rows.size())
                       .arg(n.Done)
                       .arg(n.Failed)
                       .arg(n.Running)
                       .arg(n.Pending));

  // A mean's spread (s.d. or half-width) shares its cell, not a column of its own.
  std::vector<size_t> shown;
  for (size_t c = 0; c < table_.Results.size(); ++c)
    if (PlottedResult(table_, c)) shown.push_back(c);
  // The verdict's column only when some case averaged.
  const bool steady = std::any_of(table_.Rows.begin(), table_.Rows.end(),
                                  [](const StudyRow& r) { return r.Steady == "да" || r.Steady == "нет"; });

  headers_.clear();
  QStringList headers{QStringLiteral("№")};
  for (const StudyColumn& c : table_.Params) {
    headers_.push_back({static_cast<int>(headers.size()), &c, false, QString()});
    headers << Header(c, false);
  }
  // The state's column only when some case is not done (the line above counts them).
  const bool states = std::any_of(table_.Rows.begin(), table_.Rows.end(),
                                  [](const StudyRow& r) { return r.State != CaseState::Done; });
  if (states) headers << QStringLiteral("Состояние");
  // Hyphenated: the parameters' headers are three lines high already.
  if (steady) headers << QStringLiteral("Режим\nустано-\nвился");
  for (const size_t c : shown) {
    const int spread = SpreadColumn(table_, c);
    QString suffix;
    if (spread >= 0)
      suffix = table_.Results[static_cast<size_t>(spread)].Name.ends_with(SdSuffix) ? QStringLiteral("\n±с.к.о.")
                                                                                    : QStringLiteral("\n±95 %");
    headers_.push_back({static_cast<int>(headers.size()), &table_.Results[c], true, suffix});
    headers << Header(table_.Results[c], true) + suffix;
  }
  // The messages' column only when some case has one (a failed case).
  const bool messages = std::any_of(table_.Rows.begin(), table_.Rows.end(),
                                    [](const StudyRow& r) { return !r.Message.empty(); });
  if (messages) headers << QStringLiteral("Сообщение");
  sgCases->clear();
  sgCases->setColumnCount(static_cast<int>(headers.size()));
  sgCases->setRowCount(static_cast<int>(table_.Rows.size()));
  sgCases->setHorizontalHeaderLabels(headers);
  for (int r = 0; r < static_cast<int>(table_.Rows.size()); ++r) {
    const StudyRow& row = table_.Rows[static_cast<size_t>(r)];
    int c = 0;
    Put(sgCases, r, c++, QString::number(row.Id), true);
    for (const std::string& p : row.Params) Put(sgCases, r, c++, Text(DisplayValue(p)), true);
    if (states) Put(sgCases, r, c++, StateText(row.State), false);
    if (steady) Put(sgCases, r, c++, Text(row.Steady), false);
    for (const size_t k : shown) {
      const int spread = SpreadColumn(table_, k);
      const QString mean = Number(row.Results[k]);
      const QString e = spread >= 0 && !mean.isEmpty() ? Spread(row.Results[k], row.Results[static_cast<size_t>(spread)])
                                                       : QString();
      Put(sgCases, r, c, e.isEmpty() ? mean : mean + QStringLiteral(" ± ") + e, true);
      // The same on two lines, for a window too narrow for the one-line cells.
      if (!e.isEmpty()) {
        sgCases->item(r, c)->setData(OneLineRole, mean + QStringLiteral(" ± ") + e);
        sgCases->item(r, c)->setData(TwoLinesRole, mean + QStringLiteral("\n±") + e);
      }
      ++c;
    }
    if (messages) Put(sgCases, r, c++, Text(row.Message), false);
  }
  FitCases();
  FillConvergence();

  const QString result = cbResult->currentText();
  const QString param = cbParameter->currentText();
  const QSignalBlocker b1(cbResult), b2(cbParameter);
  cbResult->clear();
  plotted_.clear();
  // A spread is drawn as the error bars of its mean, not by itself.
  for (size_t c = 0; c < table_.Results.size(); ++c) {
    if (!PlottedResult(table_, c)) continue;
    plotted_.push_back(c);
    cbResult->addItem(Text(AxisTitle(table_.Results[c], true)));
  }
  cbParameter->clear();
  for (const StudyColumn& c : table_.Params) cbParameter->addItem(Text(AxisTitle(c, false)));
  if (cbResult->findText(result) >= 0) {
    cbResult->setCurrentText(result);
  } else {
    cbResult->setCurrentIndex(OwnResult());
  }
  if (cbParameter->findText(param) >= 0) cbParameter->setCurrentText(param);
  DrawChart();
}

void StudyView::FitCases() {
  // One line per cell when every column fits the width; a mean over its
  // spread otherwise, so that the columns fit without sideways scrolling.
  const auto use = [&](bool twoLines) {
    for (int r = 0; r < sgCases->rowCount(); ++r) {
      for (int c = 0; c < sgCases->columnCount(); ++c) {
        QTableWidgetItem* item = sgCases->item(r, c);
        if (item != nullptr && item->data(OneLineRole).isValid())
          item->setText(item->data(twoLines ? TwoLinesRole : OneLineRole).toString());
      }
    }
    sgCases->resizeColumnsToContents();
  };
  // The headers at their usual width, or in narrower lines as a last resort.
  const auto headers = [&](qsizetype lineChars) {
    for (const HeaderSource& h : headers_) {
      QTableWidgetItem* item = sgCases->horizontalHeaderItem(h.Column);
      if (item != nullptr) item->setText(Header(*h.Source, h.Result, lineChars) + h.Suffix);
    }
  };
  const auto fits = [&] { return sgCases->horizontalHeader()->length() <= sgCases->viewport()->width(); };
  sgCases->setFont(font());
  headers(HeaderLineChars);
  use(false);
  // Hidden, the table has no width of its own yet: fitted when shown.
  if (sgCases->isVisible() && !fits()) use(true);
  if (sgCases->isVisible() && !fits()) {
    headers(NarrowHeaderLineChars);
    sgCases->resizeColumnsToContents();
  }
  // Last, a font up to a sixth smaller, a step at a time. The steps are a
  // fixed list, so the loop ends whatever the sizes and the fit say.
  const QFont normal = font();
  const double least = normal.pointSizeF() * (1 - MaxFontShrink);  // a pixel-sized font: -1, no steps
  for (const int step : {1, 2, 3, 4, 5, 6, 7, 8}) {
    const double size = normal.pointSizeF() - step * FontStep;
    if (normal.pointSizeF() <= 0 || size < least || !sgCases->isVisible() || fits()) break;
    QFont smaller = normal;
    smaller.setPointSizeF(size);
    sgCases->setFont(smaller);
    sgCases->resizeColumnsToContents();
  }
  sgCases->resizeRowsToContents();
}

void StudyView::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  FitCases();
}

bool StudyView::eventFilter(QObject* watched, QEvent* e) {
  // The table's own width, once its layout has given it one.
  if (watched == sgCases->viewport() && e->type() == QEvent::Resize && !fitting_) {
    const auto* r = static_cast<QResizeEvent*>(e);
    if (r->size().width() != r->oldSize().width()) {
      fitting_ = true;
      FitCases();
      fitting_ = false;
    }
  }
  return QDialog::eventFilter(watched, e);
}

void StudyView::FillConvergence() {
  const int at = tabs->indexOf(sgConvergence);
  if (table_.Refinements.empty()) {
    if (at >= 0) tabs->removeTab(at);
    sgConvergence->hide();
    return;
  }
  if (at < 0) tabs->addTab(sgConvergence, QStringLiteral("Сходимость"));
  const std::vector<ConvergenceRow> rows = StudyConvergence(table_);
  QStringList headers;
  for (size_t k = 0; k < table_.Swept; ++k) headers << Header(table_.Params[k], false);
  // The verdict first, the three answers it comes from after it: at a
  // narrow width the columns that scroll away are the inputs.
  headers << QStringLiteral("Уточняется") << QStringLiteral("Результат") << QStringLiteral("Порядок p")
          << QStringLiteral("GCI, %") << QStringLiteral("φ экстрап.") << QStringLiteral("Вывод");
  for (const char* h : {"h1", "h2", "h3", "φ1", "φ2", "φ3"}) headers << QString::fromUtf8(h);
  sgConvergence->clear();
  sgConvergence->setColumnCount(static_cast<int>(headers.size()));
  sgConvergence->setRowCount(static_cast<int>(rows.size()));
  sgConvergence->setHorizontalHeaderLabels(headers);
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const ConvergenceRow& row = rows[static_cast<size_t>(r)];
    const RefinementSeries& series = table_.Refinements[row.Series];
    const StudyRow& first = table_.Rows[static_cast<size_t>(series.CaseIds.front())];
    int c = 0;
    for (size_t k = 0; k < table_.Swept; ++k) Put(sgConvergence, r, c++, Text(DisplayValue(first.Params[k])), true);
    Put(sgConvergence, r, c++, Wrapped(Text(AxisTitle(table_.Params[table_.Swept + series.Key], false))), false);
    Put(sgConvergence, r, c++, Wrapped(Text(AxisTitle(table_.Results[row.Result], true))), false);
    // What is not known is "—" (the CSV leaves the cell empty).
    const ConvergenceIndex& x = row.Index;
    Put(sgConvergence, r, c++, Number(x.Order), true);
    Put(sgConvergence, r, c++, Number(100 * x.Gci), true);
    Put(sgConvergence, r, c++, Number(x.Extrapolated), true);
    Put(sgConvergence, r, c++, Wrapped(Text(ConvergenceVerdictText(x.Verdict))), false);
    for (size_t i = 0; i < 3; ++i) Put(sgConvergence, r, c++, Text(FormatGeneral(row.Steps[i])), true);
    for (size_t i = 0; i < 3; ++i) Put(sgConvergence, r, c++, Number(row.Values[i].value_or(NAN)), true);
  }
  sgConvergence->resizeColumnsToContents();
  sgConvergence->resizeRowsToContents();
}

void StudyView::DrawChart() {
  QChart* chart = Chart1->chart();
  chart->removeAllSeries();
  const int pick = cbResult->currentIndex();
  const int par = cbParameter->currentIndex();
  const int res = pick >= 0 && static_cast<size_t>(pick) < plotted_.size() ? static_cast<int>(plotted_[static_cast<size_t>(pick)]) : -1;
  if (res < 0 || par < 0) {
    yTitle_.clear();
    axisY_->setTitleText(QString());
    chart->setTitle(QStringLiteral("Нет рассчитанных результатов"));
    return;
  }
  chart->setTitle(QString());
  if (tabs->currentWidget() == sgConvergence) {
    DrawConvergenceChart(static_cast<size_t>(res), static_cast<size_t>(par));
    return;
  }
  axisX_->setTitleText(cbParameter->currentText());
  const int spread = SpreadColumn(table_, static_cast<size_t>(res));
  QString yTitle = cbResult->currentText();
  if (spread >= 0)
    yTitle += table_.Results[static_cast<size_t>(spread)].Name.ends_with(SdSuffix) ? QStringLiteral(" (среднее ± с.к.о.)")
                                                                                 : QStringLiteral(" (среднее ± 95 %)");
  yTitle_ = yTitle;
  FitYTitle();
  // Ten distinct colours: the chart theme repeats after five lines.
  static const QColor colours[] = {QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44),
                                   QColor(214, 39, 40),  QColor(148, 103, 189), QColor(140, 86, 75),
                                   QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34),
                                   QColor(23, 190, 207)};
  QList<QPointF> all;
  int index = 0;
  for (const PlotSeries& s : StudySeries(table_, static_cast<size_t>(par), static_cast<size_t>(res))) {
    auto* line = new QLineSeries;
    QPen pen(colours[index++ % std::size(colours)]);
    pen.setWidth(2);
    line->setPen(pen);
    line->setName(s.Title.empty() ? cbResult->currentText() : Text(s.Title));
    line->setPointsVisible(true);
    for (size_t i = 0; i < s.Points.size(); ++i) {
      const auto& [x, y] = s.Points[i];
      line->append(static_cast<double>(x), static_cast<double>(y));
      all << QPointF(static_cast<double>(x), static_cast<double>(y));
    }
    chart->addSeries(line);
    line->attachAxis(axisX_);
    line->attachAxis(axisY_);
    // Error bars: a vertical segment y ± spread at each point, in the line's colour.
    for (size_t i = 0; i < s.Spreads.size(); ++i) {
      const Real e = s.Spreads[i];
      if (!std::isfinite(e) || e <= 0) continue;
      const double x = static_cast<double>(s.Points[i].first), y = static_cast<double>(s.Points[i].second);
      auto* bar = new QLineSeries;
      QPen barPen(pen.color());
      barPen.setWidth(1);
      bar->setPen(barPen);
      bar->append(x, y - static_cast<double>(e));
      bar->append(x, y + static_cast<double>(e));
      all << bar->at(0) << bar->at(1);
      chart->addSeries(bar);
      bar->attachAxis(axisX_);
      bar->attachAxis(axisY_);
      for (QLegendMarker* m : chart->legend()->markers(bar)) m->setVisible(false);
    }
  }
  FitAxes(axisX_, axisY_, {&all});
  // Swept values are usually evenly spaced: put a tick on each of them.
  QList<double> xs;
  for (const QPointF& p : all) xs << p.x();
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  bool even = xs.size() >= 2 && xs.size() <= MaxSweptTicks;
  for (qsizetype i = 2; even && i < xs.size(); ++i)
    even = std::abs((xs[i] - xs[i - 1]) - (xs[1] - xs[0])) <= 1e-9 * std::abs(xs.back() - xs.front());
  if (even) {
    axisX_->setRange(xs.front(), xs.back());
    axisX_->setTickCount(static_cast<int>(xs.size()));
    axisX_->setLabelFormat(QStringLiteral("%.4g"));
  } else {
    axisX_->setLabelFormat(QString());
  }
}

void StudyView::FitYTitle() {
  if (yTitle_.isEmpty()) return;
  QChart* chart = Chart1->chart();
  // Stable: the title above the plot only makes the plot shorter still.
  const bool fits = QFontMetricsF(axisY_->titleFont()).horizontalAdvance(yTitle_) <= chart->plotArea().height();
  const QString beside = fits ? yTitle_ : QString();
  const QString above = fits ? QString() : yTitle_;
  if (axisY_->titleText() != beside) axisY_->setTitleText(beside);
  if (chart->title() != above) chart->setTitle(above);
}

void StudyView::btnSavePictureClick() {
  const QString path = AskPngFileName(this, QStringLiteral("исследование"));
  if (path.isEmpty()) return;
  QString error;
  if (!SaveWidgetPng(Chart1, path, error)) QMessageBox::warning(this, windowTitle(), error);
}

void StudyView::btnSaveCsvClick() {
  const bool convergence = tabs->currentWidget() == sgConvergence;
  const QString path = AskCsvFileName(this, convergence ? QStringLiteral("convergence") : QStringLiteral("results"));
  if (path.isEmpty()) return;
  // The files study collect writes, the same bytes.
  const std::string csv = convergence ? ConvergenceCsv(table_, StudyConvergence(table_)) : StudyCsv(table_);
  QString error;
  if (!SaveCsvFile(path, csv, error)) QMessageBox::warning(this, windowTitle(), error);
}

void OpenStudyWindow(QWidget* parent) {
  QFileDialog dialog(parent, QStringLiteral("Открыть исследование"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Папка исследования:"));
  dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Открыть"));
  dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Отмена"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString dir = dialog.selectedFiles().front();
  auto* view = new StudyView(parent);
  view->setAttribute(Qt::WA_DeleteOnClose);
  if (!view->Open(dir)) {
    delete view;
    return;
  }
  view->show();
}

}  // namespace mdv
