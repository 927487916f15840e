// The flow picture: pixels of the rendered image at the main window's
// initial view (668 x 379 pixels, origin (210, 289), 400 px/m).
#include <QImage>
#include <QPainter>
#include <QtTest>

#include "core/model/area.h"
#include "core/model/contour_file.h"
#include "core/model/model.h"
#include "ui/picture.h"

using mdv::Model;
using mdv::Picture;
using mdv::Real;

namespace {

constexpr int kW = 668;
constexpr int kH = 379;
constexpr int kOriginX = 210;
constexpr int kOriginY = 289;
constexpr Real kScale = 400;

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kTeal = qRgb(0, 128, 128);

QRgb At(const Picture& pic, int x, int y) { return pic.Image().pixel(x, y) | 0xff000000u; }

QString Describe(QRgb c) {
  return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

// Puts free vortices at the given model points after the attached ones.
void SetFreeVortices(Model& m, std::initializer_list<mdv::TRealPoint> points) {
  m.FreeVortexCount = static_cast<int32_t>(points.size());
  m.Vortices.resize(m.AttachedCount + m.FreeVortexCount);
  int k = m.AttachedCount;
  for (const auto& p : points) m.Vortices[k++].Pos = p;
}

}  // namespace

class PictureTest : public QObject {
  Q_OBJECT

 private slots:
  void roundsHalfToEven_data();
  void roundsHalfToEven();
  void tickStep_data();
  void tickStep();
  void frameAndContour();
  void lineLeavesOutItsEndPixel();
  void axesAndTicks();
  void freeVortexMarks_data();
  void freeVortexMarks();
  void freeLayerErasesOnlyTheRegion();
  void attachedVortices();
  void streamLinesInBlue();
  void regionPolygon();
  void contourWithAnArc();
};

void PictureTest::roundsHalfToEven_data() {
  QTest::addColumn<double>("x");
  QTest::addColumn<int>("column");
  // Scale 2 and origin 0: x * scale lands exactly on the halves.
  QTest::newRow("0.5 -> 0") << 0.25 << 0;
  QTest::newRow("1.5 -> 2") << 0.75 << 2;
  QTest::newRow("2.5 -> 2") << 1.25 << 2;
  QTest::newRow("-0.5 -> 0") << -0.25 << 0;
  QTest::newRow("-1.5 -> -2") << -0.75 << -2;
  QTest::newRow("2.6 -> 3") << 1.3 << 3;
}

void PictureTest::roundsHalfToEven() {
  QFETCH(double, x);
  QFETCH(int, column);
  Model m;
  mdv::BuildArea(m);
  Picture pic(m);
  pic.DrawPicture(10, 10, 0, 0, 2, false, false, false, false);
  QCOMPARE(pic.ScreenX(static_cast<Real>(x)), column);
  QCOMPARE(pic.ScreenY(static_cast<Real>(x)), -column);
}

void PictureTest::tickStep_data() {
  QTest::addColumn<double>("scale");
  QTest::addColumn<double>("step");
  QTest::newRow("400 px/m: 1.25 rounds to 1") << 400.0 << 0.1;
  QTest::newRow("231.5 px/m: 2.16 rounds to 2") << 231.5 << 0.2;
  QTest::newRow("8000 px/m: 0 raised to 0.1") << 8000.0 << 0.1;
  QTest::newRow("200 px/m: 2.5 rounds to even 2") << 200.0 << 0.2;
  QTest::newRow("40 px/m: 12.5 rounds to even 12") << 40.0 << 1.2;
}

void PictureTest::tickStep() {
  QFETCH(double, scale);
  QFETCH(double, step);
  QCOMPARE(mdv::AxisTickStep(static_cast<Real>(scale)), step);
}

void PictureTest::frameAndContour() {
  Model m;
  mdv::BuildArea(m);
  Picture pic(m);
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, false, false, false, true);
  QCOMPARE(pic.Image().size(), QSize(kW, kH));

  // The one-pixel frame, white inside.
  for (const QPoint& p : {QPoint(0, 0), QPoint(kW - 1, 0), QPoint(0, kH - 1),
                          QPoint(kW - 1, kH - 1), QPoint(kW / 2, 0), QPoint(0, kH / 2)}) {
    QVERIFY2(At(pic, p.x(), p.y()) == kBlack, qPrintable(Describe(At(pic, p.x(), p.y()))));
  }
  QCOMPARE(At(pic, 1, 1), kWhite);
  QCOMPARE(At(pic, 100, 100), kWhite);

