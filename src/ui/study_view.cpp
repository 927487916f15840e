#include "ui/study_view.h"

#include <algorithm>
#include <cmath>

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPen>
#include <QPushButton>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include "core/base/numfmt.h"
#include "ui/chart_style.h"

namespace mdv {

namespace {

// Significant digits of the results in the table.
constexpr int TableDigits = 6;
// At most this many evenly spaced swept values get a tick each.
constexpr qsizetype MaxSweptTicks = 13;

QString Text(const std::string& s) { return QString::fromStdString(s); }

QString Header(const StudyColumn& c, bool result) { return Text(AxisTitle(c, result)); }

QString StateText(CaseState s) {
  switch (s) {
    case CaseState::Done: return QStringLiteral("рассчитан");
    case CaseState::Failed: return QStringLiteral("ошибка");
    case CaseState::Running: return QStringLiteral("выполняется");
    case CaseState::Pending: return QStringLiteral("ожидает");
  }
  return {};
}

QString Number(Real v) {
  QString s = QString::number(static_cast<double>(v), 'g', TableDigits);
  s.replace(QLatin1Char('.'), QLatin1Char(','));
  return s;
}

}  // namespace

StudyView::StudyView(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("StudyView"));
  setWindowTitle(QStringLiteral("Исследование"));
  resize(1000, 720);

  lbStudy = new QLabel(this);
  lbStudy->setObjectName(QStringLiteral("lbStudy"));
  lbStudy->setTextInteractionFlags(Qt::TextSelectableByMouse);

  sgCases = new QTableWidget(this);
  sgCases->setObjectName(QStringLiteral("sgCases"));
  sgCases->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgCases->setSelectionBehavior(QAbstractItemView::SelectRows);
  sgCases->verticalHeader()->hide();

  cbResult = new QComboBox(this);
  cbResult->setObjectName(QStringLiteral("cbResult"));
  cbParameter = new QComboBox(this);
  cbParameter->setObjectName(QStringLiteral("cbParameter"));
  btnRefresh = new QPushButton(QStringLiteral("Обновить"), this);
  btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
  auto* btnClose = new QPushButton(QStringLiteral("Закрыть"), this);

  auto* chart = new QChart;
  chart->legend()->setAlignment(Qt::AlignRight);
  axisX_ = new QValueAxis;
  axisY_ = new QValueAxis;
  StyleChart(chart, axisX_, axisY_);
  Chart1 = new QChartView(chart, this);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  Chart1->setRenderHint(QPainter::Antialiasing);

  auto* choose = new QHBoxLayout;
  choose->addWidget(new QLabel(QStringLiteral("Результат:"), this));
  choose->addWidget(cbResult, 1);
  choose->addSpacing(12);
  choose->addWidget(new QLabel(QStringLiteral("Параметр:"), this));
  choose->addWidget(cbParameter, 1);
  choose->addSpacing(12);
  choose->addWidget(btnRefresh);
  choose->addWidget(btnClose);

  auto* lower = new QWidget(this);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->addLayout(choose);
  lowerLayout->addWidget(Chart1, 1);

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(sgCases);
  split->addWidget(lower);
  split->setStretchFactor(0, 2);
  split->setStretchFactor(1, 3);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lbStudy);
  layout->addWidget(split, 1);

  connect(cbResult, &QComboBox::currentIndexChanged, this, &StudyView::DrawChart);
  connect(cbParameter, &QComboBox::currentIndexChanged, this, &StudyView::DrawChart);
  connect(btnRefresh, &QPushButton::clicked, this, &StudyView::Refresh);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
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

  QStringList headers{QStringLiteral("№")};
  for (const StudyColumn& c : table_.Params) headers << Header(c, false);
  headers << QStringLiteral("Состояние");
  for (const StudyColumn& c : table_.Results) headers << Header(c, true);
  headers << QStringLiteral("Сообщение");
  sgCases->clear();
  sgCases->setColumnCount(static_cast<int>(headers.size()));
  sgCases->setRowCount(static_cast<int>(table_.Rows.size()));
  sgCases->setHorizontalHeaderLabels(headers);
  for (int r = 0; r < static_cast<int>(table_.Rows.size()); ++r) {
    const StudyRow& row = table_.Rows[r];
    int c = 0;
    auto put = [&](const QString& text, bool number) {
      auto* item = new QTableWidgetItem(text);
      if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      sgCases->setItem(r, c++, item);
    };
    put(QString::number(row.Id), true);
    for (const std::string& p : row.Params) put(Text(DisplayValue(p)), true);
    put(StateText(row.State), false);
    for (const auto& v : row.Results) put(v ? Number(*v) : QString(), true);
    put(Text(row.Message), false);
  }
  sgCases->resizeColumnsToContents();

  const QString result = cbResult->currentText();
  const QString param = cbParameter->currentText();
  const QSignalBlocker b1(cbResult), b2(cbParameter);
  cbResult->clear();
  for (const StudyColumn& c : table_.Results) cbResult->addItem(Header(c, true));
  cbParameter->clear();
  for (const StudyColumn& c : table_.Params) cbParameter->addItem(Header(c, false));
  if (cbResult->findText(result) >= 0) cbResult->setCurrentText(result);
  if (cbParameter->findText(param) >= 0) cbParameter->setCurrentText(param);
  DrawChart();
}

void StudyView::DrawChart() {
  QChart* chart = Chart1->chart();
  chart->removeAllSeries();
  const int res = cbResult->currentIndex();
  const int par = cbParameter->currentIndex();
  if (res < 0 || par < 0) {
    chart->setTitle(QStringLiteral("Нет рассчитанных результатов"));
    return;
  }
  chart->setTitle(QString());
  axisX_->setTitleText(cbParameter->currentText());
  axisY_->setTitleText(cbResult->currentText());
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
    for (const auto& [x, y] : s.Points) {
      line->append(static_cast<double>(x), static_cast<double>(y));
      all << QPointF(static_cast<double>(x), static_cast<double>(y));
    }
    chart->addSeries(line);
    line->attachAxis(axisX_);
    line->attachAxis(axisY_);
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
    axisX_->setLabelFormat(QStringLiteral("%.6g"));
  } else {
    axisX_->setLabelFormat(QString());
  }
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
