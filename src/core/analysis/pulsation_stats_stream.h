#pragma once
// The statistics of one pulsation point streamed over the record file, so
// that a record of any length is processed with memory of one block: the
// same figures, bit for bit, as CalcPulsationStats on the whole record.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/analysis/pulsation_stats.h"
#include "core/base/observer.h"
#include "core/model/records.h"

namespace mdv {

// Receives the series in blocks of n samples: times, s, and fluctuations
// Vx_j - <Vx>, Vy_j - <Vy>, m/s, as CalcPulsationStats stores them. False
// stops the computation (with the sink's own error).
using FluctuationSink =
    std::function<bool(const double* t, const double* fx, const double* fy, std::size_t n, std::string& error)>;

// Two passes over point k's rows (0-based): the means, then the r.m.s.
// values with the series handed to `sink` (may be empty). `header` gets the
// record's header (times, points, sample count; no samples); `s` the four
// figures and labels, its series left empty. The checks and messages are
// CalcPulsationStats's. A stop asked by `obs` between blocks returns false
// with `error` empty.
bool StreamPulsationStats(const std::string& file, int32_t k, Observer& obs, PulsationRecord& header,
                          PulsationStats& s, const FluctuationSink& sink, std::string& error);

}  // namespace mdv
