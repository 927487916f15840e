"""The exported DXF read by another reader (ezdxf): the wall's vertices in
millimetres and its bulges, the section and the plane on their layers.
Exit 77 (skipped) when ezdxf is missing."""
import math
import sys

try:
    import ezdxf
except ImportError:
    print("ezdxf отсутствует: проверка пропущена")
    sys.exit(77)

doc = ezdxf.readfile(sys.argv[1])
msp = doc.modelspace()
walls = [e for e in msp if e.dxftype() in ("POLYLINE", "LWPOLYLINE") and e.dxf.layer == "WALL"]
assert len(walls) == 1, walls
points = [(v.dxf.location[0], v.dxf.location[1], v.dxf.bulge) for v in walls[0].vertices]
# bellmouth-r0.2.toml: the quarter circle (0; 210) -> (60; 150) mm turns left: bulge tan(90°/4).
expected = [(1200, 170, 0), (20, 170, 0), (20, 600, 0), (0, 600, 0),
            (0, 210, math.tan(math.pi / 8)), (60, 150, 0), (1200, 150, 0)]
assert len(points) == len(expected), points
for got, want in zip(points, expected):
    for g, w in zip(got, want):
        assert abs(g - w) < 1e-9, (got, want)
lines = {e.dxf.layer: (tuple(e.dxf.start)[:2], tuple(e.dxf.end)[:2]) for e in msp if e.dxftype() == "LINE"}
assert lines["SUCTION"] == ((1000, 0), (1000, 150)), lines
assert lines["PLANE"] == ((-4000, 0), (-4000, 500)), lines
print("1 passed, 0 failed")
