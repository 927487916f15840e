#pragma once
// The main window's small reports, as the exact texts it shows.
#include <string>

#include "core/model/model.h"

namespace mdv {

// "Скорость воздуха в точке (" + xText + ";" + yText + "):\r  Vx = … м/с\r  Vy = … м/с";
// the coordinates appear as typed. Empty optional text on unparsable input is
// the caller's business ("Ошибка в параметрах").
std::string SpeedAtPointText(const Model& m, const std::string& xText, const std::string& yText,
                             Real x, Real y);
// The information report: mean axial speeds over profiles across the channel
// and the circulation sums. withUnits (the batch tool) also writes the
// profile's x in м and the sums in м²/с, which the window's text leaves out.
std::string InformationReportText(const Model& m, bool withUnits = false);
// The Test command's answer, "yes" or "no".
std::string TestCommandText();

}  // namespace mdv
