#include "core/analysis/isolines.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <unordered_map>

namespace mdv {

namespace {

// Edges are named by integers: 2·(j·Nx + i) for the horizontal edge from
// point (i, j) to (i+1, j), 2·(j·Nx + i) + 1 for the vertical edge from
// (i, j) to (i, j+1). Two cells sharing an edge name it alike, so joining
// segments needs no comparison of coordinates.
struct Segment {
  int64_t A, B;  // edge names of the two ends
};

}  // namespace

std::vector<IsoPolyline> Isolines(const ScalarGridView& g, double level) {
  std::vector<IsoPolyline> out;
  if (g.Nx < 2 || g.Ny < 2 || !g.Values) return out;
  const int64_t nx = g.Nx;
  auto at = [&](int64_t i, int64_t j) { return g.Values[j * nx + i]; };
  auto in = [&](int64_t i, int64_t j) { return !g.Inside || g.Inside[j * nx + i] != 0; };
  auto above = [&](int64_t i, int64_t j) { return at(i, j) >= level; };

  std::vector<Segment> segs;
  for (int64_t j = 0; j + 1 < g.Ny; ++j) {
    for (int64_t i = 0; i + 1 < nx; ++i) {
      if (!in(i, j) || !in(i + 1, j) || !in(i + 1, j + 1) || !in(i, j + 1)) continue;
      // Corners a (i,j), b (i+1,j), c (i+1,j+1), d (i,j+1) and the edges
      // bottom (a-b), right (b-c), top (d-c), left (a-d).
      const std::array<bool, 4> up = {above(i, j), above(i + 1, j), above(i + 1, j + 1),
                                      above(i, j + 1)};
      const int64_t bottom = 2 * (j * nx + i);
      const int64_t left = bottom + 1;
      const int64_t right = 2 * (j * nx + i + 1) + 1;
      const int64_t top = 2 * ((j + 1) * nx + i);
      // Each corner's two edges, in corner order a, b, c, d.
      const std::array<std::array<int64_t, 2>, 4> cornerEdges = {
          {{bottom, left}, {bottom, right}, {right, top}, {left, top}}};
      const int count = up[0] + up[1] + up[2] + up[3];
      if (count == 0 || count == 4) continue;
      if (count == 1 || count == 3) {
        // One corner differs from the other three: cut it off.
        const bool odd = count == 1;
        for (int k = 0; k < 4; ++k)
          if (up[k] == odd) segs.push_back({cornerEdges[k][0], cornerEdges[k][1]});
        continue;
      }
      if (up[0] == up[1] || up[0] == up[3]) {
        // Two neighbouring corners above: a line across the cell.
        const int64_t e1 = up[0] == up[1] ? left : bottom;
        const int64_t e2 = up[0] == up[1] ? right : top;
        segs.push_back({e1, e2});
        continue;
      }
      // Saddle (a, c on one side, b, d on the other): the corners on the
      // side opposite the cell centre's are cut off.
      const double centre = 0.25 * (at(i, j) + at(i + 1, j) + at(i + 1, j + 1) + at(i, j + 1));
      const bool centreUp = centre >= level;
      for (int k = 0; k < 4; ++k)
        if (up[k] != centreUp) segs.push_back({cornerEdges[k][0], cornerEdges[k][1]});
    }
  }
  if (segs.empty()) return out;

  // Where an edge's crossing lies.
  auto crossing = [&](int64_t e) {
    const int64_t p = e / 2;
    const int64_t i = p % nx, j = p / nx;
    const int64_t i2 = (e % 2 == 0) ? i + 1 : i;
    const int64_t j2 = (e % 2 == 0) ? j : j + 1;
    const double v1 = at(i, j), v2 = at(i2, j2);
    const double t = v2 != v1 ? (level - v1) / (v2 - v1) : 0.5;
    return IsoPoint{g.X0 + g.Dx * (static_cast<double>(i) + t * static_cast<double>(i2 - i)),
                    g.Y0 + g.Dy * (static_cast<double>(j) + t * static_cast<double>(j2 - j))};
  };

  // Segments at each edge (at most two: the cells on either side).
  std::unordered_map<int64_t, std::array<int64_t, 2>> ends;
  ends.reserve(segs.size() * 2);
  for (std::size_t s = 0; s < segs.size(); ++s) {
    for (const int64_t e : {segs[s].A, segs[s].B}) {
      auto [it, fresh] = ends.try_emplace(e, std::array<int64_t, 2>{-1, -1});
      it->second[it->second[0] < 0 ? 0 : 1] = static_cast<int64_t>(s);
    }
  }
  std::vector<bool> used(segs.size(), false);
  auto walk = [&](std::size_t first, int64_t startEdge) {
    IsoPolyline line;
    line.push_back(crossing(startEdge));
    std::size_t s = first;
    int64_t edge = startEdge;
    while (true) {
      used[s] = true;
      const int64_t next = segs[s].A == edge ? segs[s].B : segs[s].A;
      line.push_back(crossing(next));
      const auto& pair = ends.at(next);
      const int64_t other = pair[0] == static_cast<int64_t>(s) ? pair[1] : pair[0];
      if (other < 0 || used[static_cast<std::size_t>(other)]) break;
      s = static_cast<std::size_t>(other);
      edge = next;
    }
    out.push_back(std::move(line));
  };
  // Open lines first, from an end that no other segment shares; then loops.
  for (std::size_t s = 0; s < segs.size(); ++s) {
    if (used[s]) continue;
    for (const int64_t e : {segs[s].A, segs[s].B}) {
      if (ends.at(e)[1] < 0) {
        walk(s, e);
        break;
      }
    }
  }
  for (std::size_t s = 0; s < segs.size(); ++s)
    if (!used[s]) walk(s, segs[s].A);
  return out;
}

double PolylineLength(const IsoPolyline& p) {
  double len = 0;
  for (std::size_t k = 1; k < p.size(); ++k)
    len += std::hypot(p[k].X - p[k - 1].X, p[k].Y - p[k - 1].Y);
  return len;
}

IsoPoint PolylineMidpoint(const IsoPolyline& p) {
  if (p.empty()) return {};
  double half = 0.5 * PolylineLength(p);
  for (std::size_t k = 1; k < p.size(); ++k) {
    const double seg = std::hypot(p[k].X - p[k - 1].X, p[k].Y - p[k - 1].Y);
    if (seg >= half && seg > 0) {
      const double t = half / seg;
      return {p[k - 1].X + t * (p[k].X - p[k - 1].X), p[k - 1].Y + t * (p[k].Y - p[k - 1].Y)};
    }
    half -= seg;
  }
  return p.back();
}

}  // namespace mdv
