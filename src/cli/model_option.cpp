#include "cli/model_option.h"

#include <algorithm>

#include "cli/cli_text.h"
#include "cli/refined_only.h"
#include "core/model/vortex_file.h"

namespace mdv::cli {

void AddFlowModelOptions(CLI::App* command, FlowModelArgs& a, FlowOptionSet set) {
  RefuseRefinedOnlyWithoutModel(command);
  command
      ->add_option("--model", a.model,
                   "модель течения: program — модель программы (по умолчанию); refined — уточнённая: "
                   "отрыв в каждой точке на каждом шаге, сглаженные свободные кольца, слияние "
                   "близких колец, шаг Хойна")
      ->check(CLI::IsMember({"program", "refined"}))
      ->type_name("program|refined")
      ->default_str("program");
  a.smoothingOpt = command->add_option("--smoothing-length", a.smoothing,
                                       "уточнённая модель: длина сглаживания δ свободных колец, м (0,01)");
  command->add_flag("--attached-smoothed", a.attachedSmoothed,
                    "уточнённая модель: присоединённые вихри действуют на свободные через ядро со "
                    "сглаживанием h/2, а не с отсечкой h/2");
  if (set == FlowOptionSet::Field) return;
  command
      ->add_option("--shedding", a.shedding,
                   "уточнённая модель: циркуляция нового кольца: sheet-flux — ½·(Γкромки/h)·|U|·dt "
                   "(по умолчанию); sheet-mean — (Γкромки/h)·|U|·dt; edge — Γкромки, как в модели программы; "
                   "probe — ½·(U₊² − U₋²)·dt по скоростям на расстоянии --shed-probe от кромки по обе "
                   "стороны; outer — ½·U₊²·dt по большей из скоростей на расстоянии --shed-probe от кромки по обе "
                   "стороны направления схода слоя")
      ->check(CLI::IsMember({"sheet-flux", "sheet-mean", "edge", "probe", "outer"}))
      ->type_name("sheet-flux|sheet-mean|edge|probe|outer");
  a.shedProbeOpt = command->add_option(
      "--shed-probe", a.shedProbe,
      "уточнённая модель, --shedding probe и outer: расстояние от кромки до точек, где берутся скорости "
      "двух сторон, м (δ)");
  command
      ->add_option("--shed-placement", a.placement,
                   "уточнённая модель: место нового кольца: offset — h/2 от кромки (по умолчанию); "
                   "convected — U·dt/2 от кромки; tangent — U·dt/2 от кромки вдоль грани, по которой пришёл поток")
      ->check(CLI::IsMember({"offset", "convected", "tangent"}))
      ->type_name("offset|convected|tangent");
  a.mergeDistanceOpt = command->add_option(
      "--merge-distance", a.mergeDistance, "уточнённая модель: сливаются кольца одного знака ближе этого, м (h/2)");
  a.mergeAgeOpt = command->add_option("--merge-age", a.mergeAge,
                                      "уточнённая модель: сливаются кольца старше этого, с (0,1)");
  command
      ->add_option("--shed-every", a.shedEvery,
                   "уточнённая модель: каждая точка отрыва сбрасывает кольцо раз в N шагов, с "
                   "циркуляцией этих N шагов (1)")
      ->check(CLI::Range(1, 1000000));
  command
      ->add_option("--wall-rule", a.wall,
                   "уточнённая модель: кольцо, шаг которого пересекает барьер у стенки: slide — "
                   "останавливается и скользит вдоль барьера, как в модели программы (по умолчанию); "
                   "absorb — удаляется, его циркуляция возвращается стенкам; reflect — часть шага за "
                   "барьером отражается обратно в поток")
      ->check(CLI::IsMember({"slide", "absorb", "reflect"}))
      ->type_name("slide|absorb|reflect");
  a.wallLayerOpt = command->add_option(
      "--wall-layer", a.wallLayer,
      "уточнённая модель: толщина пристенного слоя, м: кольцо, шаг которого входит в слой извне, "
      "удаляется, его циркуляция возвращается стенкам (0 — без слоя, по "
      "умолчанию)");
  a.viscosityOpt = command->add_option(
      "--viscosity", a.viscosity,
      "уточнённая модель: турбулентная вязкость ν диффузионной скорости свободных колец, м²/с "
      "(0 — без диффузии, по умолчанию)");
  command->add_flag("--merge-per-step", a.mergePerStep,
                    "уточнённая модель: расстояние слияния умножается на dt / 0,005 с");
  a.courantOpt = command->add_option(
      "--courant", a.courant,
      "шаг по времени из числа Куранта C: dt = C·min(h, δ) / скорость всасывания (уточнённая модель "
      "без --dt: C = 0,5)");
}

namespace {

bool Positive(const std::string& text, const char* name, Real& out, std::string& error) {
  const auto v = NumberArg(text, name, error);
  if (!v) return false;
  if (!(*v > 0)) {
    error = std::string(name) + ": нужно положительное число";
    return false;
  }
  out = *v;
  return true;
}

bool NonNegative(const std::string& text, const char* name, Real& out, std::string& error) {
  const auto v = NumberArg(text, name, error);
  if (!v) return false;
  if (!(*v >= 0)) {
    error = std::string(name) + ": нужно неотрицательное число";
    return false;
  }
  out = *v;
  return true;
}

}  // namespace

bool ApplyFlowModel(const FlowModelArgs& a, Model& m, std::string& error) {
  m.Flow = a.model == "refined" ? FlowModel::Refined : FlowModel::Program;
  RefinedSettings& r = m.Refined;
  if (a.smoothingOpt != nullptr && a.smoothingOpt->count() > 0 &&
      !Positive(a.smoothing, "--smoothing-length", r.SmoothingLength, error))
    return false;
  r.Shedding = a.shedding == "edge"         ? ShedRule::Edge
               : a.shedding == "sheet-mean" ? ShedRule::SheetMean
               : a.shedding == "probe"      ? ShedRule::Probe
               : a.shedding == "outer"      ? ShedRule::Outer
                                            : ShedRule::SheetFlux;
  if (a.shedProbeOpt != nullptr && a.shedProbeOpt->count() > 0 &&
      !Positive(a.shedProbe, "--shed-probe", r.ShedProbe, error))
    return false;
  r.Wall = a.wall == "absorb" ? WallRule::Absorb : a.wall == "reflect" ? WallRule::Reflect : WallRule::Slide;
  r.Placement = a.placement == "convected" ? ShedPlacement::Convected
                : a.placement == "tangent"   ? ShedPlacement::Tangent
                                             : ShedPlacement::Offset;
  if (a.mergeDistanceOpt != nullptr && a.mergeDistanceOpt->count() > 0 &&
      !Positive(a.mergeDistance, "--merge-distance", r.MergeDistance, error))
    return false;
  if (a.mergeAgeOpt != nullptr && a.mergeAgeOpt->count() > 0 &&
      !NonNegative(a.mergeAge, "--merge-age", r.MergeAge, error))
    return false;
  if (a.wallLayerOpt != nullptr && a.wallLayerOpt->count() > 0 &&
      !NonNegative(a.wallLayer, "--wall-layer", r.WallLayer, error))
    return false;
  if (a.viscosityOpt != nullptr && a.viscosityOpt->count() > 0 &&
      !NonNegative(a.viscosity, "--viscosity", r.Viscosity, error))
    return false;
  r.MergeDistancePerStep = a.mergePerStep;
  if (m.Flow == FlowModel::Refined) SetSheddingIntervals(m, a.shedEvery - 1, a.shedEvery - 1, a.shedEvery - 1);
  r.FreeSeeAttachedCutOff = !a.attachedSmoothed;
  return true;
}

int LoadStateWithModel(Model& m, const std::string& file, Precision precision, const FlowModelArgs& a) {
  std::string error;
  Model probe;  // the options alone, before the file
  if (!ApplyFlowModel(a, probe, error)) return Refuse(error);
  m.Exec.Arithmetic = precision;
  if (!LoadVortexState(m, file, error)) return Fail(error);
  ApplyFlowModel(a, m, error);
  return ExitOk;
}

Real CourantStep(const FlowModelArgs& a, const Model& m, std::string& error, bool& bad) {
  bad = false;
  Real courant = 0;
  if (a.courantOpt != nullptr && a.courantOpt->count() > 0) {
    if (!Positive(a.courant, "--courant", courant, error)) {
      bad = true;
      return 0;
    }
  } else if (m.Flow == FlowModel::Refined) {
    courant = RefinedCourant;
  } else {
    return 0;
  }
  const Real length = m.Flow == FlowModel::Refined
                          ? std::min(m.VortexSpacing, m.Refined.SmoothingLength)
                          : m.VortexSpacing;
  const Real speed = m.SuctionSpeed > 0 ? m.SuctionSpeed : 1;
  return courant * length / speed;
}

}  // namespace mdv::cli
