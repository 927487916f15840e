#!/usr/bin/env python3
"""Writes docs/validation.md from the tables of scripts/validation.sh.

Usage: validation_doc.py RESULTS_DIR OUTPUT.md
       validation_doc.py --layer RESULTS_DIR   (the wall layer's tables alone, on stdout)
       validation_doc.py --outer RESULTS_DIR   (the one-sided Kutta flux's tables alone, on stdout)
       validation_doc.py --diffusion RESULTS_DIR   (the diffusive velocity's tables alone, on stdout)
RESULTS_DIR holds one TSV per case list (scripts/refined_research.sh) and,
per case, LABEL.json (the averages file of its run).
"""
import json
import math
import os
import sys

COLUMNS = ["label", "h", "dt", "delta", "cc", "cc_sec", "x_sec", "axis", "flux", "free", "wall"]


def rows(directory, name):
    path = os.path.join(directory, name + ".tsv")
    out = {}
    if not os.path.exists(path):
        return out
    with open(path, encoding="utf-8") as f:
        for line in f:
            cells = line.rstrip("\n").split("\t")
            if len(cells) < len(COLUMNS):
                out[cells[0]] = {"label": cells[0], "failed": " ".join(cells[1:])}
                continue
            out[cells[0]] = dict(zip(COLUMNS, cells))
    return out


def comma(value, digits=3):
    if value is None or value == "":
        return "—"
    try:
        return f"{float(value):.{digits}f}".replace(".", ",")
    except ValueError:
        return str(value)


def averages(directory, label):
    path = os.path.join(directory, label + ".json")
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def centre(j, xd):
    for row in j["centreline"]:
        if abs(row["x_over_D"] - xd) < 1e-9:
            return row
    return None


def table(header, lines):
    text = "| " + " | ".join(header) + " |\n|" + "|".join("---" for _ in header) + "|\n"
    for line in lines:
        text += "| " + " | ".join(line) + " |\n"
    return text


def vena(directory, label):
    """C_c at the vena contracta, its x/D and the reattachment length / D from the
    averages file's own measure, when the run wrote one."""
    j = averages(directory, label) if directory else None
    c = j.get("contraction") if j else None
    if not c:
        return ["—", "—", "—"]
    v = c.get("vena_contracta")
    r = c.get("reattachment", {})
    lr = r.get("length_over_D")
    reatt = comma(lr, 2) if lr is not None else ("нет" if r.get("separated") else "без отрыва")
    if not v:
        return ["—", "—", reatt]
    return [comma(v["cc"]), comma(v["x_over_D"], 2), reatt]


def cc_rows(data, labels, directory=None):
    lines = []
    for label, what in labels:
        r = data.get(label)
        if r is None:
            continue
        if "failed" in r:
            lines.append([what, "не получен: " + r["failed"]] + [""] * 5)
            continue
        line = [what, comma(r["h"]), comma(r["dt"], 5), comma(r["delta"]), comma(r["cc"]),
                comma(r["cc_sec"])] + vena(directory, label) + [comma(r["flux"]), r["free"]]
        lines.append(line)
    return table(["расчёт", "h, м", "dt, с", "δ, м", "C_c = v0/max v̄x", "min C_c(x) по сетке",
                  "C_c вены (файл средних)", "x_c/D", "L_r/D", "расход при x = L/2", "колец в конце"],
                 lines)


def budget(directory, label):
    """The run's circulation budget (--refined-budget): its key;value lines and
    the census rows (x/D, r/B, mean Γ), or None."""
    path = os.path.join(directory, label + ".budget")
    if not os.path.exists(path):
        return None
    values, census = {}, []
    with open(path, encoding="utf-8") as f:
        for line in f:
            cells = line.strip().split(";")
            if len(cells) == 2:
                values[cells[0]] = float(cells[1])
            elif len(cells) == 5 and cells[0] != "x_over_D":
                census.append((float(cells[0]), float(cells[1]), float(cells[2])))
    return values, census