  // Ribs 0, 1 and 3, 4 are doubled: the row above (0, 1) or below (3, 4) of
  // every pixel strictly inside the rib's columns is black too.
  for (int r : {0, 1, 3, 4}) {
    const QPoint a = pic.WorldToScreen(m.BodyRibs[r].P1);
    const QPoint b = pic.WorldToScreen(m.BodyRibs[r].P2);
    const QPoint mid = (a + b) / 2;
    const int shift = r < 2 ? -1 : 1;
    // Find the rib's pixel in the middle column: the black run near the middle row.
    int row = -1;
    for (int y = std::min(a.y(), b.y()) - 1; y <= std::max(a.y(), b.y()) + 1 && row < 0; ++y) {
      if (At(pic, mid.x(), y) == kBlack) row = y;
    }
    QVERIFY2(row >= 0, qPrintable(QStringLiteral("rib %1 not found at column %2").arg(r).arg(mid.x())));
    // Either the found pixel is the upper copy or its partner lies one row off.
    const bool doubled = At(pic, mid.x(), row + 1) == kBlack || At(pic, mid.x(), row - 1) == kBlack;
    QVERIFY2(doubled, qPrintable(QStringLiteral("rib %1 (shift %2) is single").arg(r).arg(shift)));
  }

  // The suction rib (5) is dotted: 3 black, 3 white along its pixels.
  const QPoint s1 = pic.WorldToScreen(m.BodyRibs[m.SuctionRib].P1);
  const QPoint s2 = pic.WorldToScreen(m.BodyRibs[m.SuctionRib].P2);
  QCOMPARE(s1.x(), s2.x());  // the suction section runs across the channel
  const int top = std::min(s1.y(), s2.y()) + 1;
  const int bottom = std::max(s1.y(), s2.y()) - 1;
  QVERIFY(bottom - top > 12);
  int black = 0;
  int white = 0;
  for (int y = top; y <= bottom; ++y) {
    const QRgb c = At(pic, s1.x(), y);
    if (c == kBlack) ++black;
    if (c == kWhite) ++white;
  }
  QVERIFY2(black > 0 && white > 0, qPrintable(QStringLiteral("black %1 white %2").arg(black).arg(white)));
  QVERIFY2(std::abs(black - white) <= 6, qPrintable(QStringLiteral("black %1 white %2").arg(black).arg(white)));
}

void PictureTest::lineLeavesOutItsEndPixel() {
  QImage img(14, 10, QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    p.setPen(QPen(Qt::black, 0));
    Picture::DrawLineTo(p, QPoint(1, 1), QPoint(6, 1));    // right
    Picture::DrawLineTo(p, QPoint(6, 3), QPoint(1, 3));    // left
    Picture::DrawLineTo(p, QPoint(8, 1), QPoint(8, 4));    // down
    Picture::DrawLineTo(p, QPoint(10, 8), QPoint(10, 5));  // up
    Picture::DrawLineTo(p, QPoint(12, 2), QPoint(12, 2));  // zero length: nothing
  }
  auto px = [&](int x, int y) { return img.pixel(x, y) | 0xff000000u; };
  QCOMPARE(px(1, 1), kBlack);
  QCOMPARE(px(5, 1), kBlack);
  QCOMPARE(px(6, 1), kWhite);
  QCOMPARE(px(6, 3), kBlack);
  QCOMPARE(px(2, 3), kBlack);
  QCOMPARE(px(1, 3), kWhite);
  QCOMPARE(px(8, 1), kBlack);
  QCOMPARE(px(8, 3), kBlack);
  QCOMPARE(px(8, 4), kWhite);
  QCOMPARE(px(10, 8), kBlack);
  QCOMPARE(px(10, 6), kBlack);
  QCOMPARE(px(10, 5), kWhite);
  QCOMPARE(px(12, 2), kWhite);
}

