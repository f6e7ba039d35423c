#!/usr/bin/python3
"""Reads back the drawing of the HostDrawingRun case: the DXF must load and
audit clean in ezdxf with every dimension's points, direction, measurement
and text override; the SVG must draw each dimension with its text laid out
above and below the line."""
import sys
import xml.etree.ElementTree as ET

import ezdxf

# (first point, second point, angle, text override, measurement, SVG texts)
EXPECTED = [
    ((0, 0), (2000, 0), 0, "4@500\\X=<>", 2000, ["4@500", "=2000"]),
    ((2000, 0), (2300, 0), 0, "", 300, ["300"]),
    ((2300, 1800), (2300, 0), 90, "3@600\\P=<>", 1800, ["3@600", "=1800"]),
    ((0, 1800), (900, 1800), 0, "", 900, ["900"]),
    ((0, 0), (0, 1800), 90, "<>", 1800, ["1800"]),
]


def fail(msg):
    print(f"check_dxf: {msg}", file=sys.stderr)
    sys.exit(1)


def check_dxf(path):
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    if auditor.has_errors:
        fail(f"{path} does not audit clean: {[str(e) for e in auditor.errors]}")
    dims = list(doc.modelspace().query("DIMENSION"))
    if len(dims) != len(EXPECTED):
        fail(f"{len(dims)} DIMENSION entities, expected {len(EXPECTED)}")
    if len(doc.modelspace()) != len(EXPECTED):
        fail(f"the model space holds {len(doc.modelspace())} entities, expected only the dimensions")
    for i, (d, (p1, p2, angle, text, measurement, _)) in enumerate(zip(dims, EXPECTED), 1):
        got = (tuple(d.dxf.defpoint2)[:2], tuple(d.dxf.defpoint3)[:2], d.dxf.get("angle", 0.0),
               d.dxf.get("text", ""), round(d.get_measurement(), 4), d.dimtype)
        want = (p1, p2, angle, text, measurement, 0)
        if got != want:
            fail(f"dimension {i}: {got}, expected {want}")
        block = doc.blocks.get(d.dxf.geometry)
        if block is None:
            fail(f"dimension {i}: its block {d.dxf.geometry} is missing")
        kinds = sorted(e.dxftype() for e in block)
        if kinds.count("LINE") != 5 or "TEXT" not in kinds:
            fail(f"dimension {i}: block {d.dxf.geometry} holds {kinds}")


def check_svg(path):
    ns = {"svg": "http://www.w3.org/2000/svg"}
    root = ET.parse(path).getroot()
    groups = root.findall("svg:g[@class='dimension']", ns)
    if len(groups) != len(EXPECTED):
        fail(f"{len(groups)} dimensions in the SVG, expected {len(EXPECTED)}")
    for i, (g, want) in enumerate(zip(groups, EXPECTED), 1):
        texts = [t.text for t in g.findall("svg:text", ns)]
        if texts != want[5]:
            fail(f"SVG dimension {i} reads {texts}, expected {want[5]}")
        if len(g.findall("svg:line", ns)) != 5:
            fail(f"SVG dimension {i} should draw 2 extension lines, the dimension line and 2 ticks")
    # "\X": the first line above the dimension line, the second below it.
    first = groups[0]
    line_y = float(first.find("svg:line[@class='dimline']", ns).get("y1"))
    ys = [float(t.get("y")) for t in first.findall("svg:text", ns)]
    if not (ys[0] < line_y < ys[1]):
        fail(f"SVG dimension 1: texts at y {ys} do not sit above and below the line at {line_y}")


check_dxf(sys.argv[1])
check_svg(sys.argv[2])
print(f"check_dxf: {len(EXPECTED)} dimensions read back from {sys.argv[1]} and {sys.argv[2]}")
