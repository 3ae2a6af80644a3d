#!/usr/bin/env python3
"""Writes a 2-D array of a NumPy .npz archive as an ESRI ASCII grid.

usage: npz_to_asc.py ARCHIVE.npz ARRAY OUT.asc CELLSIZE

Reads the .npy member without NumPy (little-endian integer or real arrays in
C order). The grid gets its lower-left corner at 0, 0 and a square cell of
CELLSIZE; the first row of the array is the first row of the grid.
"""
import ast
import struct
import sys
import zipfile

KINDS = {"i1": "b", "u1": "B", "i2": "h", "u2": "H", "i4": "i", "u4": "I", "i8": "q", "f4": "f", "f8": "d"}


def read_npy(data):
    if data[:6] != b"\x93NUMPY":
        raise SystemExit("not a .npy member")
    major = data[6]
    if major == 1:
        (hlen,) = struct.unpack("<H", data[8:10])
        start = 10
    else:
        (hlen,) = struct.unpack("<I", data[8:12])
        start = 12
    header = ast.literal_eval(data[start:start + hlen].decode("latin1"))
    descr, shape = header["descr"], header["shape"]
    if header["fortran_order"] or len(shape) != 2 or descr[0] not in "<|" or descr[1:] not in KINDS:
        raise SystemExit("unsupported array: %r" % (header,))
    rows, cols = shape
    code = KINDS[descr[1:]]
    body = data[start + hlen:]
    values = struct.unpack("<%d%s" % (rows * cols, code), body[:rows * cols * struct.calcsize(code)])
    return rows, cols, values


def main():
    if len(sys.argv) != 5:
        raise SystemExit(__doc__)
    archive, name, out, cell = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
    with zipfile.ZipFile(archive) as z:
        rows, cols, values = read_npy(z.read(name + ".npy"))
    with open(out, "w") as f:
        f.write("ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize %g\nNODATA_value -9999\n" % (cols, rows, cell))
        for i in range(rows):
            f.write(" ".join(str(v) for v in values[i * cols:(i + 1) * cols]) + "\n")
    print("%s: %d rows x %d columns" % (out, rows, cols))


if __name__ == "__main__":
    main()