void PictureTest::axesAndTicks() {
  Model m;
  mdv::BuildArea(m);
  Picture pic(m);
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, false, false, true, true);

  // The axis row is dashed teal: 18 on, 6 off from its left end.
  for (int x = 1; x < 18; ++x) QCOMPARE(At(pic, x, kOriginY), kTeal);
  for (int x = 18; x < 24; ++x) QVERIFY2(At(pic, x, kOriginY) != kTeal, qPrintable(QString::number(x)));
  QCOMPARE(At(pic, 24, kOriginY), kTeal);
  // The vertical axis at the origin column, dashed the same way from the top.
  QCOMPARE(At(pic, kOriginX, 5), kTeal);
  QVERIFY(At(pic, kOriginX, 20) != kTeal);

  // Ticks every 0.1 m = 40 px: rows origin-1 .. origin+1 (the end pixel left out).
  for (int i : {-3, -1, 2, 5, 10}) {
    const int px = kOriginX + 40 * i;
    QVERIFY2(At(pic, px, kOriginY - 1) == kTeal, qPrintable(QStringLiteral("tick %1").arg(i)));
    QVERIFY2(At(pic, px, kOriginY + 1) == kTeal, qPrintable(QStringLiteral("tick %1").arg(i)));
    QVERIFY2(At(pic, px, kOriginY + 2) != kTeal, qPrintable(QStringLiteral("tick %1").arg(i)));
  }
  // A y tick: columns origin-2 .. origin (origin+1 left out).
  const int py = kOriginY - 40 * 3;
  QCOMPARE(At(pic, kOriginX - 2, py), kTeal);
  QCOMPARE(At(pic, kOriginX - 1, py), kTeal);
  QVERIFY(At(pic, kOriginX + 1, py) != kTeal);
  // The labels write black text below the x axis and left of the y axis.
  auto hasBlack = [&](const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        if (At(pic, x, y) == kBlack) return true;
    return false;
  };
  QVERIFY(hasBlack(QRect(kOriginX + 80 - 5, kOriginY + 3, 20, 12)));
  QVERIFY(hasBlack(QRect(kOriginX - 24, py - 5, 20, 12)));

  // No axes: the axis row is white where the contour does not pass.
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, false, false, false, true);
  QCOMPARE(At(pic, 5, kOriginY), kWhite);
}

void PictureTest::freeVortexMarks_data() {
  QTest::addColumn<int>("size");
  QTest::addColumn<QList<QPoint>>("red");
  QTest::addColumn<QList<QPoint>>("white");
  // Offsets from the vortex's pixel.
  QTest::newRow("1: a pixel") << 1 << QList<QPoint>{{0, 0}}
                              << QList<QPoint>{{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  QTest::newRow("2: 3-pixel circle") << 2 << QList<QPoint>{{0, -1}, {-1, 0}, {1, 0}, {0, 1}}
                                     << QList<QPoint>{{0, 0}, {-1, -1}, {1, 1}, {2, 0}};
  QTest::newRow("3: 4-pixel circle")
      << 3 << QList<QPoint>{{-1, -2}, {0, -2}, {-2, -1}, {1, -1}, {-2, 0}, {1, 0}, {-1, 1}, {0, 1}}
      << QList<QPoint>{{-1, -1}, {0, -1}, {-1, 0}, {0, 0}, {-2, -2}, {2, 0}};
}

void PictureTest::freeVortexMarks() {
  QFETCH(int, size);
  QFETCH(QList<QPoint>, red);
  QFETCH(QList<QPoint>, white);
  Model m;
  mdv::BuildArea(m);
  SetFreeVortices(m, {{-0.2L, 0.1L}});
  Picture pic(m);
  pic.SetVortexMarkSize(size);
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, true, false, false, true);
  const QPoint c(kOriginX - 80, kOriginY - 40);
  QCOMPARE(pic.WorldToScreen(m.Vortices[m.AttachedCount].Pos), c);
  for (const QPoint& d : red) {
    QVERIFY2(At(pic, c.x() + d.x(), c.y() + d.y()) == kRed,
             qPrintable(QStringLiteral("(%1, %2)").arg(d.x()).arg(d.y())));
  }
  for (const QPoint& d : white) {
    QVERIFY2(At(pic, c.x() + d.x(), c.y() + d.y()) == kWhite,
             qPrintable(QStringLiteral("(%1, %2)").arg(d.x()).arg(d.y())));
  }
}

void PictureTest::freeLayerErasesOnlyTheRegion() {
  Model m;
  mdv::BuildArea(m);
  // One vortex in the flow region, one inside the channel beyond the suction
  // section, which the region polygon does not cover.
  SetFreeVortices(m, {{-0.2L, 0.1L}, {1.1L, 0.05L}});
  Picture pic(m);
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, true, false, false, true);
  const QPoint inside(kOriginX - 80, kOriginY - 40);
  const QPoint outside(kOriginX + 440, kOriginY - 20);
  QCOMPARE(At(pic, inside.x(), inside.y()), kRed);
  QCOMPARE(At(pic, outside.x(), outside.y()), kRed);

  m.Vortices[m.AttachedCount].Pos = {-0.1L, 0.1L};
  m.Vortices[m.AttachedCount + 1].Pos = {1.1L, 0.1L};
  pic.DrawFreeVortices();
  QCOMPARE(At(pic, inside.x(), inside.y()), kWhite);   // no trail in the region
  QCOMPARE(At(pic, inside.x() + 40, inside.y()), kRed);
  QCOMPARE(At(pic, outside.x(), outside.y()), kRed);   // stays until a full redraw
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, true, false, false, true);
  QCOMPARE(At(pic, outside.x(), outside.y()), kWhite);

  // Unchecked free vortices: no marks at all.
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, false, false, false, true);
  QCOMPARE(At(pic, inside.x() + 40, inside.y()), kWhite);
}

