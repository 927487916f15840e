#pragma once
// Research record of a refined run (--refined-budget FILE): where the shed
// circulation goes over the averaged stretch, and where the free rings'
// circulation sits. For each separation point: the circulation shed per
// second, the mean sheet strength Γ_edge/h and edge speed |U_edge| it was
// shed with; the circulation per second that left through the suction
// section, at the axis and far away; the wall rule's slides per second; and
// the mean circulation of the free rings in cells of (x from the mouth, r).
#include <cstdint>
#include <string>
#include <vector>

#include "core/model/model.h"

namespace mdv::cli {

class RefinedBudget {
 public:
  // From model time `from` on (s); the census cells are laid out from the area.
  RefinedBudget(const Model& m, Real from);
  void StepDone(const Model& m);
  // The record as text ("key;value" lines, then the census table).
  std::string Text(const Model& m) const;

 private:
  static constexpr int32_t XCells = 24;  // B/2 wide, from B before the mouth
  static constexpr int32_t RCells = 14;  // B/10 wide, from the axis
  Real from_;
  Real mouthX_;
  Real b_;
  bool started_ = false;
  Real t0_ = 0;
  RefinedAccount at0_{};
  double free0_ = 0;  // Σ Γ of the free rings at the stretch's start, m²/s
  int64_t steps_ = 0;
  double rings_ = 0;
  std::vector<double> gamma_, absGamma_, count_;
};

}  // namespace mdv::cli
