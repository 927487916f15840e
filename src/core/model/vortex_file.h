#pragma once
// Vortex data files (.vrt, .evt): the saved state of a simulation.
#include <string>

#include "core/base/bytes.h"
#include "core/model/model.h"
#include "core/base/observer.h"

namespace mdv {

inline constexpr char VortexFileSignature[] =
    "Vortex Flows Analysis Program. Kestrova 2003-2004. Torvanelskiyev. ";
inline constexpr int32_t VortexFileVersion = 2;
inline constexpr size_t VortexFileHeaderSize = 193;
inline constexpr size_t CalcPointRecordSize = 64;
inline constexpr size_t VortexRecordSize = 40;

Bytes EncodeVortexFile(const Model& m);
// Checks the whole buffer against its header first (version 2, N >= 1,
// F >= 0, 0 <= MaxFreeVortex <= MaxFreeVortexLimit, exact length, finite reals
// in canonical encoding); on any fault returns false with a reason and leaves
// the model exactly as it was. The vortex array gets room for N + MaxFreeVortex
// vortices, or N + F when the file holds more free vortices than its limit.
bool DecodeVortexFile(const Bytes& data, Model& m, std::string& error);
bool DecodeVortexFile(const uint8_t* data, size_t size, Model& m, std::string& error);

bool SaveVortexFile(const Model& m, const std::string& fileName, std::string& error);
bool LoadVortexFile(Model& m, const std::string& fileName, std::string& error);
// Every command that loads a state (the window's load, run --load, the batch
// analyses): load, BuildArea, load again (the ribs and the separation data
// follow the loaded parameters, the arrays are as saved). The plane is taken
// from the file's end vortex, which sits at (PlaneX, PlaneHalfLength), so a
// state is never analysed against another plane. Refused as well, with the
// model unchanged: parameters that make no sound contour
// (ValidateAreaParameters), and attached vortices or control points that the
// build from those parameters does not reproduce within 1e-9 m.
bool LoadVortexState(Model& m, const std::string& fileName, std::string& error,
                     Observer& obs = NullObserver());

}  // namespace mdv