def wall_measures(directory, label):
    """From the averages file: C_c of the vena contracta and its x/D, the least
    (r_zero/B)² over the sections (the jet's own area, the reverse flow left
    out), v0 / the highest mean axial speed of the sections and U_j²/2 of it."""
    j = averages(directory, label)
    if j is None or "contraction" not in j:
        return None
    c = j["contraction"]
    b = c["mouth"]["y"] if c["mouth"]["y"] > 0 else 0.15
    sections = c.get("sections", [])
    v = c.get("vena_contracta") or {}
    zero = min(((s["r_zero"] / b) ** 2 for s in sections if "r_zero" in s), default=None)
    top = max((s["vx_max"] for s in sections if "vx_max" in s), default=None)
    return {"cc": v.get("cc"), "xc": v.get("x_over_D"), "zero": zero,
            "vmax": 1 / top if top else None, "uj": top * top / 2 if top else None,
            "flux": j["flux"]["ratio"]}


def celik(h, phi):
    """Celik et al.'s three-grid procedure (h ascending: h1 < h2 < h3): order,
    extrapolated value and GCI_fine in %, or a verdict."""
    (h1, h2, h3), (f1, f2, f3) = h, phi
    e21, e32 = f2 - f1, f3 - f2
    if e21 == 0 or e32 == 0:
        return "равные ответы"
    r21, r32 = h2 / h1, h3 / h2
    s = 1 if e32 / e21 > 0 else -1
    if s < 0:
        return "колебательная сходимость"
    if abs(e32) < abs(e21):
        return "расходится при уточнении"
    p = 1.0
    for _ in range(200):
        q = math.log((r21 ** p - s) / (r32 ** p - s))
        p = abs(math.log(abs(e32 / e21)) + q) / math.log(r21)
    if not 0.5 <= p <= 4:
        return f"порядок {comma(p, 2)}, вне 0,5–4"
    ext = (r21 ** p * f1 - f2) / (r21 ** p - 1)
    gci = 1.25 * abs((f1 - f2) / f1) / (r21 ** p - 1) * 100
    return f"p = {comma(p, 2)}, φ_ext = {comma(ext)}, GCI = {comma(gci, 1)} %"


