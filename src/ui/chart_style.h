#pragma once
// The common look of the program's charts: flat, numbers with the decimal
// comma, axis ranges fitted to the data.
#include <QList>
#include <QPointF>
#include <initializer_list>

class QChart;
class QValueAxis;

namespace mdv {

// Adds the axes (x at the bottom, y at the left) and sets the chart's locale
// to Russian so that axis labels use the decimal comma.
void StyleChart(QChart* chart, QValueAxis* axisX, QValueAxis* axisY);
// Ranges that hold every point with a little room; a flat series (all values
// equal, e.g. fluctuations of a constant velocity) gets a band around it.
void FitAxes(QValueAxis* axisX, QValueAxis* axisY,
             std::initializer_list<const QList<QPointF>*> series);

}  // namespace mdv
