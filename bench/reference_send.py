#!/usr/bin/env python3
"""The order file written by a plain script: the reference velmoran-send is
measured against. Reads ORDER.json, writes EXPORT_DIR/velmoran.txt in CP1252
with the same bytes as the plug-in for orders of part numbers, quantities,
mission numbers and remarks."""
import json, os, sys

STRIPPED = str.maketrans("", "", " -./\\,")

def record(pos):
    part = pos["partNo"].replace("\r", " ").replace("\n", " ").translate(STRIPPED)
    mission = pos.get("missionNo") or 0
    tail = "%06d" % mission if mission > 0 else pos.get("remark", "").replace("\r", " ").replace("\n", " ")
    return "ORDDTL%-15.15s%07d %s\r\n\n" % (part, pos["quantity"], tail)

def main(order_file, export_dir):
    with open(order_file, encoding="utf-8") as f:
        order = json.load(f)["order"]
    positions = order["orderPos"][: order.get("lines", len(order["orderPos"]))]
    path = os.path.join(export_dir, "velmoran.txt")
    with open(path, "wb") as out:
        out.write("".join(map(record, positions)).encode("cp1252"))
    print("Die Bestelldaten befinden sich in der Datei " + path)

if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
