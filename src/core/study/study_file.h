#pragma once
// study/ — parameter studies: study files, plans, case results and tables.
// The top layer of the core: it may use every folder below it.
//
// A parameter study: one study file (TOML) with a base set of `run` options,
// the options swept (crossed as a grid or paired) and the results to collect.
// Keys of [base] and [sweep] are the `run` option names without their dashes.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/geometry.h"

namespace mdv {

enum class StudyKeyKind {
  Real,     // a number; a string with a decimal comma is accepted too
  Integer,  // a whole number
  Flag,     // true / false: the option is given or left out
  Choice,   // one of the names in StudyKey::Choices
  Points,   // points [[x, y], …], m: the option's "x,y;x,y"
  File,     // a file's path: relative to the study file's folder, made absolute
};

// A `run` option a study may set. The table is the one place that lists them:
// an option the run command gains later is one more line (with its unit).
struct StudyKey {
  const char* Name;  // the option without its dashes
  StudyKeyKind Kind;
  const char* Unit;  // for the CSV header; "" when it has none
  // The program's own name with its unit, as the area dialog and the main
  // window label the field ('\n' where the dialog breaks the line).
  const char* Label;
  const char* Choices = nullptr;  // Choice: the names it takes, "extended|double"
};

const std::vector<StudyKey>& StudyKeys();
// Also "contour.NAME" (a named parameter of the contour file, NAME as the
// file declares it): one entry, a Real, stands for all of them.
const StudyKey* FindStudyKey(std::string_view name);

// The key of a contour file's parameter: "contour.R" is --contour-parameter R=….
inline constexpr std::string_view ContourParameterPrefix = "contour.";
// NAME of "contour.NAME", or "" for any other key.
std::string_view ContourParameterName(std::string_view key);

// The program's name of a key for table headers and axes: its Label, or
// "Параметр контура NAME"; the key itself when it has none.
std::string StudyKeyLabel(std::string_view key);

// Study keys the contour file decides: refused beside `contour`.
bool ContourDecides(std::string_view key);

// One option of one case: its argument with a decimal point ("0.75"), or
// "true"/"false" for a flag.
struct StudySetting {
  std::string Key;
  std::string Value;
};

struct StudySweep {
  std::string Key;
  std::vector<std::string> Values;  // as StudySetting::Value
  int Line = 0;                     // in the study file
};

// What to collect from each case.
struct ResultRequest {
  bool VortexZone = true;          // the seven dimensions of the vortex zone
  TRealPointArray Points;          // speed at these points, m
  std::vector<Real> CentrelineXD;  // centre-line speed at these x/D (cases that average)
  bool Flux = false;               // flux ratio (cases that average)
  // C_c at the vena contracta, its place and jet radius, the reattachment
  // length (cases that average)
  bool Contraction = false;
  // The caught fraction and median capture time of each tracer source given
  // by --tracers (cases that release markers)
  bool Capture = false;
};

struct StudyDefinition {
  std::string Name;
  std::vector<StudySetting> Base;
  std::vector<StudySweep> Sweep;  // in the order of the file
  bool Zip = false;               // pair the swept lists instead of crossing them
  ResultRequest Results;
  // [convergence]: each key refined alone (at least three values), every
  // other option at its [base] value, at every point of the sweep; the
  // grid convergence index of every result from the three finest.
  std::vector<StudySweep> Convergence;  // in the order of the file
  // The absolute folder relative contour paths were taken from: the study
  // file's own, or the one its planned copy records (planned-from). "" when
  // the study names no contour.
  std::string ContourFolder;
  bool FolderRecorded = false;  // the text gives planned-from
};

// Refinements a convergence key needs at least.
inline constexpr size_t MinRefinements = 3;
// At most this many steps of one refined key: the index takes the three
// finest, a few more show the trend; a longer list is a mistake.
inline constexpr size_t MaxRefinements = 100;

// The values of the refined keys (one per StudyDefinition::Convergence) in
// each distinct case of one point of the sweep: key after key, value after
// value as in the file, a case two series share listed once. A key not
// refined in a case has its [base] value, or "" when [base] has none. One
// empty list when the study refines nothing.
std::vector<std::vector<std::string>> RefinedVariants(const StudyDefinition& definition);

// Largest number of cases a study may have.
inline constexpr size_t MaxStudyCases = 100000;

// Answers whether the run command of this program has the option (no dashes).
using OptionAvailable = std::function<bool(std::string_view key)>;

// Parses a study file. On failure returns false with a Russian message that
// names the file, the line and the key. `available` may be empty (no check).
// With `readContours` (when the study is planned) every contour file is read
// and judged with the [base] values of its parameters, and each
// "contour.NAME" must be declared by every contour file of the study; the
// commands that follow take the plan's paths as they are (a contour file
// changed or removed since fails its cases, not the study).
bool ParseStudy(std::string_view text, const std::string& fileName,
                const OptionAvailable& available, StudyDefinition& definition, std::string& error,
                bool readContours = false);

// The text a plan keeps of its study file: a study that names a contour has
// the folder its relative paths are taken from recorded first
// (planned-from = "…"), since the plan's copy lives in another folder.
// Any other text is kept as it is.
std::string PlannedStudyText(std::string_view text, const StudyDefinition& definition);

// The number of cases of the definition (grid product or zip length, times
// the refined variants).
size_t StudyCaseCount(const StudyDefinition& definition);

// A value as the user reads it: numbers with a decimal comma.
std::string DisplayValue(const std::string& value);

// True when the text holds a control character (C0 or DEL: a line break, a
// tab, NUL): such text could end a line of a file or script it is written into.
bool HasControlCharacter(std::string_view text);

// A TOML basic string: quotes and backslashes escaped, control characters as \uXXXX.
std::string TomlString(std::string_view text);

}  // namespace mdv
