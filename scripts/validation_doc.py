#!/usr/bin/env python3
"""Writes docs/validation.md from the averages files of scripts/validation.sh.

    validation_doc.py RESULTS_DIR OUTPUT.md

RESULTS_DIR holds LABEL.json (and LABEL.out) for every line of
examples/validation/goals.cases and convergence.cases; the text around the
tables is scripts/validation_text.md, whose {{NAME}} marks are replaced here.
The plots are drawn with gnuplot beside OUTPUT.md (validation_*.png).
"""
import json
import math
import os
import subprocess
import sys

results, output = sys.argv[1], sys.argv[2]
here = os.path.dirname(os.path.abspath(__file__))
docs = os.path.dirname(os.path.abspath(output))

# Entry loss of a sharp tube end projecting into a large space, by wall
# thickness t/D (the table: Idelchik's diagram; Harris's experiments
# of 1928, their own t/D in brackets).
IDELCHIK = [(0, 1.00), (0.004, 0.94), (0.008, 0.88), (0.012, 0.83), (0.016, 0.77), (0.02, 0.72),
            (0.03, 0.61), (0.04, 0.54), (0.05, 0.50), (0.07, 0.50)]
HARRIS = [(0.003, 0.89), (0.007, 0.83), (0.012, 0.75), (0.018, 0.67), (0.022, 0.57), (0.029, 0.51),
          (0.039, 0.48), (0.05, 0.445)]


def comma(v, digits=3):
    if v is None or (isinstance(v, float) and not math.isfinite(v)):
        return "—"
    return f"{v:.{digits}f}".replace(".", ",")


def load(label):
    path = os.path.join(results, label + ".json")
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def figures(j):
    """ζ_M, C_c of the vena contracta, x_c/D, the flux ratio at L/2, rings at the end."""
    if j is None:
        return None
    vena = (j.get("contraction") or {}).get("vena_contracta") or {}
    reat = (j.get("contraction") or {}).get("reattachment") or {}
    return {
        "zeta": vena.get("zeta_m"),
        "cc": vena.get("cc"),
        "xc": vena.get("x_over_D"),
        "lr": reat.get("length_over_D") if reat.get("separated") else None,
        "flux": (j.get("flux") or {}).get("ratio"),
    }


def replicas(stem, n=3):
    return [f for f in (figures(load(f"{stem}_r{k}")) for k in range(n)) if f is not None]


def spread(rows, key):
    vals = [r[key] for r in rows if r.get(key) is not None]
    if not vals:
        return None, None, 0
    mean = sum(vals) / len(vals)
    return mean, (max(vals) - min(vals)) / 2, len(vals)


def cell(rows, key, digits=3):
    mean, half, n = spread(rows, key)
    if n == 0:
        return "—"
    return comma(mean, digits) + (f" ± {comma(half, digits)}" if n > 1 else "") + (f" ({n})" if n != 3 else "")


GOALS = [
    # stem, what, t/D, measure, goal text, goal range (ζ_M unless noted)
    ("reentrant_W20", "α = 0, W/D = 0,067 (стенка по умолчанию)", 0.02 / 0.3, "zeta", "0,45–0,57", (0.45, 0.57)),
    ("reentrant_W5", "α = 0, W/D = 0,017", 0.005 / 0.3, "zeta", "0,65–0,82", (0.65, 0.82)),
    ("reentrant_W2", "α = 0, W/D = 0,0067", 0.002 / 0.3, "zeta", "0,80–0,95", (0.80, 0.95)),
    ("flanged", "α = 90° (фланец l = 0,5 м)", None, "zeta", "0,45–0,60", (0.45, 0.60)),
    ("flanged", "α = 90°: C_c вены", None, "cc", "0,55–0,68", (0.55, 0.68)),
    ("alpha30", "α = 30°", None, "zeta", "ниже α = 90°", None),
    ("alpha45", "α = 45°", None, "zeta", "между концами", None),
    ("alpha60", "α = 60°", None, "zeta", "между концами", None),
    ("hood", "отсос по умолчанию (приток 0,75 м/с, плоскость −0,5 м): расход при L/2", None, "flux",
     "0,98–1,02", (0.98, 1.02)),
]


def goals_table():
    lines = ["| случай | величина | расчёт (среднее ± полуразмах реплик) | цель | выполнена |",
             "|---|---|---|---|---|"]
    for stem, what, _, key, goal, rng in GOALS:
        rows = replicas(stem)
        mean, _, n = spread(rows, key)
        name = {"zeta": "ζ_M", "cc": "C_c вены", "flux": "Q/(πB²v0)"}[key]
        met = "—" if n == 0 or rng is None else ("да" if rng[0] <= mean <= rng[1] else "нет")
        lines.append(f"| {what} | {name} | {cell(rows, key)} | {goal} | {met} |")
    return "\n".join(lines)