void PictureTest::attachedVortices() {
  Model m;
  mdv::BuildArea(m);
  Picture pic(m);
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, false, true, false, true);
  int blue = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (At(pic, x, y) == kBlue) ++blue;
  // Dense rings along the contour: far more blue than one pixel per vortex.
  QVERIFY2(blue > m.AttachedCount, qPrintable(QString::number(blue)));
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, false, false, false, true);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) QVERIFY(At(pic, x, y) != kBlue);
}

void PictureTest::streamLinesInBlue() {
  Model m;
  mdv::BuildArea(m);
  m.StreamLines.push_back({{-0.3L, 0.2L}, {-0.1L, 0.2L}, {-0.1L, 0.25L}});
  m.StreamLineCount = 1;
  Picture pic(m);
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, true, false, true, true);
  const int row = kOriginY - 80;
  QCOMPARE(At(pic, kOriginX - 120, row), kBlue);
  QCOMPARE(At(pic, kOriginX - 41, row), kBlue);
  QCOMPARE(At(pic, kOriginX - 40, row - 19), kBlue);
  QVERIFY(At(pic, kOriginX - 40, row - 20) != kBlue);  // the line's last pixel is left out

  // At another scale the kept line is drawn where its points now fall.
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale * 2, true, false, false, true);
  QCOMPARE(At(pic, kOriginX - 200, kOriginY - 160), kBlue);

  // A traced line grows on the picture segment by segment.
  const QPoint from = pic.WorldToScreen({-0.2L, 0.05L});
  const QPoint to = pic.WorldToScreen({-0.1L, 0.05L});
  QCOMPARE(to - from, QPoint(80, 0));
  pic.MoveTo({-0.2L, 0.05L});
  QCOMPARE(At(pic, from.x() + 10, from.y()), kWhite);
  pic.LineTo({-0.1L, 0.05L});
  QCOMPARE(At(pic, from.x() + 10, from.y()), kBlue);
  QCOMPARE(At(pic, to.x(), to.y()), kWhite);
}

void PictureTest::regionPolygon() {
  Model m;
  mdv::BuildArea(m);
  Picture pic(m);
  pic.DrawPicture(kW, kH, kOriginX, kOriginY, kScale, false, false, false, false);
  const QPolygon& r = pic.RegionPolygon();
  QCOMPARE(r.size(), 8);
  QCOMPARE(r[0], QPoint(pic.ScreenX(m.PlaneX) + 1, 1));
  QCOMPARE(r[0], QPoint(kOriginX - 200 + 1, 1));
  QCOMPARE(r[2], QPoint(pic.ScreenX(m.BodyRibs[2].P1.X) - 1, pic.ScreenY(m.BodyRibs[2].P1.Y) - 1));
  QCOMPARE(r[5], QPoint(pic.ScreenX(m.BodyRibs[5].P1.X) - 1, pic.ScreenY(m.BodyRibs[5].P1.Y) + 2));
  QCOMPARE(r[6], QPoint(pic.ScreenX(m.BodyRibs[5].P1.X) - 1, kOriginY));
  QCOMPARE(r[7], QPoint(kOriginX - 200 + 1, kOriginY));
}

