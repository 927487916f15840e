#pragma once
// The two records a run can write: velocity pulsations (.pls) and the
// circulation of the newest free vortex (.fvt).
#include <string>

#include "core/base/bytes.h"
#include "core/model/geometry.h"

namespace mdv {

struct PulsationRecord {
  Real StartTime = 0;         // model time of the first sample, s
  Real TimeStep = 0;          // time between samples, s
  TRealPointArray Points;     // P points
  int32_t SampleCount = 0;    // M
  TRealMatr Vx;               // P rows of at least M samples, m/s
  TRealMatr Vy;
};

struct TrackRecord {
  Real StartTime = 0;    // s
  Real TimeStep = 0;     // s
  Real Spacing = 0;      // VortexSpacing of the run, m
  TRealArray Gammas;     // one circulation per step, m²/s
};

Bytes EncodePulsationRecord(const PulsationRecord& r);
bool DecodePulsationRecord(const Bytes& data, PulsationRecord& r, std::string& error);
Bytes EncodeTrackRecord(const TrackRecord& r);
bool DecodeTrackRecord(const Bytes& data, TrackRecord& r, std::string& error);

}  // namespace mdv
