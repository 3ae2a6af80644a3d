#!/usr/bin/env python3
"""Tiles an ESRI ASCII grid to a larger one, every other tile mirrored.

usage: tile_asc.py IN.asc OUT.asc ROWS COLS

Tile (a, b) is the input flipped top to bottom when a is odd and left to
right when b is odd, so that neighbouring tiles meet along equal edges. The
output is cut to ROWS x COLS and keeps the input's cell size and no-data value.
"""
import sys


def main():
    if len(sys.argv) != 5:
        raise SystemExit(__doc__)
    src, out, rows, cols = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    header = {}
    grid = []
    with open(src) as f:
        for line in f:
            words = line.split()
            if not words:
                continue
            if not grid and words[0][0].isalpha():
                header[words[0].lower()] = words[1]
            else:
                grid.append(words)
    ni, nj = len(grid), len(grid[0])
    flipped = [row[::-1] for row in grid]
    with open(out, "w") as f:
        f.write("ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize %s\nNODATA_value %s\n"
                % (cols, rows, header.get("cellsize", "1"), header.get("nodata_value", "-9999")))
        for i in range(rows):
            a, r = divmod(i, ni)
            r = ni - 1 - r if a % 2 else r
            line = []
            for b in range((cols + nj - 1) // nj):
                line.extend(flipped[r] if b % 2 else grid[r])
            f.write(" ".join(line[:cols]) + "\n")
    print("%s: %d rows x %d columns from %d x %d" % (out, rows, cols, ni, nj))


if __name__ == "__main__":
    main()
