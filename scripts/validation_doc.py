#!/usr/bin/env python3
"""Writes docs/validation.md from the tables of scripts/validation.sh.

Usage: validation_doc.py RESULTS_DIR OUTPUT.md
RESULTS_DIR holds one TSV per case list (scripts/refined_research.sh) and,
per case, LABEL.json (the averages file of its run).
"""
import json
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


def main():
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
                       ("{{SINK}}", sink_table)):
        text = text.replace(key, value)
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
