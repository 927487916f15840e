#pragma once
// The spectra of a pulsation point with the record's start-up left out: the
// start-up ends where MSER-5 finds it on Vx and on Vy (the later of the two),
// or at a time the user gives. From the record in memory (the pulsation
// window) or streamed from its file (the batch tool: memory in proportion to
// one segment whatever the record's length, a stop asked between blocks).
#include <cstdint>
#include <optional>
#include <string>

#include "core/analysis/spectrum.h"
#include "core/base/observer.h"
#include "core/model/records.h"

namespace mdv {

struct SpectrumStart {
  bool Given = false;     // from a time the user gave
  bool Detected = false;  // the start-up's end was found in the record
  int64_t First = 0;      // first sample of the spectra
  double Time = 0;        // its model time, s
};

// "Спектр с t = 2,5 с: конец разгона по записи" and the like.
std::string SpectrumStartText(const SpectrumStart& s);

// From the record in memory; `from` (s) when given, else the detected end of
// the start-up (the whole record when none is found).
bool RecordSpectra(const PulsationRecord& r, int32_t k, std::optional<Real> from, PulsationSpectra& s,
                   SpectrumStart& start, std::string& error);

// The same read from the file in blocks; `header` gets the record without
// its samples. False with an error, or with obs.StopRequested() true and no
// error when a stop was asked.
bool StreamRecordSpectra(const std::string& file, int32_t k, std::optional<Real> from, Observer& obs,
                         PulsationRecord& header, PulsationSpectra& s, SpectrumStart& start,
                         std::string& error);

}  // namespace mdv