def wall_tables(directory):
    """The wall rules' table, where the circulation sits, their convergence
    indices and the flush inlet's centre-line against the disc sink."""
    cases = [("re_dt0.01_T20", "скольжение (как есть)", 0.01, 0.01),
             ("re_dt0.005_T20", "скольжение (как есть)", 0.01, 0.005),
             ("re_dt0.0025_T20", "скольжение (как есть)", 0.01, 0.0025),
             ("mean_dt0.01", "отрыв γ·Ū·dt (sheet-mean)", 0.01, 0.01),
             ("mean_dt0.005", "отрыв γ·Ū·dt (sheet-mean)", 0.01, 0.005),
             ("refl_dt0.01", "отражение от барьера", 0.01, 0.01),
             ("refl_dt0.005", "отражение от барьера", 0.01, 0.005),
             ("refl_dt0.0025", "отражение от барьера", 0.01, 0.0025),
             ("abs_dt0.01", "поглощение стенкой", 0.01, 0.01),
             ("abs_dt0.005", "поглощение стенкой", 0.01, 0.005),
             ("abs_dt0.0025", "поглощение стенкой", 0.01, 0.0025),
             ("abs_h0.02", "поглощение стенкой", 0.02, 0.005),
             ("abs_h0.005", "поглощение стенкой", 0.005, 0.005),
             ("f_dt0.01", "заподлицо, скольжение", 0.01, 0.01),
             ("f_dt0.005", "заподлицо, скольжение", 0.01, 0.005),
             ("f_dt0.0025", "заподлицо, скольжение", 0.01, 0.0025),
             ("fabs_dt0.01", "заподлицо, поглощение", 0.01, 0.01),
             ("fabs_dt0.005", "заподлицо, поглощение", 0.01, 0.005),
             ("fabs_dt0.0025", "заподлицо, поглощение", 0.01, 0.0025),
             ("fabs_h0.02", "заподлицо, поглощение", 0.02, 0.005),
             ("fabs_h0.005", "заподлицо, поглощение", 0.005, 0.005)]
    lines, sits, found = [], [], {}
    slabs = ((0, 0.5), (0.5, 1), (1, 1.5), (1.5, 2.5), (2.5, 5))
    for label, what, h, dt in cases:
        m = wall_measures(directory, label)
        bud = budget(directory, label)
        if m is None or bud is None:
            continue
        found[label] = m
        b, census = bud
        span = b["to_s"] - b["from_s"]
        shed = sum(v for k, v in b.items() if k.endswith("_shed_rate"))
        lines.append([what, comma(h), comma(dt, 4), comma(m["cc"]), comma(m["xc"], 2), comma(m["zero"]),
                      comma(m["vmax"]), comma(m["uj"], 2), comma(shed, 2), comma(b["suction_rate"], 2),
                      comma(b.get("wall_rate", 0), 2),
                      comma((b["free_circulation_to"] - b["free_circulation_from"]) / span, 2),
                      comma(b["wall_slides_per_s"], 0), comma(b["mean_rings"], 0), comma(m["flux"])])
        sits.append([what + ", шаг " + comma(dt, 4) + ", h " + comma(h)] +
                    [comma(sum(g for x, _, g in census if lo <= x < hi), 2) for lo, hi in slabs] +
                    [comma(sum(g for _, r, g in census if r < 0.5), 3)])
    text = table(["правило", "h, м", "dt, с", "C_c вены", "x_c/D", "min (r₀/B)²", "v0/max v̄x",
                  "U_j²/2, м²/с²", "сброс Γ, м²/с²", "уходит в отсос", "поглощено стенкой",
                  "прирост в канале", "касаний барьера, 1/с", "колец", "расход"], lines)
    text += "\nWhere the free rings' circulation sits (mean Γ, m²/s, summed over slabs of x/D from the mouth; the last column: r < B/2):\n\n"
    text += table(["расчёт", "x/D 0–0,5", "0,5–1", "1–1,5", "1,5–2,5", "2,5–5", "r < B/2"], sits)
    gci = []
    for name, key in (("C_c вены", "cc"), ("min (r₀/B)²", "zero"), ("v0/max v̄x", "vmax")):
        for what, seq, steps in (("поглощение, dt", ("abs_dt0.0025", "abs_dt0.005", "abs_dt0.01"), (0.0025, 0.005, 0.01)),
                                 ("поглощение, h", ("abs_h0.005", "abs_dt0.005", "abs_h0.02"), (0.005, 0.01, 0.02)),
                                 ("заподлицо, поглощение, dt", ("fabs_dt0.0025", "fabs_dt0.005", "fabs_dt0.01"),
                                  (0.0025, 0.005, 0.01)),
                                 ("заподлицо, поглощение, h", ("fabs_h0.005", "fabs_dt0.005", "fabs_h0.02"),
                                  (0.005, 0.01, 0.02)),
                                 ("скольжение, dt", ("re_dt0.0025_T20", "re_dt0.005_T20", "re_dt0.01_T20"),
                                  (0.0025, 0.005, 0.01))):
            if not all(label in found and found[label][key] is not None for label in seq):
                continue
            phi = [found[label][key] for label in seq]
            gci.append([what, name] + [comma(v) for v in phi] + [celik(steps, phi)])
    text += "\nConvergence (Celik et al.'s three grids, fine to coarse):\n\n"
    text += table(["уточнение", "величина", "φ1 (мелкий)", "φ2", "φ3 (крупный)", "итог"], gci)
    sink = []
    for label in ("fabs_dt0.01", "fabs_dt0.005", "fabs_dt0.0025", "f_dt0.0025"):
        j = averages(directory, label)
        if j is None:
            continue
        for xd in (0.25, 0.5, 1.0, 1.5):
            c = centre(j, xd)
            if c is None:
                continue
            dev = (c["model"] / c["disc_sink"] - 1) * 100
            sink.append([label, comma(xd, 2), comma(c["model"]), comma(c["disc_sink"]), comma(dev, 1) + " %"])
    text += "\nThe flush inlet's centre-line against the disc sink (20 s runs):\n\n"
    text += table(["расчёт", "x/D", "v/v0 модели", "диск-сток", "отклонение"], sink)
    return text


