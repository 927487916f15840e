#pragma once
// The saved state of a run on a contour area: its own versioned file, beside
// the vortex file of the parametric hood (whose layout stays as it is).
// SaveVortexFile and LoadVortexState choose it by the area and by the
// signature, so every command that saves or loads a state takes both.
//
// Layout, little-endian, extended reals in 10 bytes:
//   signature (32 bytes, ContourStateSignature), Int32 version,
//   Int32 L (bytes of the contour text), Int32 N (attached rings),
//   Int32 F (free rings), Int32 MaxFreeVortex, Ext Time, Ext Dt,
//   L bytes of the contour file's text (UTF-8),
//   N + F rings: Ext X, Ext Y, Ext Gamma.
// The control points are not stored: the contour rebuilds them, and the
// stored attached rings must lie where that build puts them.
#include <cstdint>
#include <string>

#include "core/base/bytes.h"
#include "core/model/model.h"

namespace mdv {

inline constexpr char ContourStateSignature[] = "Rinfet-MDV contour vortex state\n";
inline constexpr int32_t ContourStateVersion = 1;
inline constexpr size_t ContourStateHeaderSize = 32 + 5 * 4 + 2 * ExtSize;
inline constexpr size_t ContourStateRingSize = 3 * ExtSize;
// Longest contour text a state may carry, bytes.
inline constexpr int32_t MaxContourTextBytes = 1 << 20;

// True when the bytes start with the contour state's signature.
bool IsContourState(const uint8_t* data, size_t size);

// The length the header states, bytes; 0 with the reason when it is wrong.
uint64_t StatedContourStateLength(const uint8_t* data, size_t size, std::string& error);

Bytes EncodeContourState(const Model& m);

// Checks the whole buffer (header, exact length, finite canonical reals, the
// contour's text read and judged by ValidateContour, the attached rings where
// the contour puts them within 1e-9 m); on success m becomes the contour area
// with the saved rings, time and step; on failure m is unchanged and `error`
// says why.
bool DecodeContourState(const uint8_t* data, size_t size, Model& m, std::string& error);

}  // namespace mdv