def angle_rows():
    out = []
    for alpha, stem in ((0, "reentrant_W20"), (30, "alpha30"), (45, "alpha45"), (60, "alpha60"), (90, "flanged")):
        mean, half, n = spread(replicas(stem), "zeta")
        if n:
            out.append((alpha, mean, half or 0))
    return out


def gci(f1, f2, f3, r=2.0):
    """Roache's three-level index of the finest f1 (f3 the coarsest): (p, GCI) or a verdict text."""
    e21, e32 = f2 - f1, f3 - f2
    if e21 == 0:
        return "не меняется"
    if e21 * e32 < 0:
        return "колеблется"
    p = math.log(abs(e32 / e21)) / math.log(r)
    if not 0.5 <= p <= 4:
        return f"порядок {comma(p, 2)} вне 0,5–4"
    return p, 1.25 * abs(e21 / f1) / (r ** p - 1)


def convergence_table():
    lines = ["| вход | уточнение | величина | грубо / средне / мелко | порядок | GCI |",
             "|---|---|---|---|---|---|"]
    for stem, name in (("reentrant_W20", "α = 0"), ("flanged", "α = 90°")):
        middle = figures(load(f"{stem}_r0"))
        for kind, coarse, fine in (("h = 0,01 / 0,005 / 0,0025 м", "h0.01", "h0.0025"),
                                   ("dt = 0,01 / 0,005 / 0,0025 с", "dt0.01", "dt0.0025")):
            c, f = figures(load(f"{stem}_{coarse}")), figures(load(f"{stem}_{fine}"))
            for key, label in (("zeta", "ζ_M"), ("cc", "C_c вены")):
                vals = [x[key] if x else None for x in (c, middle, f)]
                if None in vals:
                    lines.append(f"| {name} | {kind} | {label} | {' / '.join(comma(v) for v in vals)} | — | — |")
                    continue
                res = gci(vals[2], vals[1], vals[0])
                order, index = (comma(res[0], 2), comma(100 * res[1], 1) + " %") if isinstance(res, tuple) else (res, "—")
                lines.append(f"| {name} | {kind} | {label} | {' / '.join(comma(v) for v in vals)} | {order} | {index} |")
    return "\n".join(lines)


def viscosity_table():
    lines = ["| вход | ν, м²/с | ζ_M | C_c вены |", "|---|---|---|---|"]
    for stem, name in (("reentrant_W20", "α = 0"), ("flanged", "α = 90°")):
        for nu, label in (("0.00015", "0,00015 (c = 0,0005)"), (None, "0,0003 (c = 0,001, своя)"),
                          ("0.0006", "0,0006 (c = 0,002)")):
            f = figures(load(f"{stem}_nu{nu}" if nu else f"{stem}_r0"))
            lines.append(f"| {name} | {label} | {comma(f and f['zeta'])} | {comma(f and f['cc'])} |")
    return "\n".join(lines)


def gnuplot(name, script, data):
    """Draws docs/validation_NAME.png; the data blocks are written inline."""
    png = os.path.join(docs, f"validation_{name}.png")
    text = ("set terminal pngcairo size 720,420 font 'DejaVu Sans,10'\n"
            f"set output '{png}'\nset decimalsign ','\nset grid\nset key top right\n")
    for block, rows in data.items():
        text += f"${block} << EOD\n" + "".join(" ".join(str(v) for v in row) + "\n" for row in rows) + "EOD\n"
    subprocess.run(["gnuplot"], input=text + script, text=True, check=True)
    return os.path.basename(png)


def plots():
    made = []
    model = []
    for stem, td in (("reentrant_W2", 0.002 / 0.3), ("reentrant_W5", 0.005 / 0.3), ("reentrant_W20", 0.02 / 0.3)):
        mean, half, n = spread(replicas(stem), "zeta")
        if n:
            model.append((td, mean, half or 0))
    made.append(gnuplot("thickness", (
        "set xlabel 't/D'\nset ylabel 'ζ_M'\nset yrange [0.3:1.1]\n"
        "plot $idelchik with linespoints title 'Идельчик', $harris with points pt 7 title 'Харрис (опыт)', "
        "$model with yerrorbars pt 5 ps 1.5 lw 2 title 'модель'\n"),
        {"idelchik": IDELCHIK, "harris": HARRIS, "model": model or [(0, "NaN", 0)]}))
    rows = angle_rows()
    made.append(gnuplot("angle", (
        "set xlabel 'α, °'\nset ylabel 'ζ_M'\nset xrange [-5:95]\nset yrange [0:1]\n"
        "plot $model with yerrorlines pt 5 lw 2 title 'модель', "
        "$book with points pt 7 ps 1.5 title 'справочник: Идельчик (α = 0, t/D ≥ 0,05; α = 90°)'\n"),
        {"model": rows or [(0, "NaN", 0)], "book": [(0, 0.50), (90, 0.50)]}))
    series = {}
    for stem, name in (("reentrant_W20_r0", "reentrant"), ("flanged_r0", "flanged")):
        j = load(stem)
        secs = ((j or {}).get("contraction") or {}).get("sections") or []
        series[name] = [(s["x_over_D"], s["cc"]) for s in secs] or [(0, "NaN")]
    made.append(gnuplot("cc", (
        "set xlabel 'x/D от входа'\nset ylabel 'C_c(x)'\nset yrange [0.4:1.05]\n"
        "plot $reentrant with linespoints title 'α = 0, W/D = 0,067', "
        "$flanged with linespoints title 'α = 90°'\n"), series))
    return "\n".join(f"![{m}]({m})" for m in made)


