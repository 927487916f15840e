// profile: the inlet profiled along its own vortex zone. From a settled
// run's averages, the mean separation streamline that leaves the mouth's
// edge becomes the wall of a new contour (the zone filled with wall).
#include <cmath>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/outputs.h"
#include "cli/run_extras.h"
#include "cli/study_process.h"
#include "core/averages/separation_line.h"
#include "core/base/numfmt.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"

namespace mdv::cli {

namespace {

struct ProfileArgs {
  std::string file, out, tolerance, run, maxTime = "20";
  CLI::Option* toleranceOpt = nullptr;
  CLI::Option* runOpt = nullptr;
};

// ζ_M of an averages file's vena contracta; NaN when not known.
double ZetaOf(const AveragingResults& r) {
  return r.Contraction.HasVenaContracta ? r.Contraction.ZetaM : std::nan("");
}

std::string ZetaText(double zeta) { return std::isfinite(zeta) ? FormatFixed(zeta, 6, 3) : "не известен"; }

// Runs the profiled contour as a child `run` (the same build), its progress
// on this stderr, and reads its averages back.
int RunProfiled(const ProfileArgs& a, const AveragingResults& before, Real maxTime) {
  std::vector<std::string> argv = {SelfExe(), "run", "--contour", a.out, "--precision", "double",
                                   "--max-time", FormatGeneral(maxTime), "--average-from",
                                   FormatGeneral(maxTime / 2), "--averages", a.run, "-q"};
  // The step of the run profiled, so that the two are alike but for the wall.
  if (before.TimeStep > 0) {
    argv.push_back("--dt");
    argv.push_back(FormatGeneral(static_cast<Real>(before.TimeStep)));
  }
  std::cout << "Расчёт профилированного входа: " << FormatGeneral(maxTime) << " с, осреднение с "
            << FormatGeneral(maxTime / 2) << " с…" << std::endl;
  std::string error;
  const pid_t pid = Spawn(argv, "", "", error);
  if (pid < 0) return Fail(error);
  const ChildEnd end = WaitChild(pid);
  if (!end.Exited || end.Status != 0) return Fail("Расчёт профилированного входа не удался");
  AveragingResults after;
  if (!ReadAveragesFile(a.run, after, error)) return Fail(error);
  const double zb = ZetaOf(before), za = ZetaOf(after);
  std::cout << "ζ входа после профилирования: " << ZetaText(za) << " (до: " << ZetaText(zb) << ")";
  if (std::isfinite(za) && std::isfinite(zb) && zb > 0) std::cout << ", после/до " << FormatFixed(za / zb, 6, 2);
  std::cout << "\nСредние профилированного входа: " << a.run << "\n";
  std::cout.flush();
  return std::cout ? ExitOk : ExitFailed;
}

std::string Metres(Real v) { return FormatFixed(v, 15, 3) + " м"; }

int ProfileCommand(const ProfileArgs& a) {
  const bool run = a.runOpt->count() > 0;
  std::vector<OutputFile> outputs = {{"--out", a.out}};
  if (run) outputs.push_back({"--run", a.run});
  std::string error = CheckOutputsAreNotInputs(outputs, {{"FILE", a.file}});
  if (error.empty()) error = CheckOutputs(outputs);
  if (!error.empty()) return Refuse(error);
  const std::optional<Real> maxTime = NumberArg(a.maxTime, "--max-time", error);
  if (!maxTime) return Refuse(error);
  if (!(*maxTime > 0)) return Refuse("--max-time: время должно быть больше нуля");
  std::optional<Real> tolerance;
  if (a.toleranceOpt->count() > 0) {
    tolerance = NumberArg(a.tolerance, "--tolerance", error);
    if (!tolerance) return Refuse(error);
    if (!(*tolerance > 0)) return Refuse("--tolerance: допуск должен быть больше нуля");
  }
  AveragingResults r;
  if (!ReadAveragesFile(a.file, r, error)) return Fail(error);
  if (r.AreaContour.empty())
    return Fail(a.file + ": в файле средних нет области расчёта (файл записан более ранней версией программы)");
  Contour c;
  if (!ReadContourText(r.AreaContour, c, error)) return Fail(a.file + ": область расчёта: " + error);
  const std::vector<int> corners = SheddingVertices(c);
  if (corners.empty()) return Fail("У входа нет острой кромки: профилировать нечего");
  // The mouth: the last corner that sheds, where the flow enters the channel.
  const int corner = corners.back();
  const TRealPoint edge = ContourVertex(c, corner);
  const SeparationLine line = MeanSeparationLine(r.Contraction, c, edge);
  Contour profiled;
  if (!ProfiledContour(c, corner, line, tolerance.value_or(c.Spacing / 2), profiled, error)) return Fail(error);
  if (const std::string fault = ValidateContour(profiled); !fault.empty())
    return Fail("Профилированный контур не годится для расчёта: " + fault);
  if (!WriteContourFile(a.out, profiled, error)) return Fail(error);

  const TRealPoint end = line.Points.back();
  Real deepest = edge.Y;
  for (const TRealPoint& p : line.Points) deepest = std::min(deepest, p.Y);
  std::cout << "Кромка входа: x = " << Metres(edge.X) << ", r = " << Metres(edge.Y) << "\n"
            << "Линия отрыва: " << line.Points.size() << " точек, присоединение при x = " << Metres(end.X)
            << ", наименьший радиус струи " << Metres(deepest) << "\n"
            << "Контур записан: " << a.out << " (" << profiled.Wall.size() << " отрезков)\n";
  std::cout << "ζ входа до профилирования: " << ZetaText(ZetaOf(r)) << "\n";
  if (run) return RunProfiled(a, r, *maxTime);
  std::cout << "Рассчитайте профилированный вход (--run ФАЙЛ.json или rinfet-mdv-batch run --contour " << a.out
            << " --averages …) и сравните ζ\n";
  std::cout.flush();
  return std::cout ? ExitOk : ExitFailed;
}

}  // namespace

void AddProfileCommand(CLI::App& app, int& status) {
  auto args = std::make_shared<ProfileArgs>();
  CLI::App* c = app.add_subcommand(
      "profile", "Профилировать вход по вихревой зоне: стенка по осреднённой линии отрыва от кромки входа");
  c->footer("Линия отрыва - линия тока осреднённого течения, что сходит с кромки входа (последней\n"
            "отрывной кромки контура) и вновь касается стенки канала. Новая стенка сходит с кромки\n"
            "по касательной к её грани, идёт по линии отрыва и за точкой присоединения - по старой стенке.");
  c->add_option("FILE", args->file, "файл средних (.json) установившегося расчёта")->required();
  c->add_option("--out", args->out, "файл профилированного контура (.toml)")->required();
  args->toleranceOpt =
      c->add_option("--tolerance", args->tolerance, "допуск, с которым стенка следует линии отрыва, м (h/2)");
  args->runOpt = c->add_option("--run", args->run,
                               "рассчитать профилированный вход (двойная точность, шаг исходного расчёта) и "
                               "записать его средние в этот файл; напечатать ζ до и после");
  c->add_option("--max-time", args->maxTime, "время расчёта с --run, с; осреднение со второй половины (20)");
  c->callback([args, &status] { status = ProfileCommand(*args); });
}

}  // namespace mdv::cli