// The rounded inlet of examples/contours: a wall of 6 segments, the fifth an
// arc drawn as its chords, in the view fitted to it (the plane 4 m off is
// left out). Every rib is drawn, nothing outside the hood's extent, and the
// per-step erasing of the flow keeps the wall and the solid's inside.
void PictureTest::contourWithAnArc() {
  Model m;
  std::string error;
  const QString file = qEnvironmentVariable("MDV_SOURCE_DIR") + QStringLiteral("/examples/contours/bellmouth-r0.2.toml");
  QVERIFY2(mdv::ReadContourFile(file.toStdString(), m.HoodContour, error), error.c_str());
  m.ContourArea = true;
  mdv::BuildArea(m);
  QVERIFY(m.SuctionRib > 9);  // 5 straight ribs and the arc's chords
  const mdv::PictureView v = mdv::FitAreaView(m, kW, kH);
  Picture pic(m);
  pic.DrawPicture(kW, kH, v.OriginX, v.OriginY, v.Scale, false, false, false, true);

  QRect hood;
  for (int i = 0; i <= m.SuctionRib; ++i)
    hood |= QRect(pic.WorldToScreen(m.BodyRibs[i].P1), pic.WorldToScreen(m.BodyRibs[i].P2)).normalized();
  QVERIFY2(QRect(1, 1, kW - 2, kH - 2).contains(hood), "the view shows the hood whole");
  QVERIFY(hood.width() > kW / 2);  // and fills it
  QVERIFY(pic.ScreenX(m.PlaneX) < 0);
  const QRect extent = hood.adjusted(-1, -1, 1, 1);
  for (int y = 1; y < kH - 1; ++y)
    for (int x = 1; x < kW - 1; ++x)
      if (!extent.contains(x, y) && At(pic, x, y) != kWhite)
        QFAIL(qPrintable(QStringLiteral("(%1, %2) drawn outside the hood").arg(x).arg(y)));
  // Every wall rib, each chord of the arc too: its middle pixel is black.
  auto blackNear = [&](const QPoint& p) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (At(pic, p.x() + dx, p.y() + dy) == kBlack) return true;
    return false;
  };
  for (int i = 0; i < m.SuctionRib; ++i) {
    const QPoint mid = pic.WorldToScreen({(m.BodyRibs[i].P1.X + m.BodyRibs[i].P2.X) / 2,
                                          (m.BodyRibs[i].P1.Y + m.BodyRibs[i].P2.Y) / 2});
    QVERIFY2(blackNear(mid), qPrintable(QStringLiteral("rib %1").arg(i)));
  }
  // The suction section dotted.
  const QPoint s1 = pic.WorldToScreen(m.BodyRibs[m.SuctionRib].P1);
  int black = 0, white = 0;
  for (int y = s1.y() + 1; y < v.OriginY; ++y) (At(pic, s1.x(), y) == kBlack ? black : white) += 1;
  QVERIFY2(black > 10 && white > 10, qPrintable(QStringLiteral("black %1 white %2").arg(black).arg(white)));

  // Marks in front of the flange, behind it and inside its solid (no vortex
  // gets there; the probe shows what the erasing covers).
  SetFreeVortices(m, {{-0.03L, 0.3L}, {0.3L, 0.4L}, {0.01L, 0.4L}});
  pic.DrawPicture(kW, kH, v.OriginX, v.OriginY, v.Scale, true, false, false, true);
  const QPoint front = pic.WorldToScreen({-0.03L, 0.3L});
  const QPoint behind = pic.WorldToScreen({0.3L, 0.4L});
  const QPoint solid = pic.WorldToScreen({0.01L, 0.4L});
  for (const QPoint& p : {front, behind, solid}) {
    QVERIFY(pic.Image().rect().contains(p));
    QCOMPARE(At(pic, p.x(), p.y()), kRed);
  }
  for (int k = 0; k < 3; ++k) m.Vortices[m.AttachedCount + k].Pos = {0.6L, 0.05L};
  pic.DrawFreeVortices();
  QCOMPARE(At(pic, front.x(), front.y()), kWhite);
  QCOMPARE(At(pic, behind.x(), behind.y()), kWhite);
  QCOMPARE(At(pic, solid.x(), solid.y()), kRed);
  for (int i = 0; i < m.SuctionRib; ++i) {
    const QPoint mid = pic.WorldToScreen({(m.BodyRibs[i].P1.X + m.BodyRibs[i].P2.X) / 2,
                                          (m.BodyRibs[i].P1.Y + m.BodyRibs[i].P2.Y) / 2});
    QVERIFY2(blackNear(mid), qPrintable(QStringLiteral("rib %1 erased").arg(i)));
  }
}

QTEST_MAIN(PictureTest)
#include "picture_test.moc"
