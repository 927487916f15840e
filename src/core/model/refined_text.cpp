#include "core/model/refined_text.h"

#include "core/base/numfmt.h"

namespace mdv {

std::string RefinedSetText(const Model& m) {
  const RefinedSettings& r = m.Refined;
  std::string text = "Уточнённая модель: отрыв потоком Кутты ½·U²·dt со скоростью ";
  text += r.Shedding == ShedRule::EdgeSpeed ? "на кромке (по закону √r от точек на δ и 2δ)"
                                            : "в точках на расстоянии δ от кромки";
  text += r.Placement == ShedPlacement::Nascent ? ", зарождающееся кольцо у кромки до отхода на δ"
                                                : ", новое кольцо в U·dt/2 от кромки";
  text += "; δ = " + FormatSignificant(SmoothingLengthOf(m), 4) + " м";
  text += r.SmoothingLength > 0 ? "" : " (D/30)";
  text += ", ν = " + FormatSignificant(ViscosityOf(m), 4) + " м²/с";
  text += r.Viscosity >= 0 ? "" : " (0,001·v0·D)";
  return text;
}

}  // namespace mdv