def layer_tables(directory):
    """The wall layer's 3×3 studies in h and dt for both inlets and two layer
    thicknesses (layer_*.cases): the measures, the circulation budget,
    replicas and the convergence indices in dt and in h."""
    hs, dts = ("0.005", "0.01", "0.02"), ("0.0025", "0.005", "0.01")
    layers = (("layer", "0,01"), ("layer2", "0,02"))
    text, gci = "", []
    for name, what in (("reentrant", "Входной патрубок Борда (α = 0)"), ("flush", "Вход с фланцем заподлицо (α = 90°)")):
        lines, found = [], {}
        labels = []
        for prefix, layer in layers:
            labels += [(f"{prefix}_{name}_h{h}_dt{dt}", h, dt, layer, "") for dt in reversed(dts) for h in reversed(hs)]
            labels += [(f"{prefix}_{name}_h{h}_dt0.0025_rep", h, "0.0025", layer, " + 1e-10 (реплика)")
                       for h in ("0.01", "0.005")]
        labels.append((f"layerm_{name}_h0.005_dt0.005", "0.005", "0.005", "0,01", ", слияние ближе 0,005 м"))
        for label, h, dt, layer, note in labels:
            m = wall_measures(directory, label)
            bud = budget(directory, label)
            j = averages(directory, label)
            if m is None or bud is None or j is None:
                continue
            b, _ = bud
            span = b["to_s"] - b["from_s"]
            shed = sum(v for k, v in b.items() if k.endswith("_shed_rate"))
            c = centre(j, 0.5)
            m["centre"] = c["model"] if c else None
            devs = [centre(j, xd) for xd in (0.25, 0.5, 1.0, 1.5)]
            dev = max((abs(d["model"] / d["disc_sink"] - 1) * 100 for d in devs if d), default=None)
            # The disc sink is the flush inlet's: the re-entrant tube has no flange.
            dev_text = comma(dev, 1) + " %" if name == "flush" and dev is not None else "—"
            if not note:
                found[(h, dt, layer)] = m
            lines.append([comma(float(h)), comma(float(dt), 4) + note, layer, comma(m["cc"]), comma(m["xc"], 2),
                          comma(m["zero"]), comma(m["vmax"]), comma(m["centre"]), dev_text,
                          comma(shed, 2), comma(b.get("wall_rate", 0), 2), comma(b["suction_rate"], 2),
                          comma((b["free_circulation_to"] - b["free_circulation_from"]) / span, 2),
                          comma(b["mean_rings"], 0), comma(m["flux"])])
        text += f"{what}:\n\n" + table(
            ["h, м", "dt, с", "слой, м", "C_c вены", "x_c/D", "min (r₀/B)²", "v0/max v̄x", "v/v0 при x/D = 0,5",
             "откл. от диска-стока до x/D = 1,5", "сброс Γ, м²/с²", "взято стенкой", "уходит в отсос",
             "прирост в канале", "колец", "расход"], lines) + "\n"
        for _, layer in layers:
            for key, measure in (("cc", "C_c вены"), ("zero", "min (r₀/B)²"), ("vmax", "v0/max v̄x"),
                                 ("centre", "v/v0 при x/D = 0,5")):
                seqs = [(f"dt при h = {comma(float(h))}", [(h, dt, layer) for dt in dts], [float(d) for d in dts])
                        for h in ("0.01", "0.005")]
                seqs += [(f"h при dt = {comma(float(dt), 4)}", [(h, dt, layer) for h in hs], [float(x) for x in hs])
                         for dt in ("0.005", "0.0025")]
                for refinement, keys, steps in seqs:
                    if not all(k in found and found[k].get(key) is not None for k in keys):
                        continue
                    phi = [found[k][key] for k in keys]
                    gci.append([what.split(" (")[0], layer, refinement, measure] + [comma(v) for v in phi] +
                               [celik(steps, phi)])
    text += "Convergence (Celik et al.'s three grids, fine to coarse):\n\n"
    text += table(["вход", "слой, м", "уточнение", "величина", "φ1 (мелкий)", "φ2", "φ3 (крупный)", "итог"], gci)
    return text


def outer_case(label, layer="0.01"):
    """h, dt, d_p, the wall layer, the wall's thickness, the viscosity and the
    new ring's place of an outer_*.cases or diffusion_*.cases label:
    PREFIX_INLET[_nuNU]_hH_dtDT[_pD][_lL][_wW][_off][_everyN][_rep]."""
    parts = label.split("_")
    found = {"p": "0.01", "l": layer, "w": "0.02", "nu": "0", "place": "U·dt/2" if "off" not in parts else "h/2"}
    for part in parts[2:]:
        for key in ("nu", "h", "dt", "p", "l", "w"):
            if part.startswith(key) and part[len(key):len(key) + 1].isdigit():
                found[key] = part[len(key):]
                break
    found["rep"] = label.endswith("_rep")
    found["every"] = next((part[5:] for part in parts if part.startswith("every")), None)
    return found


