#pragma once
// Power spectral density of a sampled velocity by Welch's method: the series
// is cut into segments that overlap by half, each segment has its own mean
// and linear trend removed (least squares) and is weighted with a Hann
// window, and the periodograms of the segments are averaged. The density is one-sided, in (m/s)²/Hz for a
// velocity in m/s, scaled so that its integral over frequency equals the
// variance of the series (Parseval) up to the windowing's leakage.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/base/observer.h"
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
  // The highest density is at the lowest frequency (k = 1): a change slower
  // than a segment (a drift, what is left of the start-up), not a peak.
  bool PeakAtLowest = false;
};

// Welch's estimate fed in blocks of any size: it holds one segment, so a
// series of any length costs the memory of one segment. WelchPsd is this
// accumulator fed the whole series at once (the same bits).
class WelchAccumulator {
 public:
  WelchAccumulator();
  ~WelchAccumulator();
  WelchAccumulator(const WelchAccumulator&) = delete;
  WelchAccumulator& operator=(const WelchAccumulator&) = delete;
  // Segment length in [4, …]; time step a positive finite number, s.
  bool Begin(std::size_t segmentLength, double timeStep, std::string& error);
  void Add(const double* x, std::size_t n);
  // Needs a whole segment added; out as WelchPsd gives it.
  bool Finish(PowerSpectrum& out, std::string& error);

 private:
  struct Fft;
  void Segment();

  std::size_t len_ = 0, hop_ = 0, have_ = 0, segments_ = 0;
  double fs_ = 0, windowPower_ = 0, magnitude_ = 0;
  std::vector<double> window_, buffer_, sum_;
  std::unique_ptr<Fft> fft_;
};

// Welch PSD of n samples taken `timeStep` seconds apart. segmentLength 0
// chooses DefaultSegmentLength(n); otherwise it must lie in [4, n]. Fails,
// with a message for the user, on too few samples, a time step that is not a
// positive finite number or a segment length out of range.
bool WelchPsd(const double* samples, std::size_t n, double timeStep, PowerSpectrum& out,
              std::string& error, std::size_t segmentLength = 0);

// Integral of the density over frequency (trapezoids), (unit)².
double SpectrumIntegral(const PowerSpectrum& s);

// The spectra of both velocity components of pulsation point k (0-based),
// from sample `first` on (the start-up left out).
struct PulsationSpectra {
  PowerSpectrum Vx;  // axial velocity, (m/s)²/Hz
  PowerSpectrum Vy;  // radial velocity, (m/s)²/Hz
  int64_t FirstSample = 0;
  double FromTime = 0;  // model time of that sample, s
};
bool CalcPulsationSpectra(const PulsationRecord& r, int32_t k, PulsationSpectra& s,
                          std::string& error, std::size_t segmentLength = 0, int64_t first = 0);

// The table of both densities, one layout for the window and the batch tool:
// "f;Svx;Svy", then one line per frequency from 0 (Hz, (m/s)²/Hz), decimal
// commas, no byte-order mark.
std::string SpectrumCsv(const PulsationSpectra& s);
// The same, asking obs.StopRequested() every few thousand lines (a long
// record's table has millions): false, with `out` incomplete, when stopped.
bool SpectrumCsv(const PulsationSpectra& s, std::string& out, Observer& obs);

// "Пик спектра Vx: 12,5 Гц" — the peak frequency for the user, Hz in the
// general format with the decimal comma; "Пик спектра Vx: нет (ряд постоянный)"
// without a peak; when the highest density is at the lowest frequency,
// "Пик спектра Vx: нет — наибольшая плотность на низшей частоте 0,78125 Гц
// (медленное изменение, не пик)".
std::string PeakText(const char* component, const PowerSpectrum& s);

inline constexpr char TooFewSpectrumSamplesText[] =
    "Слишком мало отсчетов для спектра (нужно не меньше 16)";
// Samples too large for the spectrum's double arithmetic.
inline constexpr char SpectrumOutOfRangeText[] =
    "Значения записи слишком велики для спектра: плотность вне диапазона двойной точности";

}  // namespace mdv
