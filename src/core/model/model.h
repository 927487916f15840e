#pragma once
// model/ — the state and what describes it: the area and its validation,
// plane geometry, the contour's factored attached system and the double
// copy it keeps (both are parts of the state), vortex files and the two
// records. Uses base/.
//
// The model state: area parameters, the discrete model built from them, the
// free vortices of the simulation with its time, and the recording settings.
// One instance lives for the whole program; tests make as many as they like.
#include <cstdint>
#include <string>
#include <vector>

#include "core/model/contour.h"
#include "core/model/double_state.h"
#include "core/model/factored_system.h"
#include "core/model/geometry.h"
#include "core/model/refined_settings.h"
#include "core/base/real.h"

namespace mdv {

// One vortex ring: its position (X plane of the ring, Y its radius, m) and
// its circulation, m²/s.
struct TVortex {
  TRealPoint Pos;
  Real Gamma = 0;
};

// One control point on the contour: position, unit normal of its rib
// (pointing into the solid) and the prescribed normal velocity there, m/s.
struct TCalcPoint {
  TRealPoint Pos;
  TRealPoint Normal;
  Real Vn = 0;
};

using TVortexArray = std::vector<TVortex>;
using TCalcPointArray = std::vector<TCalcPoint>;

// The arithmetic of the flow's velocities and circulations.
enum class Precision {
  Extended,  // the program's defined arithmetic: 80-bit, bit for bit the literal path
  Double,    // vector kernel and LAPACK in double: the same statistics, far sooner
};

// How a run computes. Literal and Threads never change a result; Arithmetic
// chooses between the two arithmetic paths (Literal implies Extended). Not to
// be changed while a run is in progress.
struct Execution {
  bool Literal = false;  // reference path: full elimination each step, one thread
  int Threads = 0;       // worker threads; 0 = all cores
  Precision Arithmetic = Precision::Extended;
};

// What a run computes: the program's own model (the default, bit for bit as
// it always was), or the refined model of refined_step.h, whose averages
// are meant to converge as the spacing and the step shrink.
enum class FlowModel { Program, Refined };

struct Model {
  // ---- area parameters ----
  Real ChannelRadius = 0.15L;     // B, inner radius of the suction channel, m
  Real SuctionX = 1.0L;           // L, x of the suction section, m
  Real ChannelLength = 1.2L;      // LL, length of the channel walls, m
  Real FlangeLength = 0.5L;       // l, length of the inclined flange, m
  Real FlangeAngle = Pi / 6;      // alpha, inclination of the flange, rad
  Real WallThickness = 0.02L;     // W, wall and flange thickness = supply slot width, m
  Real PlaneHalfLength = 0.4L;    // PL, radius of the plane disc, m
  Real PlaneX = -0.5L;            // Px, x of the plane, m
  Real SuctionSpeed = 1.0L;       // air speed through the suction section, m/s
  Real InflowSpeed = 0.75L;       // air speed out of the supply slot, m/s
  Real VortexSpacing = 0.01L;     // h, distance between attached vortices, m
  Real Dt = 0.005L;               // time step, s
  Real MaxTime = 1.0L;            // model time at which a run ends, s
  int32_t MaxFreeVortex = 100;    // largest number of free vortices
  // The hood's kind: the parametric tube with its flange (the parameters
  // above), or the wall of HoodContour (contour_area.h), which then sets the
  // parameters the analyses read (B, L, LL, PL, Px, the speeds, h).
  bool ContourArea = false;
  Contour HoodContour;

  // ---- recording settings ----
  bool PulsationOn = false;
  int32_t PulsationPointCount = 0;
  TRealPointArray PulsationPoints;
  std::string PulsationFileName = "pulsate.pls";
  bool TrackOn = false;
  std::string TrackFileName = "freevrt.fvt";

  // ---- discrete model (BuildArea) ----
  TRibArray BodyRibs;
  int32_t BodyRibCount = 0;
  int32_t SuctionRib = 5;
  int32_t InflowRib = 2;
  TRibArray BarrierRibs;
  int32_t BarrierRibCount = 0;
  int32_t AttachedCount = 0;
  TCalcPointArray CalcPoints;
  int32_t SeparationCount = 0;
  std::vector<int32_t> SeparationIndex;
  TRealPointArray SeparationDir;
  Real FarDistance = 0;  // longer than any dimension of the hood, m
  // The shortest distance between neighbouring attached vortices of one rib,
  // m: a rib takes a whole number of intervals, so it may be shorter than h.
  Real AttachedSpacingMin = 0;

  // ---- simulation state ----
  TVortexArray Vortices;  // attached 0..AttachedCount-1, then free in birth order
  int32_t FreeVortexCount = 0;
  Real Time = 0;  // model time, s
  std::vector<int32_t> SheddingInterval;
  Real ShedOffset = 0;  // distance of a new free vortex from its edge, m
  TRealMatr InfluenceMatrix;      // run only
  TRealMatr InfluenceMatrixCopy;  // run only
  TRealArray Circulations;        // run only
  TVortexArray NewFreeVortices;   // run only
  bool StopRequested = false;
  // Changes whenever vortex positions or circulations, the vortex count's
  // contents or the area change: every core function that writes them
  // advances it, and so must any other code that writes Vortices by hand.
  // The double path's copy of the vortices follows it.
  uint64_t Revision = 0;

  // ---- analysis state ----
  TRealPointMatr StreamLines;
  int32_t StreamLineCount = 0;
  bool AreaCalcStopRequested = false;

  Execution Exec;
  FlowModel Flow = FlowModel::Program;
  RefinedSettings Refined;
  RefinedAccount RefinedCount;
  RefinedScratch RefinedWork;  // run only

  // ---- run scratch of the fast path (sized when a run starts, released at its end) ----
  FactoredSystem Factored;             // elimination of the attached system, recorded once
  TRealArray RightHandSide;            // column N in the original row order, for the replay
  TRealPointArray ConvectedPos;        // where each free vortex ends its step
  std::vector<uint8_t> ConvectedGone;  // 1: the vortex left through the suction section

  // ---- the double path: its copy of the vortices and its factored system ----
  DoubleState Double;
};

// SheddingInterval := (outer tip, inner tip, mouth edge): steps skipped between sheddings.
void SetSheddingIntervals(Model& m, int32_t outerTip, int32_t innerTip, int32_t mouth);

}  // namespace mdv
