#include "core/study/study_plan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>


#include "core/base/safe_file.h"

namespace fs = std::filesystem;

namespace mdv {

namespace {

// Digits of a case folder name; more cases simply get longer names.
constexpr int CaseIdDigits = 4;

std::string CaseParamsText(const StudyDefinition& definition, const StudyCase& c) {
  // The study file refuses control characters, so the name cannot end the comment.
  std::string t = "# " + definition.Name + ", вариант " + std::to_string(c.Id) + "\n";
  // Values are option arguments; TOML strings keep them exactly as passed.
  // "contour.R" is quoted: bare, TOML would read a key R of a table "contour".
  for (const StudySetting& s : c.Settings)
    t += (s.Key.find('.') == std::string::npos ? s.Key : TomlString(s.Key)) + " = " + TomlString(s.Value) + "\n";
  return t;
}

std::string ManifestHeader(const StudyDefinition& definition) {
  std::string t = "id;folder";
  for (const std::string& key : StudyParamKeys(definition)) t += ";" + key;
  t += "\n";
  return t;
}

std::string ManifestLine(const StudyCase& c) {
  std::string t = std::to_string(c.Id) + ";cases/" + fs::path(CaseDir("", c.Id)).filename().string();
  for (const std::string& v : c.SweptValues) t.append(";").append(DisplayValue(v));
  t += "\n";
  return t;
}

// The cases of a plan, by index, planned or taken as they are written.
using CaseSource = std::function<StudyCase(size_t)>;

bool WritePlan(const std::string& studyText, const StudyDefinition& definition, size_t count,
               const CaseSource& caseAt, const std::string& dir, std::string& error, Observer& obs) {
  std::error_code ec;
  const std::string own = StudyFilePath(dir);
  const std::string mark = IncompletePlanPath(dir);
  const bool complete = fs::exists(own, ec);
  if (complete) {
    std::string existing;
    if (!ReadTextFile(own, existing, error)) return false;
    if (existing != studyText) {
      error = "Папка \"" + dir + "\" уже содержит другое исследование (" + own + ")";
      return false;
    }
  } else if (fs::exists(mark, ec)) {
    // A plan that was stopped midway is replaced: its cases are moved aside at
    // once (a rename) and removed only once the new plan is whole.
    const fs::path cases = fs::path(dir) / "cases";
    if (fs::exists(cases, ec)) {
      fs::path aside;  // the first free name: an earlier stopped plan's may still be there
      for (int k = 0; aside.empty() || fs::exists(aside, ec); ++k)
        aside = fs::path(dir) / (std::string(StaleCasesPrefix) + std::to_string(k));
      fs::rename(cases, aside, ec);
      if (ec) {
        error = "Не удалось убрать варианты незаконченного плана в \"" + dir + "\": " + SystemReason(ec);
        return false;
      }
    }
    fs::remove(ManifestPath(dir), ec);
  } else if (fs::exists(ManifestPath(dir), ec) || fs::exists(fs::path(dir) / "cases", ec)) {
    error = "Папка \"" + dir + "\" уже содержит варианты другого исследования";
    return false;
  }
  fs::create_directories(dir, ec);
  if (ec) {
    error = "Не удалось создать папку \"" + dir + "\": " + SystemReason(ec);
    return false;
  }
  // Until the study file is written the folder is marked: a plan stopped (or
  // killed) midway is no plan, and the next `study plan` replaces it.
  if (!complete && !WriteTextFile(mark, "", error)) return false;
  fs::create_directories(fs::path(dir) / "cases", ec);
  if (ec) {
    error = "Не удалось создать папку \"" + dir + "/cases\": " + SystemReason(ec);
    return false;
  }
  error.clear();
  // The manifest grows beside the case folders and is put in place after them.
  StagedFile manifest;
  std::string line = ManifestHeader(definition);
  if (!manifest.Begin(ManifestPath(dir), error) || !manifest.Write(line.data(), line.size(), error)) return false;
  for (size_t i = 0; i < count; ++i) {
    if (obs.StopRequested()) {
      error.clear();
      return false;
    }
    const StudyCase c = caseAt(i);
    const std::string folder = CaseDir(dir, c.Id);
    fs::create_directory(folder, ec);
    if (ec) {
      error = "Не удалось создать папку \"" + folder + "\": " + SystemReason(ec);
      return false;
    }
    // No fsync per case (some milliseconds each): `study case` plans its
    // options from the study file, case.toml is for the reader.
    const std::string path = CaseFile(dir, c.Id, CaseParamsName);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << CaseParamsText(definition, c);
    out.close();
    if (!out) {
      error = "Не удалось записать файл \"" + path + "\"";
      return false;
    }
    line = ManifestLine(c);
    if (!manifest.Write(line.data(), line.size(), error)) return false;
  }
  if (!manifest.Commit(error)) return false;
  // Written last: a folder with the study file is a complete plan.
  if (!WriteTextFile(own, studyText, error)) return false;
  fs::remove(mark, ec);
  // What replaced plans left, now that nothing of them is needed.
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().filename().string().starts_with(StaleCasesPrefix)) fs::remove_all(e.path(), ec);
  return true;
}

}  // namespace

