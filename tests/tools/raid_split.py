#!/usr/bin/env python3
"""Cut a raw disk image into RAID-0 or RAID-5 member images.

Usage:
  raid_split.py --level 0|5 [--layout 1|2|3|4] --stripe S --members N
                [--offset O[,O,...]] [--privhead START] DISK OUTPREFIX

Writes OUTPREFIX0.img ... OUTPREFIX{N-1}.img.

All quantities are in 512-byte sectors; s = stripe, n = members.
A virtual (array) sector V lies in stripe unit K = V // s at w = V % s.

RAID-0:  member m = K % n, member sector M = (K // n) * s + w.

RAID-5 (n >= 3): row R = K // (n-1), data unit D = K % (n-1),
member sector M = R * s + w.  Parity member P and data member:
  layout 1 (right asymmetric): P = R % n;         data = D if D < P else D + 1
  layout 2 (left asymmetric):  P = n-1-(R % n);   data = D if D < P else D + 1
  layout 3 (left symmetric):   P = n-1-(R % n);   data = (P + 1 + D) % n
  layout 4 (right symmetric):  P = R % n;         data = (P + 1 + D) % n
The parity unit of a row is the XOR of the row's data units.

The disk is padded with zeros to a whole number of rows (a row is n units
for RAID-0 and n-1 data units for RAID-5), so every member holds
rows * s data sectors.

--offset puts O zero sectors in front of each member's data (one value for
all members, or a comma-separated value per member).

--privhead START writes into sector 6 of each member a dynamic-disk private
header: "PRIVHEAD" at byte 0, big-endian u64 START at byte 0x11B and
big-endian u64 member data size (rows * s) at byte 0x123; all other bytes
zero.  Every offset must then be greater than 6.
"""

import argparse
import os
import sys

SECTOR = 512
LAYOUT_NAMES = {
    1: "right asymmetric",
    2: "left asymmetric",
    3: "left symmetric",
    4: "right symmetric",
}
# Rows handled per read; keeps memory use near BATCH_BYTES.
BATCH_BYTES = 8 * 1024 * 1024


def raid5_row_members(row, n, layout):
    """Return (parity member, [member of data unit 0 .. n-2]) for a row."""
    if layout in (1, 4):
        parity = row % n
    else:
        parity = n - 1 - (row % n)
    if layout in (1, 2):
        data = [d if d < parity else d + 1 for d in range(n - 1)]
    else:
        data = [(parity + 1 + d) % n for d in range(n - 1)]
    return parity, data


def xor_units(units, unit_bytes):
    acc = 0
    for u in units:
        acc ^= int.from_bytes(u, "little")
    return acc.to_bytes(unit_bytes, "little")


def privhead_sector(start, data_sectors):
    sec = bytearray(SECTOR)
    sec[0:8] = b"PRIVHEAD"
    sec[0x11B:0x123] = start.to_bytes(8, "big")
    sec[0x123:0x12B] = data_sectors.to_bytes(8, "big")
    return bytes(sec)


def parse_args(argv):
    p = argparse.ArgumentParser(
        description="Cut a raw disk image into RAID-0/RAID-5 member images.")
    p.add_argument("--level", type=int, choices=(0, 5), required=True)
    p.add_argument("--layout", type=int, choices=(1, 2, 3, 4), default=None,
                   help="RAID-5 parity layout (default 3, left symmetric)")
    p.add_argument("--stripe", type=int, required=True,
                   help="stripe unit in 512-byte sectors")
    p.add_argument("--members", type=int, required=True)
    p.add_argument("--offset", default="0",
                   help="zero sectors before each member's data: O or O0,O1,...")
    p.add_argument("--privhead", type=int, default=None, metavar="START",
                   help="write a PRIVHEAD sector at member sector 6")
    p.add_argument("disk")
    p.add_argument("outprefix")
    a = p.parse_args(argv)

    if a.stripe < 1:
        p.error("--stripe must be at least 1")
    if a.level == 0 and a.members < 2:
        p.error("RAID-0 needs at least 2 members")
    if a.level == 5 and a.members < 3:
        p.error("RAID-5 needs at least 3 members")
    if a.level == 0 and a.layout is not None:
        p.error("--layout applies to RAID-5 only")
    if a.level == 5 and a.layout is None:
        a.layout = 3
    try:
        offs = [int(x) for x in a.offset.split(",")]
    except ValueError:
        p.error("--offset takes integers")
    if len(offs) == 1:
        offs = offs * a.members
    if len(offs) != a.members:
        p.error("--offset needs one value or one per member")
    if any(o < 0 for o in offs):
        p.error("--offset must not be negative")
    if a.privhead is not None:
        if a.privhead < 0:
            p.error("--privhead START must not be negative")
        if any(o <= 6 for o in offs):
            p.error("--privhead needs every offset > 6")
    a.offsets = offs
    return a


def split(a):
    n, s = a.members, a.stripe
    unit = s * SECTOR
    data_units_per_row = n if a.level == 0 else n - 1
    row_bytes = data_units_per_row * unit

    disk_bytes = os.path.getsize(a.disk)
    rows = -(-disk_bytes // row_bytes)  # ceil; zero-length disk -> 0 rows
    member_sectors = rows * s
    rows_per_batch = max(1, BATCH_BYTES // row_bytes)

    outs = [open(f"{a.outprefix}{m}.img", "wb") for m in range(n)]
    try:
        for m, f in enumerate(outs):
            head = bytearray(a.offsets[m] * SECTOR)
            if a.privhead is not None:
                head[6 * SECTOR:7 * SECTOR] = privhead_sector(
                    a.privhead, member_sectors)
            f.write(head)

        zero_unit = bytes(unit)
        with open(a.disk, "rb") as src:
            row = 0
            while row < rows:
                count = min(rows_per_batch, rows - row)
                buf = src.read(count * row_bytes)
                if len(buf) < count * row_bytes:
                    buf += bytes(count * row_bytes - len(buf))
                per_member = [[] for _ in range(n)]
                for r in range(count):
                    base = r * row_bytes
                    units = [buf[base + d * unit: base + (d + 1) * unit]
                             for d in range(data_units_per_row)]
                    if a.level == 0:
                        for m in range(n):
                            per_member[m].append(units[m])
                    else:
                        parity, data = raid5_row_members(row + r, n, a.layout)
                        if all(u == zero_unit for u in units):
                            par = zero_unit
                        else:
                            par = xor_units(units, unit)
                        per_member[parity].append(par)
                        for d, m in enumerate(data):
                            per_member[m].append(units[d])
                for m in range(n):
                    outs[m].write(b"".join(per_member[m]))
                row += count
    finally:
        for f in outs:
            f.close()

    desc = "RAID-0" if a.level == 0 else \
        f"RAID-5 layout {a.layout} ({LAYOUT_NAMES[a.layout]})"
    print(f"{desc}, {n} members, stripe {s} sectors: {rows} rows, "
          f"{member_sectors} data sectors per member", file=sys.stderr)


def main(argv=None):
    split(parse_args(sys.argv[1:] if argv is None else argv))
    return 0


if __name__ == "__main__":
    sys.exit(main())
