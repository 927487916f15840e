#pragma once
// Plane geometry of the meridian half-plane, dynamic-array helpers and the
// dense solver of the attached circulations. Pure functions, no state.
#include <cstdint>
#include <vector>

#include "core/base/real.h"

namespace mdv {

// A point or vector of the meridian half-plane: X axial, Y distance from the axis, m.
struct TRealPoint {
  Real X = 0;
  Real Y = 0;
};

// A straight contour segment.
struct TRib {
  TRealPoint P1;
  TRealPoint P2;
};

using TRealArray = std::vector<Real>;
// Rows are separate vectors; exchanging two rows swaps their storage, not values.
using TRealMatr = std::vector<TRealArray>;
using TRealPointArray = std::vector<TRealPoint>;
using TRealPointMatr = std::vector<TRealPointArray>;
using TRibArray = std::vector<TRib>;

// Magnitudes below this are zero in LineValue (and so in every side test).
inline constexpr Real ZeroBand = 1e-10L;
// A wall crossing is backed off (or carried over) by this distance, m.
inline constexpr Real WallBackOff = 1e-4L;

// ---- array operations ----
void SetMatrSize(TRealMatr& m, int32_t rows, int32_t cols);
void FreeMatr(TRealMatr& m, int32_t rows);
bool CopyMatr(const TRealMatr& src, TRealMatr& dst, int32_t rows, int32_t cols);
void ZeroIfTiny(Real& x);

// Gaussian elimination with partial pivoting (earliest row wins ties), then
// back substitution. A is N x (N+1), destroyed. X keeps its size; untouched on failure.
bool SolveGauss(TRealMatr& a, int32_t n, TRealArray& x);

// ---- points and vectors ----
TRealPoint MakeRealPoint(Real x, Real y);
Real PointDistance(const TRealPoint& p1, const TRealPoint& p2);
Real RibLength(const TRib& r);
Real VectorLength(const TRealPoint& v);
Real DotProduct(const TRealPoint& v1, const TRealPoint& v2);
bool PointsEqual(const TRealPoint& p1, const TRealPoint& p2);
TRealPoint UnitNormal(const TRealPoint& p1, const TRealPoint& p2);
void LineCoefs(const TRealPoint& p1, const TRealPoint& p2, Real& a, Real& b, Real& c);
// The coefficients are taken as 64-bit doubles (callers' extended values are
// rounded on the way in); the result passes through ZeroIfTiny.
Real LineValue(const TRealPoint& p, double a, double b, double c);
Real DistToLine(const TRealPoint& p, const TRealPoint& l1, const TRealPoint& l2);
bool SegmentsParallel(const TRealPoint& a1, const TRealPoint& a2, const TRealPoint& b1,
                      const TRealPoint& b2);
bool PointInBox(const TRealPoint& p, const TRealPoint& a, const TRealPoint& b);
bool PointInRect(const TRealPoint& p, const TRib sides[4]);
bool SegmentsIntersect(const TRealPoint& a1, const TRealPoint& a2, const TRealPoint& b1,
                       const TRealPoint& b2, TRealPoint* out = nullptr);
void SlideAlongRib(const TRealPoint& p0, const TRealPoint& p1, const TRib& rib, bool& hit,
                   TRealPoint& newPos);
bool PathCrossesRibs(const TRealPoint& p0, const TRealPoint& p1, const TRibArray& ribs,
                     TRealPoint* stop = nullptr);

inline TRealPoint operator+(const TRealPoint& a, const TRealPoint& b) { return {a.X + b.X, a.Y + b.Y}; }
inline TRealPoint operator-(const TRealPoint& a, const TRealPoint& b) { return {a.X - b.X, a.Y - b.Y}; }

}  // namespace mdv