StudyCase PlanCase(const StudyDefinition& definition, const std::vector<std::vector<std::string>>& variants,
                   size_t i) {
  StudyCase c;
  c.Id = static_cast<int>(i);
  const size_t point = i / variants.size();
  const std::vector<std::string>& refined = variants[i % variants.size()];
  // A refined key of [base] takes the variant's value in its place.
  for (const StudySetting& b : definition.Base) {
    StudySetting setting = b;
    for (size_t k = 0; k < refined.size(); ++k)
      if (definition.Convergence[k].Key == b.Key) setting.Value = refined[k];
    c.Settings.push_back(setting);
  }
  // Mixed-radix digits of the sweep point, the last swept key fastest.
  size_t rest = point;
  c.SweptValues.resize(definition.Sweep.size());
  for (size_t k = definition.Sweep.size(); k-- > 0;) {
    const auto& values = definition.Sweep[k].Values;
    const size_t j = definition.Zip ? point : rest % values.size();
    if (!definition.Zip) rest /= values.size();
    c.SweptValues[k] = values[j];
  }
  for (size_t k = 0; k < definition.Sweep.size(); ++k) c.Settings.push_back({definition.Sweep[k].Key, c.SweptValues[k]});
  for (size_t k = 0; k < refined.size(); ++k) {
    const std::string& key = definition.Convergence[k].Key;
    const bool inBase = std::any_of(definition.Base.begin(), definition.Base.end(),
                                    [&](const StudySetting& b) { return b.Key == key; });
    if (!inBase && !refined[k].empty()) c.Settings.push_back({key, refined[k]});
    c.SweptValues.push_back(refined[k]);
  }
  return c;
}

std::vector<StudyCase> PlanCases(const StudyDefinition& definition) {
  const auto variants = RefinedVariants(definition);
  const size_t n = StudyCaseCount(definition);
  std::vector<StudyCase> cases;
  cases.reserve(n);
  for (size_t i = 0; i < n; ++i) cases.push_back(PlanCase(definition, variants, i));
  return cases;
}

std::vector<std::string> StudyParamKeys(const StudyDefinition& definition) {
  std::vector<std::string> keys;
  for (const StudySweep& s : definition.Sweep) keys.push_back(s.Key);
  for (const StudySweep& s : definition.Convergence) keys.push_back(s.Key);
  return keys;
}

std::vector<RefinementSeries> PlanRefinements(const StudyDefinition& definition) {
  const auto variants = RefinedVariants(definition);
  std::vector<RefinementSeries> series;
  if (definition.Convergence.empty()) return series;
  const size_t points = StudyCaseCount(definition) / variants.size();
  std::vector<std::string> base(definition.Convergence.size());
  for (size_t k = 0; k < base.size(); ++k)
    for (const StudySetting& b : definition.Base)
      if (b.Key == definition.Convergence[k].Key) base[k] = b.Value;
  for (size_t point = 0; point < points; ++point) {
    for (size_t k = 0; k < definition.Convergence.size(); ++k) {
      RefinementSeries s;
      s.Key = k;
      s.Point = point;
      for (const std::string& v : definition.Convergence[k].Values) {
        std::vector<std::string> variant = base;
        variant[k] = v;
        const auto at = std::find(variants.begin(), variants.end(), variant) - variants.begin();
        s.CaseIds.push_back(static_cast<int>(point * variants.size() + static_cast<size_t>(at)));
      }
      series.push_back(std::move(s));
    }
  }
  return series;
}

std::string StudyFilePath(const std::string& dir) { return (fs::path(dir) / "study.toml").string(); }
std::string ManifestPath(const std::string& dir) { return (fs::path(dir) / "manifest.csv").string(); }
std::string IncompletePlanPath(const std::string& dir) { return (fs::path(dir) / "plan-incomplete").string(); }

std::string CaseDir(const std::string& dir, int id) {
  char name[32];
  std::snprintf(name, sizeof name, "%0*d", CaseIdDigits, id);
  return (fs::path(dir) / "cases" / name).string();
}

std::string CaseFile(const std::string& dir, int id, const char* name) {
  return (fs::path(CaseDir(dir, id)) / name).string();
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
  Bytes b;
  if (!ReadWholeFile(path, b, error, size_t(64) << 20)) return false;
  text.assign(b.begin(), b.end());
  return true;
}

