#include "cli/refined_budget.h"

#include <cmath>
#include <cstdio>

#include "core/analysis/contraction.h"

namespace mdv::cli {

namespace {

std::string Line(const char* key, double v) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s;%.6g\n", key, v);
  return buf;
}

// Σ Γ of the free rings, m²/s.
double FreeCirculation(const Model& m) {
  double sum = 0;
  for (int32_t i = m.AttachedCount; i < m.AttachedCount + m.FreeVortexCount; ++i)
    sum += static_cast<double>(m.Vortices[i].Gamma);
  return sum;
}

}  // namespace

RefinedBudget::RefinedBudget(const Model& m, Real from)
    : from_(from), mouthX_(0), b_(m.ChannelRadius) {
  const size_t cells = static_cast<size_t>(XCells) * RCells;
  gamma_.assign(cells, 0);
  absGamma_.assign(cells, 0);
  count_.assign(cells, 0);
}

void RefinedBudget::StepDone(const Model& m) {
  if (!started_) {
    if (m.Time < from_) return;
    started_ = true;
    mouthX_ = MouthX(m);  // the area is built by now
    b_ = m.ChannelRadius;
    t0_ = m.Time;
    at0_ = m.RefinedCount;
    free0_ = FreeCirculation(m);
    return;
  }
  ++steps_;
  rings_ += m.FreeVortexCount;
  const int32_t end = m.AttachedCount + m.FreeVortexCount;
  for (int32_t i = m.AttachedCount; i < end; ++i) {
    const TVortex& v = m.Vortices[i];
    const auto ix = static_cast<int32_t>(std::floor((v.Pos.X - mouthX_ + b_) / (b_ / 2)));
    const auto ir = static_cast<int32_t>(std::floor(v.Pos.Y / (b_ / 10)));
    if (ix < 0 || ix >= XCells || ir < 0) continue;
    const size_t c = static_cast<size_t>(ix) * RCells + static_cast<size_t>(std::min(ir, RCells - 1));
    gamma_[c] += static_cast<double>(v.Gamma);
    absGamma_[c] += std::fabs(static_cast<double>(v.Gamma));
    count_[c] += 1;
  }
}

std::string RefinedBudget::Text(const Model& m) const {
  const RefinedAccount& a = m.RefinedCount;
  const double span = static_cast<double>(m.Time - t0_);
  std::string out = Line("from_s", static_cast<double>(t0_)) + Line("to_s", static_cast<double>(m.Time)) +
                    Line("dt_s", static_cast<double>(m.Dt)) + Line("mean_rings", steps_ > 0 ? rings_ / steps_ : 0);
  if (!(span > 0)) return out + "# no averaged stretch\n";
  const auto rate = [span](Real now, Real then) { return static_cast<double>(now - then) / span; };
  for (int32_t s = 0; s < std::min(m.SeparationCount, RefinedAccount::Edges); ++s) {
    const auto n = static_cast<double>(a.Sheddings[s] - at0_.Sheddings[s]);
    const std::string e = "edge" + std::to_string(s) + "_";
    out += Line((e + "x").c_str(), static_cast<double>(m.Vortices[m.SeparationIndex[s]].Pos.X));
    out += Line((e + "y").c_str(), static_cast<double>(m.Vortices[m.SeparationIndex[s]].Pos.Y));
    out += Line((e + "shed_rate").c_str(), rate(a.Shed[s], at0_.Shed[s]));
    out += Line((e + "sheddings_per_s").c_str(), n / span);
    out += Line((e + "mean_sheet").c_str(), n > 0 ? static_cast<double>(a.ShedSheet[s] - at0_.ShedSheet[s]) / n : 0);
    out += Line((e + "mean_speed").c_str(), n > 0 ? static_cast<double>(a.ShedSpeed[s] - at0_.ShedSpeed[s]) / n : 0);
  }
  out += Line("suction_rate", rate(a.SuctionCirculation, at0_.SuctionCirculation));
  out += Line("suction_rings_per_s", static_cast<double>(a.RemovedSuction - at0_.RemovedSuction) / span);
  out += Line("axis_rate", rate(a.AxisCirculation, at0_.AxisCirculation));
  out += Line("axis_rings_per_s", static_cast<double>(a.RemovedAxis - at0_.RemovedAxis) / span);
  out += Line("far_rate", rate(a.FarCirculation, at0_.FarCirculation));
  out += Line("free_circulation_from", free0_);
  out += Line("free_circulation_to", FreeCirculation(m));
  out += Line("merged_per_s", static_cast<double>(a.Merged - at0_.Merged) / span);
  out += Line("wall_slides_per_s", static_cast<double>(a.WallSlides - at0_.WallSlides) / span);
  out += "x_over_D;r_over_B;mean_gamma;mean_abs_gamma;mean_rings\n";
  const double steps = steps_ > 0 ? static_cast<double>(steps_) : 1;
  for (int32_t ix = 0; ix < XCells; ++ix) {
    for (int32_t ir = 0; ir < RCells; ++ir) {
      const size_t c = static_cast<size_t>(ix) * RCells + static_cast<size_t>(ir);
      char buf[128];
      std::snprintf(buf, sizeof buf, "%.3f;%.2f;%.6g;%.6g;%.4g\n", (ix + 0.5) / 4.0 - 0.5, (ir + 0.5) / 10.0,
                    gamma_[c] / steps, absGamma_[c] / steps, count_[c] / steps);
      out += buf;
    }
  }
  return out;
}

}  // namespace mdv::cli
