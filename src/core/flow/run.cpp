#include "core/flow/run.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/model/area.h"
#include "core/flow/circulation.h"
#include "core/base/parallel.h"
#include "core/model/records.h"
#include "core/base/numfmt.h"
#include "core/base/safe_file.h"
#include "core/flow/step_model.h"

namespace mdv {

namespace {

// Pulsation rows grow by this many samples whenever they are full.
constexpr size_t PulsationChunk = 20;
// Upper bound of the circulation samples reserved ahead of a run; beyond it
// the series simply grows.
constexpr Real TrackReserveLimit = 1e6L;
// Samples per pulsation row reserved ahead of a run (16 bytes each, two rows
// per point); enough for 50 s of model time at the default step.
constexpr Real PulsationReserveLimit = 1e4L;

// The parts of the model a step may spoil, kept as they were at the end of
// the last complete step. Sized once per run; saving copies into place.
struct StepSnapshot {
  TVortexArray Vortices;
  std::vector<int32_t> ShedCounters;
  int32_t FreeVortexCount = 0;
  Real Time = 0;

  // Sizes stay fixed during a run; the copies are bounded all the same.
  void Save(const Model& m, const std::vector<int32_t>& counters) {
    std::copy_n(m.Vortices.begin(), std::min(m.Vortices.size(), Vortices.size()), Vortices.begin());
    std::copy_n(counters.begin(), std::min(counters.size(), ShedCounters.size()),
                ShedCounters.begin());
    FreeVortexCount = m.FreeVortexCount;
    Time = m.Time;
  }
  void Restore(Model& m, std::vector<int32_t>& counters) const {
    std::copy_n(Vortices.begin(), std::min(m.Vortices.size(), Vortices.size()), m.Vortices.begin());
    std::copy_n(ShedCounters.begin(), std::min(counters.size(), ShedCounters.size()),
                counters.begin());
    m.FreeVortexCount = FreeVortexCount;
    m.Time = Time;
    ++m.Revision;
  }
};

bool IsFinite(const TRealPoint& p) { return std::isfinite(p.X) && std::isfinite(p.Y); }

// Every vortex in use has a finite position and circulation, and time is finite.
bool StateFinite(const Model& m) {
  if (!std::isfinite(m.Time)) return false;
  const int32_t end = m.AttachedCount + m.FreeVortexCount;
  for (int32_t i = 0; i < end; ++i) {
    const TVortex& v = m.Vortices[i];
    if (!IsFinite(v.Pos) || !std::isfinite(v.Gamma)) return false;
  }
  return true;
}

// The discrete model is complete enough to run on (built, or loaded whole).
bool AreaUsable(const Model& m) {
  const int32_t n = m.AttachedCount;
  return n >= 1 && m.Vortices.size() >= static_cast<size_t>(n) &&
         m.CalcPoints.size() + 1 >= static_cast<size_t>(n) &&
         m.SeparationIndex.size() == static_cast<size_t>(m.SeparationCount) &&
         m.SeparationDir.size() == static_cast<size_t>(m.SeparationCount) &&
         m.BarrierRibs.size() == static_cast<size_t>(m.BarrierRibCount) &&
         m.SuctionRib >= 0 && m.SuctionRib < m.BarrierRibCount;
}

void ReleaseRunArrays(Model& m) {
  FreeMatr(m.InfluenceMatrix, m.AttachedCount);
  FreeMatr(m.InfluenceMatrixCopy, m.AttachedCount);
  TRealArray().swap(m.Circulations);
  TVortexArray().swap(m.NewFreeVortices);
  m.Factored.Clear();
  TRealArray().swap(m.RightHandSide);
  TRealPointArray().swap(m.ConvectedPos);
  std::vector<uint8_t>().swap(m.ConvectedGone);
  m.Double.System.Clear();
}

std::string NonFiniteMessage(int64_t completed) {
  return "Расчёт остановлен: шаг " + std::to_string(completed + 1) +
         " дал нечисловые координаты или циркуляции вихрей. Модель оставлена в состоянии после "
         "последнего полного шага (выполнено шагов: " +
         std::to_string(completed) + ").";
}

// A fresh start builds the area; a continued run keeps its free vortices and
// makes room for the (possibly larger) limit of this run.
void PrepareVortices(Model& m, Observer& obs) {
  if (m.FreeVortexCount == 0 || !AreaUsable(m)) {
    m.FreeVortexCount = 0;
    BuildArea(m, obs);
  } else {
    const size_t held = m.Vortices.size() - static_cast<size_t>(m.AttachedCount);
    m.FreeVortexCount = std::min<int32_t>(m.FreeVortexCount, static_cast<int32_t>(held));
    const size_t room = static_cast<size_t>(m.AttachedCount) + static_cast<size_t>(m.MaxFreeVortex);
    if (m.Vortices.size() < room) m.Vortices.resize(room);
  }
}

}  // namespace

bool SolveWithoutStep(Model& m, int32_t maxFree, int32_t freeCount, Observer& obs) {
  m.StopRequested = false;
  m.ShedOffset = m.VortexSpacing / 2;
  m.MaxFreeVortex = std::max<int32_t>(maxFree, 0);
  m.FreeVortexCount = std::clamp<int32_t>(freeCount, 0, m.MaxFreeVortex);
  PrepareVortices(m, obs);
  m.Circulations.assign(static_cast<size_t>(m.AttachedCount), 0);
  const bool setUp = SetUpCirculationSystem(m, obs);
  if (setUp) {
    if (m.FreeVortexCount != 0) UpdateRightHandSide(m);
    SolveCirculations(m);
  }
  ReleaseRunArrays(m);
  return setUp;
}

std::string FreeLimitWarning(int32_t maxFree, Real time) {
  return "Внимание: достигнут предел свободных вихрей (" + std::to_string(maxFree) + ") при t = " +
         FormatFixed(time, 6, 3) +
         " сек.; пока он достигнут, отрыв вихрей ограничен, и средние величины зависят от предела.";
}

bool RunMakesNoStep(Real startTime, Real endTime) { return !(startTime <= endTime); }

RunSummary RunSimulation(Model& m, int32_t maxFree, int32_t freeCount, Real startTime,
                         Real endTime, Real step, Observer& obs) {
  RunSummary summary;
  // Nothing to compute: the area is not rebuilt and no record is written (an
  // empty record would replace the last run's).
  if (RunMakesNoStep(startTime, endTime)) {
    summary.HowEnded = RunSummary::End::EndTimeReached;
    summary.Message = EndTimeReachedMessage;
    return summary;
  }

  // ---- start of the run ----
  m.StopRequested = false;
  m.ShedOffset = m.VortexSpacing / 2;
  m.MaxFreeVortex = std::max<int32_t>(maxFree, 0);
  m.Dt = step;
  m.MaxTime = endTime;
  m.Time = startTime;
  m.FreeVortexCount = std::clamp<int32_t>(freeCount, 0, m.MaxFreeVortex);

  const bool pulsationOn = m.PulsationOn;
  const size_t pointCount =
      pulsationOn ? std::min(static_cast<size_t>(std::max<int32_t>(m.PulsationPointCount, 0)),
                             m.PulsationPoints.size())
                  : 0;
  TRealMatr pulsationVx;
  TRealMatr pulsationVy;
  int32_t pulsationSampleCount = 0;
  const Real runStartTime = startTime;
  if (pulsationOn) {
    SetMatrSize(pulsationVx, static_cast<int32_t>(pointCount), PulsationChunk);
    SetMatrSize(pulsationVy, static_cast<int32_t>(pointCount), PulsationChunk);
    // The rows still grow by whole chunks; the storage for the expected steps
    // is taken now, so that a step allocates nothing (a longer run's rows
    // double their storage now and then, as they would without this).
    const Real expected = (endTime - startTime) / step + PulsationChunk + 1;
    if (std::isfinite(expected) && expected > 0) {
      const size_t capacity = static_cast<size_t>(std::min(expected, PulsationReserveLimit));
      for (TRealArray& row : pulsationVx) row.reserve(capacity);
      for (TRealArray& row : pulsationVy) row.reserve(capacity);
    }
  }

  const bool trackOn = m.TrackOn;
  TrackRecord track;
  if (trackOn) {
    track.StartTime = startTime;
    track.TimeStep = m.Dt;
    track.Spacing = m.VortexSpacing;
    const Real expected = (endTime - startTime) / step + 2;
    if (std::isfinite(expected) && expected > 0) {
      track.Gammas.reserve(static_cast<size_t>(std::min(expected, TrackReserveLimit)));
    }
  }

  PrepareVortices(m, obs);
  const int32_t n = m.AttachedCount;

  m.NewFreeVortices.assign(static_cast<size_t>(m.MaxFreeVortex), TVortex{});
  m.Circulations.assign(static_cast<size_t>(n), 0);
  if (!m.Exec.Literal) {
    m.ConvectedPos.assign(static_cast<size_t>(m.MaxFreeVortex), TRealPoint{});
    m.ConvectedGone.assign(static_cast<size_t>(m.MaxFreeVortex), 0);
  }
  std::vector<int32_t> shedCounters(static_cast<size_t>(m.SeparationCount), 0);
  const StepModel& stepModel = StepModelOf(m);
  stepModel.Prepare(m);

  // A stop asked for during the set-up leaves the state as it was at the start.
  const bool setUp = SetUpCirculationSystem(m, obs);
  if (setUp) {
    if (m.FreeVortexCount != 0) UpdateRightHandSide(m);
    SolveCirculations(m);
  }

  StepSnapshot snapshot;
  snapshot.Vortices.resize(m.Vortices.size());
  snapshot.ShedCounters.resize(shedCounters.size());

  if (!setUp) {
    summary.HowEnded = RunSummary::End::Stopped;
  } else if (!StateFinite(m)) {
    summary.HowEnded = RunSummary::End::NonFinite;
    summary.Message = NonFiniteMessage(0);
  } else {
    snapshot.Save(m, shedCounters);
    // ---- main loop ----
    while (m.Time <= m.MaxTime) {
      if (pulsationOn) {
        if (pointCount > 0 && pulsationVx[0].size() == static_cast<size_t>(pulsationSampleCount)) {
          const size_t grown = pulsationVx[0].size() + PulsationChunk;
          for (TRealArray& row : pulsationVx) row.resize(grown);
          for (TRealArray& row : pulsationVy) row.resize(grown);
        }
        auto sample = [&](int32_t begin, int32_t end) {
          for (int32_t i = begin; i < end; ++i) {
            CalcVelocityPair(m, m.PulsationPoints[i], -1, pulsationVx[i][pulsationSampleCount],
                             pulsationVy[i][pulsationSampleCount]);
          }
        };
        // The points are independent of each other.
        if (m.Exec.Literal) {
          sample(0, static_cast<int32_t>(pointCount));
        } else {
          SharedPool(m.Exec.Threads).For(static_cast<int32_t>(pointCount), sample);
        }
        pulsationSampleCount = pulsationSampleCount + 1;
      }

      m.Time = m.Time + m.Dt;
      stepModel.Move(m, shedCounters);
      if (trackOn) track.Gammas.push_back(m.Vortices[n + m.FreeVortexCount - 1].Gamma);
      UpdateRightHandSide(m);
      SolveCirculations(m);

      if (!StateFinite(m)) {
        // Back to the end of the last complete step; its records stay as they were.
        snapshot.Restore(m, shedCounters);
        if (pulsationOn) pulsationSampleCount = pulsationSampleCount - 1;
        if (trackOn) track.Gammas.pop_back();
        summary.HowEnded = RunSummary::End::NonFinite;
        summary.Message = NonFiniteMessage(summary.Steps);
        break;
      }
      summary.Steps = summary.Steps + 1;
      snapshot.Save(m, shedCounters);
      if (!summary.FreeLimitReached() && m.MaxFreeVortex > 0 && m.FreeVortexCount >= m.MaxFreeVortex) {
        summary.FreeLimitTime = m.Time;
        obs.FreeLimitReached(m);
      }

      obs.StepDone(m);
      obs.PumpEvents();
      if (m.StopRequested || obs.StopRequested()) {
        summary.HowEnded = RunSummary::End::Stopped;
        break;
      }
    }
  }

  // ---- end of the run ----
  ReleaseRunArrays(m);

  // Each record is attempted even when the other failed; the model is final already.
  // A run stopped in its set-up made no step: the last run's records stay.
  std::string writeErrors;
  if (pulsationOn && setUp) {
    PulsationRecord rec;
    rec.StartTime = runStartTime;
    rec.TimeStep = m.Dt;
    rec.Points.assign(m.PulsationPoints.begin(),
                      m.PulsationPoints.begin() + static_cast<std::ptrdiff_t>(pointCount));
    rec.SampleCount = pulsationSampleCount;
    rec.Vx = std::move(pulsationVx);
    rec.Vy = std::move(pulsationVy);
    std::string error;
    if (!WriteFileAtomically(m.PulsationFileName, EncodePulsationRecord(rec), error)) {
      writeErrors = error;
    }
  }
  if (trackOn && setUp) {
    std::string error;
    if (!WriteFileAtomically(m.TrackFileName, EncodeTrackRecord(track), error)) {
      if (!writeErrors.empty()) writeErrors += "\n";
      writeErrors += error;
    }
  }
  if (!writeErrors.empty()) {
    if (summary.HowEnded == RunSummary::End::NonFinite) {
      summary.Message += "\n" + writeErrors;
    } else {
      summary.Message = writeErrors;
    }
    summary.HowEnded = RunSummary::End::RecordWriteFailed;
  }
  return summary;
}

}  // namespace mdv
