#pragma once
// The common look of the program's charts: flat, numbers with the decimal
// comma, axis ranges fitted to the data.
#include <QList>
#include <QPointF>
#include <QString>
#include <initializer_list>

class QCategoryAxis;
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

// A value in the axis format "#,##0.#####": digits grouped by thousands, at
// least one before the decimal comma, at most five after it and no trailing
// zeros (0,5; 1; 0,001; 12 345,5).
QString FormatAxisValue(double v);
// A round step (1, 2 or 5 × 10ⁿ) giving about `count` intervals over a range.
double NiceTickStep(double range, int count);
// Writes the labels of an axis in FormatAxisValue at the multiples of a round
// step within its range (about its tick count of them); call after every
// change of the range.
void LabelAxisTicks(QCategoryAxis* axis);
// "10⁻²", "10³": a power of ten for an axis label.
QString PowerOfTenText(int exponent);

}  // namespace mdv
