#pragma once
// The tool tips of the vortex-zone dimensions, in the windows that show them
// (the vortex-zone window, "Осреднённое течение"): the guide's words, short.
#include <QString>

namespace mdv {

// The tip of a dimension by its label ("Bэф", "b", "l", "a0", "a", "dmax",
// "lmax"); empty for another text.
inline QString ZoneDimensionTip(const QString& label) {
  static const struct {
    const char* Label;
    const char* Tip;
  } tips[] = {
      {"Bэф", "Эффективная ширина входа, м: удвоенное расстояние от оси, на котором первая линия тока "
              "проходит кромку козырька"},
      {"b", "Толщина вихревой зоны у козырька, м: наибольшее отстояние первой линии тока от прямой через "
            "кромку козырька и устье"},
      {"l", "Место толщины b, м: расстояние от перпендикуляра к кромке козырька"},
      {"a0", "Вынос вихревой зоны вперёд за кромку козырька, м"},
      {"a", "Длина вихревой зоны, м: a0 и расстояние, на котором линия тока возвращается к козырьку"},
      {"dmax", "Толщина отрывной зоны в канале, м: наибольшее отстояние второй линии тока от стенки канала"},
      {"lmax", "Место толщины dmax, м: расстояние от плоскости устья x = 0"},
  };
  for (const auto& t : tips)
    if (label == QString::fromUtf8(t.Label)) return QString::fromUtf8(t.Tip);
  return {};
}

}  // namespace mdv
