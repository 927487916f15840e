// contour check|dxf|from-dxf: the hood given by its wall's half-section,
// checked, sent to CAD and brought back.
#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/outputs.h"
#include "core/base/numfmt.h"
#include "core/model/contour_dxf.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"

namespace mdv::cli {

namespace {

struct ContourArgs {
  std::string File;
  std::string Out;
};

std::string PointText(const TRealPoint& p) {
  std::string s(1, '(');
  s += FormatSignificant(p.X, 6);
  s += "; ";
  s += FormatSignificant(p.Y, 6);
  return s += ')';
}

std::string Summary(const Contour& c) {
  const int n = static_cast<int>(c.Wall.size());
  Real length = 0;
  int arcs = 0;
  for (int k = 0; k < n; ++k) {
    length += SegmentLength(c, k);
    if (c.Wall[static_cast<size_t>(k)].ArcRadius != 0) ++arcs;
  }
  std::string s = "Контур: «" + c.Name + "»\n";
  s += "Отрезков стенки: " + std::to_string(n) + " (из них дуг: " + std::to_string(arcs) + "), длина стенки " +
       FormatSignificant(length, 6) + " м\n";
  const std::vector<int> corners = SheddingVertices(c);
  s += c.SheddingCorners.empty() ? "Точки отрыва (поворот больше " +
                                       FormatSignificant(c.SeparationAngle / Pi * 180, 6) + "°):"
                                 : std::string("Точки отрыва (заданы в файле):");
  if (corners.empty()) s += " нет";
  s += "\n";
  for (int k : corners) {
    s += "  точка " + std::to_string(k) + " " + PointText(ContourVertex(c, k)) + ", поворот " +
         FormatSignificant(VertexTurn(c, k) / Pi * 180, 4) + "°\n";
  }
  TRealPoint top;
  int segment = 0;
  bool in = false;
  if (ContourSuctionTop(c, top, segment, in)) {
    s += "Всасывающее сечение: x = " + FormatSignificant(c.SuctionX, 6) + " м, r от 0 до " +
         FormatSignificant(top.Y, 6) + " м, скорость " + FormatSignificant(c.SuctionSpeed, 6) + " м/с\n";
  }
  if (c.SupplySegment >= 0) {
    s += "Приток: отрезок " + std::to_string(c.SupplySegment + 1) + ", скорость " +
         FormatSignificant(c.SupplySpeed, 6) + " м/с\n";
  }
  s += "Экран: x = " + FormatSignificant(c.PlaneX, 6) + " м, радиус " + FormatSignificant(c.PlaneRadius, 6) + " м\n";
  s += "Присоединенных вихрей при h = " + FormatSignificant(c.Spacing, 6) + " м: " +
       std::to_string(ContourAttachedCount(c)) + "\n";
  return s;
}

int RunCheck(const ContourArgs& a) {
  Contour c;
  std::string error;
  if (!ReadContourFile(a.File, c, error)) return Fail(error);
  if (const std::string fault = ValidateContour(c); !fault.empty()) return Fail(Quoted(a.File) + ": " + fault);
  std::cout << Summary(c);
  std::cout.flush();
  return std::cout ? ExitOk : ExitFailed;
}

// The output checked before anything is read.
int RefuseOutput(const ContourArgs& a) {
  std::string fault = CheckOutputsAreNotInputs({{"--out", a.Out}}, {{"FILE", a.File}});
  if (fault.empty()) fault = CheckOutputs({{"--out", a.Out}});
  return fault.empty() ? ExitOk : Refuse(fault);
}

int RunToDxf(const ContourArgs& a) {
  if (const int refused = RefuseOutput(a)) return refused;
  Contour c;
  std::string error;
  if (!ReadContourFile(a.File, c, error)) return Fail(error);
  // A contour the model refuses still goes to CAD, where it can be mended.
  if (const std::string fault = ValidateContour(c); !fault.empty()) Say("предупреждение: " + fault);
  if (!WriteContourDxfFile(a.Out, c, error)) return Fail(error);
  return ExitOk;
}

int RunFromDxf(const ContourArgs& a) {
  if (const int refused = RefuseOutput(a)) return refused;
  Contour defaults;
  defaults.Name = "Контур из " + a.File;
  Contour c;
  std::string error;
  if (!ReadContourDxfFile(a.File, defaults, c, error)) return Fail(error);
  if (const std::string fault = ValidateContour(c); !fault.empty()) Say("предупреждение: " + fault);
  if (!WriteContourFile(a.Out, c, error)) return Fail(error);
  return ExitOk;
}

}  // namespace

void AddContourCommands(CLI::App& app, int& status) {
  CLI::App* group = app.add_subcommand("contour", "Патрубок, заданный контуром стенки (файл TOML): проверка, обмен с САПР (DXF)");
  group->require_subcommand(1);
  {
    auto args = std::make_shared<ContourArgs>();
    CLI::App* c = group->add_subcommand("check", "Проверить файл контура и вывести его сводку");
    c->footer("При ошибке в контуре выводится, какой отрезок или точка неверны, код завершения 1.");
    c->add_option("FILE", args->File, "файл контура (.toml)")->required();
    c->callback([args, &status] { status = RunCheck(*args); });
  }
  {
    auto args = std::make_shared<ContourArgs>();
    CLI::App* c = group->add_subcommand("dxf", "Записать стенку, всасывающее сечение и экран в DXF (мм)");
    c->footer("Слои: WALL - стенка (полилиния, дуги - выпуклостью), SUCTION - всасывающее сечение,\n"
              "PLANE - экран. Координаты: x → X, r → Y, миллиметры.");
    c->add_option("FILE", args->File, "файл контура (.toml)")->required();
    c->add_option("--out", args->Out, "файл DXF")->required();
    c->callback([args, &status] { status = RunToDxf(*args); });
  }
  {
    auto args = std::make_shared<ContourArgs>();
    CLI::App* c = group->add_subcommand("from-dxf", "Прочитать стенку из DXF (мм) и записать файл контура");
    c->footer("Стенка - первая полилиния на слое WALL (иначе первая полилиния файла); сечение и экран -\n"
              "линии на слоях SUCTION и PLANE, без них берутся значения по умолчанию. Скорости и шаг\n"
              "задаются затем в файле контура.");
    c->add_option("FILE", args->File, "файл DXF")->required();
    c->add_option("--out", args->Out, "файл контура (.toml)")->required();
    c->callback([args, &status] { status = RunFromDxf(*args); });
  }
}

}  // namespace mdv::cli
