#include "cli/model_option.h"

#include <algorithm>

#include "cli/cli_text.h"
#include "cli/refined_only.h"
#include "core/model/vortex_file.h"

namespace mdv::cli {

void AddFlowModelOptions(CLI::App* command, FlowModelArgs& a, FlowOptionSet set) {
  RefuseRefinedOnlyWithoutModel(command);
  a.modelOpt = command
      ->add_option("--model", a.model,
                   "модель течения: program — модель программы (по умолчанию); refined — уточнённая: "
                   "каждая острая кромка на каждом шаге сбрасывает поток Кутты ½·U²·dt со скоростью на кромке "
                   "в зарождающееся кольцо, сглаженные свободные кольца с турбулентной диффузией, слияние "
                   "близких колец, шаг Хойна")
      ->check(CLI::IsMember({"program", "refined"}))
      ->type_name("program|refined")
      ->default_str("program");
  a.smoothingOpt = command->add_option("--smoothing-length", a.smoothing,
                                       "уточнённая модель: длина сглаживания δ свободных колец, м (D/30)");
  if (set == FlowOptionSet::Field) return;
  command
      ->add_option("--shedding", a.shedding,
                   "уточнённая модель, для исследований: скорость потока Кутты ½·U²·dt: edge-speed — "
                   "скорость на самой кромке, продолженная по закону √r от точек на расстояниях δ и 2δ (по "
                   "умолчанию); outer — большая из скоростей на расстоянии δ от кромки по обе стороны "
                   "направления схода слоя")
      ->check(CLI::IsMember({"outer", "edge-speed"}))
      ->type_name("outer|edge-speed");
  command
      ->add_option("--shed-placement", a.placement,
                   "уточнённая модель, для исследований: куда идёт сброшенная циркуляция: nascent — в "
                   "зарождающееся кольцо у кромки, пока оно не отойдёт на δ (по умолчанию); convected — "
                   "каждая порция в новое кольцо в U·dt/2 от кромки")
      ->check(CLI::IsMember({"convected", "nascent"}))
      ->type_name("convected|nascent");
  a.viscosityOpt = command->add_option(
      "--viscosity", a.viscosity,
      "уточнённая модель, для исследований: турбулентная вязкость ν диффузионной скорости свободных "
      "колец, м²/с (0,001·v0·D; 0 — без диффузии)");
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
  r = RefinedSettings{};
  if (a.smoothingOpt != nullptr && a.smoothingOpt->count() > 0 &&
      !Positive(a.smoothing, "--smoothing-length", r.SmoothingLength, error))
    return false;
  r.Shedding = a.shedding == "outer" ? ShedRule::Outer : ShedRule::EdgeSpeed;
  r.Placement = a.placement == "convected" ? ShedPlacement::Convected : ShedPlacement::Nascent;
  if (a.viscosityOpt != nullptr && a.viscosityOpt->count() > 0 &&
      !NonNegative(a.viscosity, "--viscosity", r.Viscosity, error))
    return false;
  return true;
}

int LoadStateWithModel(Model& m, const std::string& file, Precision precision, const FlowModelArgs& a) {
  std::string error;
  Model probe;  // the options alone, before the file
  if (!ApplyFlowModel(a, probe, error)) return Refuse(error);
  m.Exec.Arithmetic = precision;
  if (!LoadVortexState(m, file, error)) return Fail(error);
  ApplyFlowModel(a, m, error);
  if (m.ContourArea) m.Flow = FlowModel::Refined;  // a contour area's rings are the refined model's
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
  return mdv::CourantStep(m, courant);
}

}  // namespace mdv::cli
