#pragma once
// The axial velocity on the axis in front of the mouth beside the textbook
// hood curves: the disc-sink potential solution and DallaValle's equations.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/model/model.h"

namespace mdv {

// Stations x/D (D = 2B, x the distance in front of the mouth plane; the mouth
// from the geometry, MouthEdge).
inline constexpr double CentrelineStations[] = {0.1, 0.25, 0.5, 0.75, 1, 1.5, 2, 3};
inline constexpr int32_t CentrelineStationCount = 8;

struct CentrelineRow {
  double XOverD = 0;
  bool HasModel = false;  // false: the station lies on or behind the plane
  double Model = 0;       // v/v0 of the model (mean or instantaneous)
  double DiscSink = 0;    // 1 - x/sqrt(x² + B²)
  double DallaValleFlanged = 0;  // A / (0,75·(10x² + A)), A = πB², x and B in m
  double DallaVallePlain = 0;    // A / (10x² + A)
};

// The point of a station on the axis, m: (mouth − xOverD·2B, 0).
TRealPoint CentrelinePoint(const Model& m, double xOverD);
// The station lies in the flow: more than half a vortex spacing in front of
// the plane (the velocity behind the plane's disc is not the hood's).
bool CentrelineInFlow(const Model& m, double xOverD);

double DiscSinkRatio(double x, double radius);           // x, radius in m
double DallaValleFlangedRatio(double x, double radius);
double DallaVallePlainRatio(double x, double radius);

// Rows for the stations from axial velocities at them (m/s, one per station
// in CentrelineStations order; ignored where the station is not in the flow),
// divided by the suction speed.
std::vector<CentrelineRow> CentrelineRows(const Model& m, std::span<const double> vx);

// The rows of the present state (velocities from CalcVelocityPair on the
// model's threads).
std::vector<CentrelineRow> CentrelineOfState(const Model& m);

// "x/D;model v/v0;disc sink;DallaValle flanged;DallaValle plain" and one row
// per station: semicolons, decimal comma, the model field empty where none.
std::string CentrelineCsv(const std::vector<CentrelineRow>& rows);
// The same as an aligned table for a terminal, Russian headings.
std::string CentrelineTable(const std::vector<CentrelineRow>& rows);

}  // namespace mdv