def outer_tables(directory, prefix="outer"):
    """The one-sided Kutta flux (outer_*.cases; with prefix "diff", the
    diffusive velocity's diffusion_*.cases, no wall layer unless the label
    says, a column for ν): per inlet, every run's shed rates, budget and
    measures, then the convergence indices in h and dt."""
    text, gci = "", []
    diffusion = prefix == "diff"
    for name, what, edges in (("reentrant", "Входной патрубок Борда (α = 0)", "внешняя / внутренняя кромка"),
                              ("flush", "Вход с фланцем заподлицо (α = 90°)", "кромка входа")):
        rows_, found = [], {}
        labels = sorted({os.path.basename(p)[:-5] for p in os.listdir(directory)
                         if p.startswith(prefix + "_" + name + "_") and p.endswith(".json")})
        for label in labels:
            m = wall_measures(directory, label)
            bud = budget(directory, label)
            j = averages(directory, label)
            if m is None or bud is None:
                continue
            b, _ = bud
            case = outer_case(label, "0" if diffusion else "0.01")
            rates = [b.get(f"edge{e}_shed_rate", 0) for e in range(3)]
            shown = rates[:2] if name == "reentrant" else rates[2:]
            zeta = ((j.get("contraction") or {}).get("vena_contracta") or {}).get("zeta_m")
            m["zeta"] = zeta
            c = centre(j, 0.5)
            m["centre"] = c["model"] if c else None
            devs = [centre(j, xd) for xd in (0.25, 0.5, 1.0, 1.5)]
            dev = max((abs(d["model"] / d["disc_sink"] - 1) * 100 for d in devs if d), default=None)
            # The disc sink is the flush inlet's: the re-entrant tube has no flange.
            dev_text = comma(dev, 1) + " %" if name == "flush" and dev is not None else "—"
            reatt = vena(directory, label)[2]
            if not case["rep"] and not case["every"]:
                found[(case["h"], case["dt"], case["p"], case["l"], case["w"], case["place"], case["nu"])] = m
            given = {k: case[k].replace(".", ",") for k in ("h", "dt", "p", "l", "w", "nu")}  # as the label writes them
            order = (case["place"] != "U·dt/2", -float(case["l"]), -float(case["w"]), float(case["p"]),
                     float(case["nu"]), -float(case["h"]), -float(case["dt"]), case["rep"], case["every"] or "")
            rows_.append([order] + ([given["nu"]] if diffusion else []) +
                         [given["h"], given["dt"] + (" (реплика)" if case["rep"] else "") +
                         (f" (кольцо раз в {case['every']} шага)" if case["every"] else ""),
                          given["p"], given["l"], given["w"], case["place"],
                          " / ".join(comma(r, 2) for r in shown), comma(sum(rates), 2),
                          comma(b.get("wall_rate", 0), 2), comma(b["suction_rate"], 2),
                          comma(m["cc"]), comma(m["xc"], 2), reatt, comma(m["vmax"]), comma(zeta, 2),
                          comma(m["centre"]), dev_text, comma(b["mean_rings"], 0), comma(m["flux"])])
        rows_ = [r[1:] for r in sorted(rows_, key=lambda r: r[0])]  # convected first, then coarse to fine
        text += f"{what}:\n\n" + table(
            (["ν, м²/с"] if diffusion else []) + ["h, м", "dt, с", "d_p, м", "слой, м", "W, м", "новое кольцо", f"сброс: {edges}, м²/с²", "сброс Γ всего",
             "взято стенкой", "уходит в отсос", "C_c вены", "x_c/D", "L_r/D", "v0/max v̄x", "ζ_M",
             "v/v0 при x/D = 0,5", "откл. от диска-стока до x/D = 1,5", "колец", "расход"], rows_) + "\n"
        for key, measure in (("cc", "C_c вены"), ("vmax", "v0/max v̄x"), ("zeta", "ζ_M"),
                             ("centre", "v/v0 при x/D = 0,5")):
            layer = "0" if diffusion else "0.01"
            seqs = []
            for nu in sorted({k[6] for k in found}, key=float):
                at = f", ν = {nu.replace('.', ',')}" if diffusion else ""
                seqs += [(f"dt при h = 0,005{at}", [("0.005", dt, "0.01", layer, "0.02", "U·dt/2", nu)
                                                    for dt in ("0.0025", "0.005", "0.01")], [0.0025, 0.005, 0.01]),
                         (f"dt от 0,00125 при h = 0,005{at}", [("0.005", dt, "0.01", layer, "0.02", "U·dt/2", nu)
                                                              for dt in ("0.00125", "0.0025", "0.005")],
                          [0.00125, 0.0025, 0.005]),
                         (f"h при dt = 0,005{at}", [(h, "0.005", "0.01", layer, "0.02", "U·dt/2", nu)
                                                    for h in ("0.0025", "0.005", "0.01")], [0.0025, 0.005, 0.01]),
                         (f"dt от 0,00125 при h = 0,005, кольцо на h/2{at}",
                          [("0.005", dt, "0.01", layer, "0.02", "h/2", nu) for dt in ("0.00125", "0.0025", "0.005")],
                          [0.00125, 0.0025, 0.005]),
                         (f"h и dt вместе (dt = h/2 с/м){at}",
                          [(h, dt, "0.01", layer, "0.02", "U·dt/2", nu)
                           for h, dt in (("0.0025", "0.00125"), ("0.005", "0.0025"), ("0.01", "0.005"))],
                          [0.0025, 0.005, 0.01]),
                         (f"h и dt вместе (dt = h/2 с/м), кольцо на h/2{at}",
                          [(h, dt, "0.01", layer, "0.02", "h/2", nu)
                           for h, dt in (("0.0025", "0.00125"), ("0.005", "0.0025"), ("0.01", "0.005"))],
                          [0.0025, 0.005, 0.01]),
                         (f"h при dt = 0,005, кольцо на h/2{at}", [(h, "0.005", "0.01", layer, "0.02", "h/2", nu)
                                                                   for h in ("0.0025", "0.005", "0.01")],
                          [0.0025, 0.005, 0.01])]
            for refinement, keys, steps in seqs:
                if not all(k in found and found[k].get(key) is not None for k in keys):
                    continue
                phi = [found[k][key] for k in keys]
                gci.append([what.split(" (")[0], refinement, measure] + [comma(v) for v in phi] + [celik(steps, phi)])
    text += "Convergence (Celik et al.'s three grids, fine to coarse; d_p = 0,01 m, "
    text += "no layer" if diffusion else "layer 0,01 m"
    text += ", W = 0,02 m, the new ring at U·dt/2 unless said):\n\n"
    text += table(["вход", "уточнение", "величина", "φ1 (мелкий)", "φ2", "φ3 (крупный)", "итог"], gci)
    return text


