#include "core/model/contour_dxf.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include <dl_creationadapter.h>
#include <dl_dxf.h>
#include <dl_writer.h>

#include "core/base/safe_file.h"
#include "core/model/contour_validation.h"

namespace mdv {

namespace {

constexpr Real MillimetresPerMetre = 1000;
// A DXF of a hood is a few kilobytes; CAD drawings of a plant may be large,
// but not larger than this.
constexpr size_t MaxDxfBytes = size_t(256) << 20;

// dxflib's group writer into a string. dxflib's own writer opens a file by
// name through a C++ stream; this one leaves the file to WriteFileAtomically.
class StringWriter : public DL_Writer {
 public:
  StringWriter() : DL_Writer(DL_Codes::AC1009) {}

  void dxfReal(int gc, double value) const override {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    std::string s(buf, r.ptr);
    // A DXF reader expects a real group to look like one.
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    Group(gc, s);
  }
  void dxfInt(int gc, int value) const override { Group(gc, std::to_string(value)); }
  void dxfHex(int gc, int value) const override {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, 16);
    Group(gc, std::string(buf, r.ptr));
  }
  void dxfString(int gc, const char* value) const override { Group(gc, value); }
  void dxfString(int gc, const std::string& value) const override { Group(gc, value); }

  const std::string& Text() const { return text_; }

 private:
  void Group(int gc, const std::string& value) const {
    std::string code = std::to_string(gc);
    text_ += std::string(code.size() < 3 ? 3 - code.size() : 0, ' ') + code + "\n" + value + "\n";
  }
  mutable std::string text_;
};

void Layer(const StringWriter& w, const char* name, int colour) {
  w.tableLayerEntry();
  w.dxfString(2, name);
  w.dxfInt(70, 0);
  w.dxfInt(62, colour);
  w.dxfString(6, "CONTINUOUS");
}

void Line(const StringWriter& w, const char* layer, const TRealPoint& a, const TRealPoint& b) {
  w.entity("LINE");
  w.dxfString(8, layer);
  w.coord(10, static_cast<double>(a.X * MillimetresPerMetre), static_cast<double>(a.Y * MillimetresPerMetre));
  w.coord(11, static_cast<double>(b.X * MillimetresPerMetre), static_cast<double>(b.Y * MillimetresPerMetre));
}

// tan(θ/4) of segment k, θ its included angle, positive counter-clockwise.
double Bulge(const Contour& c, int k) {
  const Real radius = c.Wall[static_cast<size_t>(k)].ArcRadius;
  if (radius == 0) return 0;
  const Real chord = PointDistance(ContourVertex(c, k), c.Wall[static_cast<size_t>(k)].End);
  const Real halfAngle = std::asin(std::min<Real>(1, chord / (2 * std::fabs(radius))));
  return static_cast<double>((radius < 0 ? -1 : 1) * std::tan(halfAngle / 2));
}

// The entities dxflib reports: polylines with their vertices, and lines.
struct Polyline {
  std::string Layer;
  bool Closed = false;
  std::vector<DL_VertexData> Vertices;
};

class Collector : public DL_CreationAdapter {
 public:
  void addPolyline(const DL_PolylineData& data) override {
    polylines.push_back({getAttributes().getLayer(), (data.flags & 1) != 0, {}});
  }
  void addVertex(const DL_VertexData& data) override {
    if (!polylines.empty()) polylines.back().Vertices.push_back(data);
  }
  void addLine(const DL_LineData& data) override {
    lines.push_back({getAttributes().getLayer(), data});
  }

