#pragma once
// Power spectral density of a sampled velocity by Welch's method: the series
// is cut into segments that overlap by half, each segment has its own mean
// removed and is weighted with a Hann window, and the periodograms of the
// segments are averaged. The density is one-sided, in (m/s)²/Hz for a
// velocity in m/s, scaled so that its integral over frequency equals the
// variance of the series (Parseval) up to the windowing's leakage.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/model/records.h"

namespace mdv {

// Fewest samples a spectrum is computed from; below this there is no
// frequency worth showing.
inline constexpr std::size_t MinSpectrumSamples = 16;

// The segment length used when none is given: the largest power of two not
// above n/4, so that with half overlap about seven segments are averaged
// (the estimate's scatter drops with their number), but at least 16 samples
// (nine frequencies). A 1 s run at 0,005 s (200 samples) gets 32 samples
// (6,25 Hz apart), a 10 s run (2000 samples) 256 (0,78 Hz apart).
std::size_t DefaultSegmentLength(std::size_t sampleCount);

struct PowerSpectrum {
  std::size_t SegmentLength = 0;   // samples per segment N
  std::size_t SegmentCount = 0;    // segments averaged
  double SampleRate = 0;           // fs = 1 / time step, Hz
  std::vector<double> Frequency;   // k·fs/N for k = 0 … N/2, Hz
  std::vector<double> Density;     // one-sided PSD, (unit)²/Hz
  // False for a series that is constant to rounding (its fluctuation below
  // 1e-12 of its magnitude): its "peak" would be rounding noise.
  bool HasPeak = false;
  std::size_t PeakIndex = 0;       // highest density among k >= 1
  double PeakFrequency = 0;        // Hz
};

// Welch PSD of n samples taken `timeStep` seconds apart. segmentLength 0
// chooses DefaultSegmentLength(n); otherwise it must lie in [4, n]. Fails,
// with a message for the user, on too few samples, a time step that is not a
// positive finite number or a segment length out of range.
bool WelchPsd(const double* samples, std::size_t n, double timeStep, PowerSpectrum& out,
              std::string& error, std::size_t segmentLength = 0);

// Integral of the density over frequency (trapezoids), (unit)².
double SpectrumIntegral(const PowerSpectrum& s);

// The spectra of both velocity components of pulsation point k (0-based).
struct PulsationSpectra {
  PowerSpectrum Vx;  // axial velocity, (m/s)²/Hz
  PowerSpectrum Vy;  // radial velocity, (m/s)²/Hz
};
bool CalcPulsationSpectra(const PulsationRecord& r, int32_t k, PulsationSpectra& s,
                          std::string& error, std::size_t segmentLength = 0);

// "Пик спектра Vx: 12,5 Гц" — the peak frequency for the user, Hz in the
// general format with the decimal comma; "Пик спектра Vx: нет (ряд постоянный)"
// without a peak.
std::string PeakText(const char* component, const PowerSpectrum& s);

inline constexpr char TooFewSpectrumSamplesText[] =
    "Слишком мало отсчетов для спектра (нужно не меньше 16)";

}  // namespace mdv
