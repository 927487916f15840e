#pragma once
// The cases of a study and its folder. Nothing about a study lives only in
// memory: the folder holds the study file, a manifest of the cases and one
// folder per case with its parameters, its log, its results and its marker.
//
//   DIR/study.toml            the study file as planned (identifies the study)
//   DIR/manifest.csv          id;case folder;one column per swept parameter
//   DIR/cases/0007/case.toml  the case's run options
//   DIR/cases/0007/run.log    what the run wrote to stderr
//   DIR/cases/0007/state.evt  the state at the end of the run
//   DIR/cases/0007/results.toml, then done   written atomically, in this order
//   DIR/cases/0007/failed     the message of a case that failed
//   DIR/cases/0007/lock       held (flock) while the case runs
#include <string>
#include <vector>

#include "core/base/observer.h"
#include "core/base/platform.h"
#include "core/study/study_file.h"

namespace mdv {

struct StudyCase {
  int Id = 0;                          // 0-based: the Slurm array index
  std::vector<StudySetting> Settings;  // base options, then the swept ones, then the refined ones
  // One per StudyParamKeys: the swept values (as StudySweep::Values), then the
  // refined keys' values in this case ("" for a key left to the run's default).
  std::vector<std::string> SweptValues;
};

// Grid: the first swept key varies slowest. Zip: the i-th value of every list.
// A study that refines has RefinedVariants cases at each sweep point, in a row.
std::vector<StudyCase> PlanCases(const StudyDefinition& definition);
// Case i of PlanCases alone (variants = RefinedVariants(definition)): a plan
// of the allowed 100 000 cases is written without holding them all.
StudyCase PlanCase(const StudyDefinition& definition, const std::vector<std::vector<std::string>>& variants,
                   size_t i);

// The columns that tell cases apart: the swept keys, then the refined ones.
std::vector<std::string> StudyParamKeys(const StudyDefinition& definition);

// One refined key at one sweep point: the cases of its values.
struct RefinementSeries {
  size_t Key = 0;             // in StudyDefinition::Convergence
  size_t Point = 0;           // the sweep point: case ids Point·V … Point·V + V − 1
  std::vector<int> CaseIds;   // one per value of the key, as in the file
};
// Point after point, key after key; empty when the study refines nothing.
std::vector<RefinementSeries> PlanRefinements(const StudyDefinition& definition);

std::string StudyFilePath(const std::string& dir);
std::string ManifestPath(const std::string& dir);
// Present while a plan is being written (and after one was stopped midway):
// such a folder holds no study the other commands take.
std::string IncompletePlanPath(const std::string& dir);
// The folder a replaced plan's cases are moved to before they are removed.
inline constexpr char StaleCasesPrefix[] = ".replaced-cases-";
std::string CaseDir(const std::string& dir, int id);
std::string CaseFile(const std::string& dir, int id, const char* name);

// Names of the files of a case folder.
inline constexpr char CaseParamsName[] = "case.toml";
inline constexpr char CaseLogName[] = "run.log";
inline constexpr char CaseEvtName[] = "state.evt";
inline constexpr char CaseResultsName[] = "results.toml";
inline constexpr char CaseDoneName[] = "done";
inline constexpr char CaseFailedName[] = "failed";
inline constexpr char CaseLockName[] = "lock";

// Creates DIR (when missing), the study file copy, the manifest and the case
// folders. Repeating it for the same study text changes nothing that exists;
// a DIR that holds another study is refused.
// Asks obs whether to stop between two cases: then false with `error` empty
// (what was written is the caller's to remove). A case folder costs a
// directory and one small file written without waiting for the disk: the
// study file, written last and durably, is what makes the plan complete.
bool WriteStudyPlan(const std::string& studyText, const StudyDefinition& definition,
                    const std::vector<StudyCase>& cases, const std::string& dir, std::string& error,
                    Observer& obs = NullObserver());
// The same, each case planned as it is written and the manifest streamed:
// memory independent of the number of cases.
bool WriteStudyPlan(const std::string& studyText, const StudyDefinition& definition, const std::string& dir,
                    std::string& error, Observer& obs = NullObserver());

// Reads DIR/study.toml and plans its cases.
bool LoadStudy(const std::string& dir, const OptionAvailable& available, StudyDefinition& definition,
               std::vector<StudyCase>& cases, std::string& error);

enum class CaseState { Pending, Running, Done, Failed };

// "done", "failed", "pending", "running": the machine-readable status.
const char* CaseStateName(CaseState s);
// A case is running while some process holds its lock; a case killed midway
// holds none and is pending again. `message` gets the failure message.
CaseState ReadCaseState(const std::string& dir, int id, std::string* message = nullptr);

// The lock of a running case; released when destroyed or when the process
// dies in any way.
class CaseLock {
 public:
  CaseLock() = default;
  CaseLock(const CaseLock&) = delete;
  CaseLock& operator=(const CaseLock&) = delete;
  // False when another process holds it, or when the lock file cannot be
  // opened: then `error` (when given) says why, and nothing can run there.
  bool TryLock(const std::string& dir, int id, std::string* error = nullptr);

 private:
  platform::File file_;
};

// Whether the cases of DIR can be written (a file made and removed in
// DIR/cases); false with a Russian message naming the folder otherwise.
bool StudyWritable(const std::string& dir, std::string& error);

// Removes the outcome of an earlier attempt (results, markers) before a new one.
void ClearCaseOutcome(const std::string& dir, int id);
// The failure marker with its message, written atomically.
bool MarkCaseFailed(const std::string& dir, int id, const std::string& message, std::string& error);
bool MarkCaseDone(const std::string& dir, int id, std::string& error);

bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

// Largest file of a case the study commands read (results.toml, failed):
// some 5 000 results, each a column and plots of its own in the summary; a
// real case writes a few kilobytes.
inline constexpr size_t MaxCaseFileBytes = size_t(256) << 10;
// A file a case wrote: only a regular file (a pipe would block the reader
// for ever, a device never end) of at most MaxCaseFileBytes, judged before
// it is opened.
bool ReadCaseTextFile(const std::string& path, std::string& text, std::string& error);
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace mdv