def main():
    if sys.argv[1] == "--layer":  # the wall layer's section alone, for a partial update
        print(layer_tables(sys.argv[2]))
        return
    if sys.argv[1] == "--outer":  # the one-sided Kutta flux's section alone
        print(outer_tables(sys.argv[2]))
        return
    if sys.argv[1] == "--diffusion":  # the diffusive velocity's section alone
        print(outer_tables(sys.argv[2], "diff"))
        return
    directory, output = sys.argv[1], sys.argv[2]
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "validation_text.md"),
              encoding="utf-8") as f:
        template = f.read()
    re = {}
    for name in ("reentrant", "candidates", "flush", "hood"):
        re.update(rows(directory, name))

    dt_labels = [("base_dt0.01", "шаг 0,01"), ("rep_dt0.01a", "шаг 0,01 + 1e-10 (реплика)"),
                 ("rep_dt0.01b", "шаг 0,01 − 1e-10 (реплика)"), ("base_dt0.005", "шаг 0,005"),
                 ("rep_dt0.005", "шаг 0,005 + 1e-10 (реплика)"), ("base_dt0.0025", "шаг 0,0025"),
                 ("rep_dt0.0025a", "шаг 0,0025 + 1e-10 (реплика)"), ("base_dt0.00125", "шаг 0,00125")]
    h_labels = [("h0.02_dt0.005", "h = 0,02"), ("base_dt0.005", "h = 0,01"),
                ("rep_dt0.005", "h = 0,01 (реплика)"), ("h0.005_dt0.005", "h = 0,005"),
                ("h0.02_dt0.0025", "h = 0,02, шаг 0,0025"), ("base_dt0.0025", "h = 0,01, шаг 0,0025"),
                ("h0.005_dt0.0025", "h = 0,005, шаг 0,0025"),
                ("h0.02_dt0.00125", "h = 0,02, шаг 0,00125"), ("base_dt0.00125", "h = 0,01, шаг 0,00125")]
    d_labels = [("d0.005", "δ = 0,005"), ("base_dt0.005", "δ = 0,01"), ("rep_dt0.005", "δ = 0,01 (реплика)"),
                ("d0.02", "δ = 0,02")]
    cand_labels = []
    for key, what in (("base", "как есть"), ("conv", "новое кольцо на U·dt/2, а не на h/2"),
                      ("mps", "расстояние слияния ∝ dt"),
                      ("att", "присоединённые вихри через ядро δ = h/2 вместо отсечки"),
                      ("edge", "отрыв Γ = Γкромки (правило программы)")):
        for dt in ("0.01", "0.0025"):
            cand_labels.append((f"{key}_dt{dt}", f"{what}, шаг {dt.replace('.', ',')}"))
    cand_labels += [("every2_dt0.005", "кольцо раз в 2 шага (как при шаге 0,01), шаг 0,005"),
                    ("every4_dt0.0025", "кольцо раз в 4 шага (как при шаге 0,01), шаг 0,0025")]
    flush_labels = [(f"flush_dt{dt}", f"заподлицо, шаг {dt.replace('.', ',')}")
                    for dt in ("0.01", "0.005", "0.0025")]

    hood = []
    for label, what in (("hood_program_400", "модель программы, предел 400"),
                        ("hood_program_800", "модель программы, предел 800"),
                        ("hood_refined_4000", "уточнённая, предел 4 000"),
                        ("hood_refined_8000", "уточнённая, предел 8 000")):
        j = averages(directory, label)
        r = re.get(label, {})
        if j is None:
            continue
        line = [what]
        for xd in (0.25, 0.5, 1.0):
            c = centre(j, xd)
            line.append(comma(c["model"]) if c else "—")
        reached = j.get("free_vortex_limit", {}).get("reached_at")
        line += [comma(j["flux"]["ratio"]), r.get("free", "—"),
                 "нет" if reached is None else "при t = " + comma(reached, 2) + " с"]
        hood.append(line)
    hood_table = table(["расчёт", "v/v0 при x/D = 0,25", "0,5", "1", "расход", "вихрей в конце",
                        "предел достигнут"], hood)

    sink = []
    for label, _ in flush_labels:
        j = averages(directory, label)
        if j is None:
            continue
        for xd in (0.25, 0.5, 1.0, 1.5):
            c = centre(j, xd)
            if c is None:
                continue
            dev = (c["model"] / c["disc_sink"] - 1) * 100
            sink.append([label.replace("flush_dt", "шаг "), comma(xd, 2), comma(c["model"]),
                         comma(c["disc_sink"]), comma(dev, 1) + " %"])
    sink_table = table(["расчёт", "x/D", "v/v0 модели", "диск-сток", "отклонение"], sink)

    gci = ""
    for study, what in (("reentrant", "Входной патрубок Борда"), ("flush", "Вход с фланцем заподлицо")):
        path = os.path.join(directory, "study-" + study, "convergence.csv")
        if not os.path.exists(path):
            gci += f"{what}: исследование сходимости не выполнено.\n\n"
            continue
        with open(path, encoding="utf-8") as f:
            lines = [line.rstrip("\n").split(";") for line in f if line.strip()]
        gci += f"{what}:\n\n" + table(lines[0], lines[1:]) + "\n"
    text = template.replace("{{GCI}}", gci)
    d = directory
    for key, value in (("{{DT}}", cc_rows(re, dt_labels, d)), ("{{H}}", cc_rows(re, h_labels, d)),
                       ("{{DELTA}}", cc_rows(re, d_labels, d)), ("{{CANDIDATES}}", cc_rows(re, cand_labels, d)),
                       ("{{FLUSH}}", cc_rows(re, flush_labels, d)), ("{{HOOD}}", hood_table),
                       ("{{SINK}}", sink_table), ("{{WALL}}", wall_tables(d)), ("{{LAYER}}", layer_tables(d)), ("{{OUTER}}", outer_tables(d)),
                       ("{{DIFFUSION}}", outer_tables(d, "diff"))):
        text = text.replace(key, value)
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