bool ReadCaseTextFile(const std::string& path, std::string& text, std::string& error) {
  platform::EntryInfo info;
  const std::error_code err = platform::InspectTarget(path, info);
  const std::string head = "Не удалось прочитать файл \"" + path + "\": ";
  if (err) {
    error = head + SystemReason(err);
    return false;
  }
  if (info.Kind != platform::EntryKind::Regular) {
    error = head + "это не обычный файл (канал, устройство или папка)";
    return false;
  }
  if (info.Size > MaxCaseFileBytes) {
    error = head + "файл больше " + std::to_string(MaxCaseFileBytes) + " байт";
    return false;
  }
  Bytes b;
  if (!ReadWholeFile(path, b, error, MaxCaseFileBytes)) return false;
  text.assign(b.begin(), b.end());
  return true;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
  return WriteFileAtomically(path, Bytes(text.begin(), text.end()), error);
}

bool WriteStudyPlan(const std::string& studyText, const StudyDefinition& definition,
                    const std::vector<StudyCase>& cases, const std::string& dir, std::string& error,
                    Observer& obs) {
  return WritePlan(
      studyText, definition, cases.size(), [&cases](size_t i) { return cases[i]; }, dir, error, obs);
}

bool WriteStudyPlan(const std::string& studyText, const StudyDefinition& definition, const std::string& dir,
                    std::string& error, Observer& obs) {
  const auto variants = RefinedVariants(definition);
  return WritePlan(
      studyText, definition, StudyCaseCount(definition),
      [&](size_t i) { return PlanCase(definition, variants, i); }, dir, error, obs);
}

bool LoadStudy(const std::string& dir, const OptionAvailable& available, StudyDefinition& definition,
               std::vector<StudyCase>& cases, std::string& error) {
  const std::string path = StudyFilePath(dir);
  std::error_code ec;
  if (!fs::exists(path, ec) && fs::exists(IncompletePlanPath(dir), ec)) {
    error = "План исследования в папке \"" + dir + "\" не закончен (study plan был прерван); повторите study plan";
    return false;
  }
  if (!fs::exists(path, ec)) {
    error = "Папка \"" + dir + "\" не содержит исследования (нет " + path + "); сначала study plan";
    return false;
  }
  std::string text;
  if (!ReadTextFile(path, text, error)) return false;
  if (!ParseStudy(text, path, available, definition, error)) return false;
  cases = PlanCases(definition);
  return true;
}

const char* CaseStateName(CaseState s) {
  switch (s) {
    case CaseState::Pending: return "pending";
    case CaseState::Running: return "running";
    case CaseState::Done: return "done";
    case CaseState::Failed: return "failed";
  }
  return "pending";
}

CaseState ReadCaseState(const std::string& dir, int id, std::string* message) {
  std::error_code ec;
  if (fs::exists(CaseFile(dir, id, CaseDoneName), ec)) return CaseState::Done;
  {
    // Read-only, so that a folder this process cannot write still reads right.
    const std::string lock = CaseFile(dir, id, CaseLockName);
    platform::File probe;
    // Only a regular file is opened: a pipe in its place would block for ever.
    platform::EntryInfo info;
    if (!platform::InspectTarget(lock, info) && info.Kind == platform::EntryKind::Regular &&
        !probe.OpenForReading(lock) && !probe.TryLockExclusive())
      return CaseState::Running;
  }
  const std::string failed = CaseFile(dir, id, CaseFailedName);
  if (fs::exists(failed, ec)) {
    if (message != nullptr) {
      std::string error;
      if (!ReadCaseTextFile(failed, *message, error)) *message = error;
      while (!message->empty() && (message->back() == '\n' || message->back() == '\r')) message->pop_back();
    }
    return CaseState::Failed;
  }
  return CaseState::Pending;
}

bool CaseLock::TryLock(const std::string& dir, int id, std::string* error) {
  if (file_.IsOpen()) return true;
  platform::File file;
  const std::string path = CaseFile(dir, id, CaseLockName);
  if (const std::error_code ec = file.OpenOrCreate(path)) {
    if (error != nullptr) *error = "Не удалось открыть файл блокировки \"" + path + "\": " + SystemReason(ec);
    return false;
  }
  if (!file.TryLockExclusive()) return false;
  file_ = std::move(file);
  return true;
}

bool StudyWritable(const std::string& dir, std::string& error) {
  const std::string cases = (fs::path(dir) / "cases").string();
  platform::File probe;
  std::string temp;
  if (const std::error_code ec = probe.CreateBeside((fs::path(cases) / "probe").string(), temp)) {
    error = "В папку исследования \"" + cases + "\" нельзя записать: " + SystemReason(ec);
    return false;
  }
  probe.Close();
  std::error_code ec;
  fs::remove(temp, ec);
  return true;
}

void ClearCaseOutcome(const std::string& dir, int id) {
  std::error_code ec;
  for (const char* name : {CaseDoneName, CaseResultsName, CaseFailedName}) fs::remove(CaseFile(dir, id, name), ec);
}

bool MarkCaseFailed(const std::string& dir, int id, const std::string& message, std::string& error) {
  return WriteTextFile(CaseFile(dir, id, CaseFailedName), message + "\n", error);
}

bool MarkCaseDone(const std::string& dir, int id, std::string& error) {
  return WriteTextFile(CaseFile(dir, id, CaseDoneName), "", error);
}

}  // namespace mdv
