#!/usr/bin/python3
"""Reads the mean field back with VTK's own XML reader and compares it with
the averages JSON written by the same run: dimensions, origin, spacing and
every value of every point array. Usage: read_field.py FIELD.vti AVERAGES.json
Prints "ok NX NY ARRAYS" and exits 0, or names what differs and exits 1."""
import json
import sys

from vtkmodules.vtkIOXML import vtkXMLImageDataReader


def main(vti, averages):
    with open(averages, encoding="utf-8") as f:
        doc = json.load(f)
    for key in ("format", "version", "precision", "start_time", "end_time", "samples",
                "sample_every_steps", "steps", "steady", "monitors", "centreline", "flux",
                "vortex_zone", "grid"):
        if key not in doc:
            return "JSON: no key " + key
    if doc["format"] != "rinfet-mdv-averages" or doc["version"] != 1:
        return "JSON: format or version"
    grid = doc["grid"]
    nx, ny = grid["nx"], grid["ny"]

    reader = vtkXMLImageDataReader()
    reader.SetFileName(vti)
    reader.Update()
    image = reader.GetOutput()
    if image.GetDimensions() != (nx, ny, 1):
        return "dimensions %s, JSON %d x %d" % (image.GetDimensions(), nx, ny)
    if image.GetOrigin()[:2] != (grid["x0"], grid["y0"]) or image.GetSpacing()[:2] != (grid["dx"], grid["dy"]):
        return "origin %s spacing %s" % (image.GetOrigin(), image.GetSpacing())
    data = image.GetPointData()
    names = ["vx_mean", "vy_mean", "speed_mean", "vx_rms", "vy_rms", "speed_rms", "inside"]
    for name in names:
        array = data.GetArray(name)
        if array is None or array.GetNumberOfTuples() != nx * ny:
            return "array " + name + " missing or of the wrong length"
        for k in range(nx * ny):
            if array.GetValue(k) != grid[name][k]:
                return "%s[%d] = %r, JSON %r" % (name, k, array.GetValue(k), grid[name][k])
    velocity = data.GetArray("velocity_mean")
    if velocity is None or velocity.GetNumberOfComponents() != 3:
        return "velocity_mean missing"
    for k in range(nx * ny):
        if velocity.GetTuple3(k) != (grid["vx_mean"][k], grid["vy_mean"][k], 0.0):
            return "velocity_mean[%d] = %s" % (k, velocity.GetTuple3(k))
    tracers = doc.get("tracers")
    if tracers is not None and tracers["grid"] is not None:
        # The caught fraction at the tracer grid's source nodes, -1 elsewhere.
        t = tracers["grid"]
        capture = data.GetArray("capture_fraction")
        if capture is None or capture.GetNumberOfTuples() != nx * ny:
            return "capture_fraction missing or of the wrong length"
        k = round(t["dx"] / grid["dx"])
        want = [-1.0] * (nx * ny)
        for j in range(t["ny"]):
            for i in range(t["nx"]):
                s = t["source"][j * t["nx"] + i]
                if s >= 0 and tracers["sources"][s]["caught_fraction"] is not None:
                    want[j * k * nx + i * k] = tracers["sources"][s]["caught_fraction"]
        for n in range(nx * ny):
            if capture.GetValue(n) != want[n]:
                return "capture_fraction[%d] = %r, JSON %r" % (n, capture.GetValue(n), want[n])
    if data.GetScalars().GetName() != "speed_mean":
        return "active scalars " + data.GetScalars().GetName()
    print("ok", nx, ny, data.GetNumberOfArrays())
    return None


if __name__ == "__main__":
    problem = main(sys.argv[1], sys.argv[2])
    if problem:
        print(problem)
        sys.exit(1)