  std::vector<Polyline> polylines;
  std::vector<std::pair<std::string, DL_LineData>> lines;
};

bool SameLayer(const std::string& a, const char* b) {
  if (a.size() != std::char_traits<char>::length(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

TRealPoint Metres(double x, double y) {
  return {static_cast<Real>(x) / MillimetresPerMetre, static_cast<Real>(y) / MillimetresPerMetre};
}

// Appends the segment from `from` to `to` of bulge b; an arc over 180° (the
// contour holds the shorter arcs only) as two halves through its midpoint.
void AddSegment(std::vector<ContourSegment>& wall, const TRealPoint& from, const TRealPoint& to, Real b) {
  const Real chord = PointDistance(from, to);
  if (b == 0 || !(chord > 0)) {
    wall.push_back({to, 0});
    return;
  }
  if (std::fabs(b) > 1) {
    // The sagitta is b·chord/2, on the chord's right for a positive bulge.
    const TRealPoint dir{(to.X - from.X) / chord, (to.Y - from.Y) / chord};
    const Real s = b * chord / 2;
    const TRealPoint mid{(from.X + to.X) / 2 + s * dir.Y, (from.Y + to.Y) / 2 - s * dir.X};
    const Real half = std::tan(std::atan(b) / 2);  // θ/4 of each half
    AddSegment(wall, from, mid, half);
    AddSegment(wall, mid, to, half);
    return;
  }
  const Real theta = 4 * std::atan(std::fabs(b));
  wall.push_back({to, (b < 0 ? -1 : 1) * chord / (2 * std::sin(theta / 2))});
}

}  // namespace

std::string WriteContourDxf(const Contour& c) {
  StringWriter w;
  w.comment("rinfet-mdv contour, mm");
  w.sectionHeader();
  w.dxfString(9, "$ACADVER");
  w.dxfString(1, "AC1009");
  w.sectionEnd();
  w.sectionTables();
  w.tableLinetypes(1);
  w.tableLinetypeEntry();
  w.dxfString(2, "CONTINUOUS");
  w.dxfInt(70, 0);
  w.dxfString(3, "Solid line");
  w.dxfInt(72, 65);
  w.dxfInt(73, 0);
  w.dxfReal(40, 0.0);
  w.tableEnd();
  w.tableLayers(4);
  Layer(w, "0", 7);
  Layer(w, DxfWallLayer, 7);
  Layer(w, DxfSuctionLayer, 3);
  Layer(w, DxfPlaneLayer, 5);
  w.tableEnd();
  w.sectionEnd();
  w.sectionEntities();
  w.entity("POLYLINE");
  w.dxfString(8, DxfWallLayer);
  w.dxfInt(66, 1);
  w.coord(10, 0, 0);
  w.dxfInt(70, 0);  // open
  const int n = static_cast<int>(c.Wall.size());
  for (int k = 0; k <= n; ++k) {
    const TRealPoint p = ContourVertex(c, k);
    w.entity("VERTEX");
    w.dxfString(8, DxfWallLayer);
    w.coord(10, static_cast<double>(p.X * MillimetresPerMetre), static_cast<double>(p.Y * MillimetresPerMetre));
    if (k < n) {
      const double b = Bulge(c, k);
      if (b != 0) w.dxfReal(42, b);
    }
  }
  w.entity("SEQEND");
  w.dxfString(8, DxfWallLayer);
  // The section reaches up to the inner wall (without a crossing, which the
  // validation refuses, up to the wall's end r).
  TRealPoint top{c.SuctionX, c.Wall.empty() ? Real(0) : c.Wall.back().End.Y};
  int topSegment = 0;
  bool intoChannel = false;
  ContourSuctionTop(c, top, topSegment, intoChannel);
  Line(w, DxfSuctionLayer, {c.SuctionX, 0}, top);
  Line(w, DxfPlaneLayer, {c.PlaneX, 0}, {c.PlaneX, c.PlaneRadius});
  w.sectionEnd();
  w.dxfEOF();
  return w.Text();
}

bool WriteContourDxfFile(const std::string& path, const Contour& c, std::string& error) {
  const std::string text = WriteContourDxf(c);
  return WriteFileAtomically(path, Bytes(text.begin(), text.end()), error);
}

bool ReadContourDxf(const std::string& text, const Contour& defaults, Contour& out, std::string& error) {
  Collector got;
  std::istringstream in(text);
  DL_Dxf dxf;
  if (!dxf.in(in, &got)) {
    error = "не удалось прочитать DXF";
    return false;
  }
  const Polyline* wall = nullptr;
  for (const Polyline& p : got.polylines) {
    if (SameLayer(p.Layer, DxfWallLayer)) {
      wall = &p;
      break;
    }
  }
  if (wall == nullptr && !got.polylines.empty()) wall = &got.polylines.front();
  if (wall == nullptr) {
    error = "в DXF нет полилинии (POLYLINE или LWPOLYLINE) стенки";
    return false;
  }
  if (wall->Closed) {
    error = "полилиния стенки на слое «" + wall->Layer + "» замкнута: стенка - разомкнутая линия";
    return false;
  }
  if (wall->Vertices.size() < 2) {
    error = "у полилинии стенки на слое «" + wall->Layer + "» меньше двух вершин";
    return false;
  }
  Contour c = defaults;
  c.Wall.clear();
  c.Start = Metres(wall->Vertices[0].x, wall->Vertices[0].y);
  for (size_t i = 1; i < wall->Vertices.size(); ++i) {
    const DL_VertexData& v = wall->Vertices[i];
    AddSegment(c.Wall, ContourVertex(c, static_cast<int>(c.Wall.size())), Metres(v.x, v.y),
               static_cast<Real>(wall->Vertices[i - 1].bulge));
  }
  for (const auto& [layer, line] : got.lines) {
    const TRealPoint a = Metres(line.x1, line.y1), b = Metres(line.x2, line.y2);
    const bool suction = SameLayer(layer, DxfSuctionLayer), plane = SameLayer(layer, DxfPlaneLayer);
    if (!suction && !plane) continue;
    if (a.X != b.X) {
      error = std::string("линия на слое «") + layer + "» не вертикальна: сечение и экран лежат при x = const";
      return false;
    }
    if (suction) c.SuctionX = a.X;
    if (plane) c.PlaneX = a.X, c.PlaneRadius = std::max(a.Y, b.Y);
  }
  out = std::move(c);
  return true;
}

bool ReadContourDxfFile(const std::string& path, const Contour& defaults, Contour& out, std::string& error) {
  Bytes data;
  if (!ReadWholeFile(path, data, error, MaxDxfBytes)) return false;
  if (!ReadContourDxf(std::string(data.begin(), data.end()), defaults, out, error)) {
    error = "\"" + path + "\": " + error;
    return false;
  }
  return true;
}

}  // namespace mdv
