// profile: the inlet profiled along its own vortex zone. From a settled
// run's averages, the mean separation streamline that leaves the mouth's
// edge becomes the wall of a new contour (the zone filled with wall).
#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/outputs.h"
#include "cli/run_extras.h"
#include "core/averages/separation_line.h"
#include "core/base/numfmt.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"

namespace mdv::cli {

namespace {

struct ProfileArgs {
  std::string file, out, tolerance;
  CLI::Option* toleranceOpt = nullptr;
};

std::string Metres(Real v) { return FormatFixed(v, 15, 3) + " м"; }

int ProfileCommand(const ProfileArgs& a) {
  std::string error = CheckOutputsAreNotInputs({{"--out", a.out}}, {{"FILE", a.file}});
  if (error.empty()) error = CheckOutputs({{"--out", a.out}});
  if (!error.empty()) return Refuse(error);
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
  const double zeta = r.Contraction.HasVenaContracta ? r.Contraction.ZetaM : std::nan("");
  std::cout << "ζ входа до профилирования: " << (std::isfinite(zeta) ? FormatFixed(zeta, 6, 3) : "не известен")
            << "\nРассчитайте профилированный вход: rinfet-mdv-batch run --contour " << a.out
            << " --averages … и сравните ζ\n";
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
  c->callback([args, &status] { status = ProfileCommand(*args); });
}

}  // namespace mdv::cli