def speed_rows():
    lines = ["| случай | колец в конце | время счёта 20 с, с |", "|---|---|---|"]
    for stem in ("reentrant_W20_r0", "reentrant_W5_r0", "flanged_r0", "hood_r0"):
        path = os.path.join(results, stem + ".out")
        if not os.path.exists(path):
            continue
        text = open(path, encoding="utf-8").read()
        rings = next((ln.split(":")[1].split()[0] for ln in text.splitlines() if ln.startswith("Свободных вихрей:")), "—")
        secs = next((ln.split("=")[1].strip() for ln in text.splitlines() if ln.startswith("wall_seconds=")), "—")
        lines.append(f"| {stem} | {rings} | {secs.replace('.', ',')} |")
    return "\n".join(lines)


def contour_table():
    """The contour area's checks: the default hood through the general path,
    the rounded inlet against Idelchik, the profiled inlets."""
    lines = ["| случай | величина | расчёт | сравнение | выполнена |", "|---|---|---|---|---|"]
    hood, contour = replicas("hood"), replicas("hood_contour")
    for key, name in (("zeta", "ζ_M"), ("cc", "C_c вены"), ("flux", "Q/(πB²v0)")):
        m1, h1, n1 = spread(hood, key)
        m2, h2, n2 = spread(contour, key)
        met = "—" if not (n1 and n2) else ("да" if abs(m1 - m2) <= (h1 or 0) + (h2 or 0) else "нет")
        lines.append(f"| отсос по умолчанию, заданный контуром | {name} | {cell(contour, key)} | "
                     f"параметрический: {cell(hood, key)} (в пределах разброса реплик) | {met} |")
    for radius, book in ((0.015, 0.22), (0.03, 0.12), (0.06, 0.03)):
        f = figures(load(f"bellmouth_R{radius}"))
        zeta = f and f["zeta"]
        off = "—" if zeta is None else comma(zeta - book)
        met = "—" if zeta is None else ("да" if abs(zeta - book) <= 0.05 else "нет")
        lines.append(f"| скруглённый вход во фланце, r/D = {comma(radius / 0.3, 2)} | ζ_M | {comma(zeta)} | "
                     f"Идельчик {comma(book, 2)}; отклонение {off} | {met if radius == 0.06 else '—'} |")
    for stem, name, limit in (("reentrant_W20", "выступающая труба (α = 0)", None), ("flanged", "вход во фланце (α = 90°)", 0.15)):
        before = figures(load(f"{stem}_r0"))
        after = figures(load(f"{stem}_profiled"))
        zb, za = before and before["zeta"], after and after["zeta"]
        ratio = za / zb if za is not None and zb else None
        if limit is None:
            goal, met = "после/до ниже 0,3", "—" if ratio is None else ("да" if ratio < 0.3 else "нет")
            shown = f"{comma(za)} / {comma(zb)} = {comma(ratio, 2)}"
        else:
            goal, met = "ниже 0,15", "—" if za is None else ("да" if za < limit else "нет")
            shown = f"{comma(za)} (до: {comma(zb)})"
        lines.append(f"| {name}, профилированный по своей вихревой зоне | ζ_M | {shown} | {goal} | {met} |")
    return "\n".join(lines)


with open(os.path.join(here, "validation_text.md"), encoding="utf-8") as f:
    text = f.read()
for mark, fill in (("GOALS", goals_table), ("CONVERGENCE", convergence_table), ("PLOTS", plots), ("VISCOSITY", viscosity_table),
                   ("RUNS", speed_rows), ("CONTOURS", contour_table)):
    text = text.replace("{{" + mark + "}}", fill())
with open(output, "w", encoding="utf-8") as f:
    f.write(text)
