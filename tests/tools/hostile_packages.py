#!/usr/bin/env python3
"""Writes hostile packages byte by byte, one per folder, for the tools' tests.

    hostile_packages.py --stub STUB --out DIR

Each case is DIR/<case>/SETUP.EXE (and volume files where the case has them);
the tables in pkgtool_test.sh say what each must give. Records and entries
come from independent_writer.py; the streams of zeros are written here bit by
bit, so that a few hundred KB decode to hundreds of MB without Python.
"""

import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import independent_writer as iw  # noqa: E402


def zeros_stream(groups):
    """A stream of 1 + 258 * (4 + 8 * groups) zeros: a stored block holding one
    zero, then a final fixed-code block of length-258, distance-1 copies.
    Each copy is 13 bits; the block header and four copies end on a byte
    boundary, and every eight copies after them are the same 13 bytes."""
    def copies(w, n):
        for _ in range(n):
            w.bits(iw.reverse_bits(0xC5, 8), 8)   # length symbol 285: 258 bytes
            w.bits(0, 5)                          # distance code 0: distance 1
    head = iw.BitWriter()
    head.bits(7, 4)                               # stored block, not final
    head.align()
    head.bits(1, 16)
    head.bits(0, 8)
    head.bits(5 | 8, 4)                           # fixed codes, final
    copies(head, 4)
    group = iw.BitWriter()
    copies(group, 8)
    tail = iw.BitWriter()
    tail.bits(0, 7)                               # end of block
    return head.getvalue() + group.getvalue() * groups + tail.getvalue()


def zeros_size(groups):
    return 1 + 258 * (4 + 8 * groups)


def record(rtype, payload, flags=0):
    return struct.pack("<HHI", rtype, flags, len(payload)) + payload


def entry(name, offset, stored, size, checksum, **more):
    return dict(name=name, offset=offset, stored=stored, size=size, checksum=checksum,
                baseComponent=0, baseIndex=0, **more)


def setup_file(stub, entries, region, extra_records=(), volumes=None):
    """The stub, the records (a descriptor and the file list of one component)
    and the region; with volumes, the setup file keeps none of the region."""
    stub = bytearray(stub)
    marker = stub.find(b"QzvR")
    struct.pack_into("<I", stub, marker + 6, len(stub))
    desc = iw.descriptor(0, "Hostile", "Hostile", "C:\\Hostile", 0, None, None, None, None,
                         None, {6: ["Hostile Setup"] + ["m%d" % i for i in range(1, 32)]})
    files = struct.pack("<I", len(entries)) + b"".join(iw.file_entry(e) for e in entries)
    out = bytes(stub) + b"".join(extra_records)
    out += record(iw.REC_COMPONENT, desc) + record(iw.REC_FILE_LIST, files)
    here = b"" if volumes else region
    out += struct.pack("<HHII", iw.REC_END, 0, max(len(here), 4), len(here)) + here
    return out


def cases(stub):
    zeros = zeros_stream(508)                  # 1,049,545 bytes of zeros, checksum 0
    out = {}
    out["size16"] = setup_file(stub, [entry("zeros.bin", 0, len(zeros), 16, 0)], zeros)
    out["shared16"] = setup_file(
        stub, [entry("z%02d.bin" % i, 0, len(zeros), 16, 0) for i in range(16)], zeros)
    three = iw.stored_stream(b"abc")
    out["declared-huge"] = setup_file(
        stub, [entry("abc.txt", 0, len(three), 0xFFFFFFF0, iw.checksum(b"abc"))], three)

    base = b"B" * 100
    base_stream = iw.stored_stream(base)
    literals = bytes(range(128))
    commands = bytes([0x80 | 31] * 4)          # four runs of 32 literals
    patch = iw.data_item(commands, False) + iw.data_item(literals, False)
    out["patch-long"] = setup_file(stub, [
        entry("base.bin", 0, len(base_stream), len(base), iw.checksum(base)),
        entry("new.bin", len(base_stream), len(patch), 10, iw.checksum(literals[:10]),
              flags=iw.FEF_PATCH),
    ], base_stream + patch)

    groups = (512 << 20) // (258 * 8)
    bomb = zeros_stream(groups)
    out["bomb-record"] = setup_file(
        stub, [], b"", extra_records=[record(0x1235, struct.pack("<I", zeros_size(groups)) + bomb, 1)])

    ini = b"[w]\r\n"
    ini_stream = iw.stored_stream(ini)
    sum_ini = iw.checksum(ini)
    out["clash"] = setup_file(stub, [
        entry("{windows}\\w.ini", 0, len(ini_stream), len(ini), sum_ini),
        entry("w.ini", 0, len(ini_stream), len(ini), sum_ini, folder="windows"),
    ], ini_stream)
    other = b"[later]\r\n"
    other_stream = iw.stored_stream(other)
    out["same-folder"] = setup_file(stub, [
        entry("w.ini", 0, len(ini_stream), len(ini), sum_ini),
        entry("w.ini", len(ini_stream), len(other_stream), len(other), iw.checksum(other)),
    ], ini_stream + other_stream)

    out["control-names"] = setup_file(stub, [
        entry(b"esc\x1b[31mred.txt", 0, len(ini_stream), len(ini), sum_ini),
        entry(b"bell\x07.txt", 0, len(ini_stream), len(ini), sum_ini),
        entry(b"two\nlines.txt", 0, len(ini_stream), len(ini), sum_ini),
    ], ini_stream)
    out["long-names"] = setup_file(stub, [
        entry("n" * 300 + ".txt", 0, len(ini_stream), len(ini), sum_ini),
        entry("m" * 255, 0, len(ini_stream), len(ini), sum_ini),
    ], ini_stream)
    out["volume-only"] = (setup_file(stub, [entry("v.ini", 0, len(ini_stream), len(ini), sum_ini)],
                                     ini_stream, volumes=True),
                          [struct.pack("<I", len(ini_stream)) + ini_stream])
    out["plain"] = setup_file(stub, [entry("x.txt", 0, len(ini_stream), len(ini), sum_ini)],
                              ini_stream)
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--stub", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    with open(args.stub, "rb") as f:
        stub = f.read()
    # The zeros streams decode, here, to what they claim.
    small = zeros_stream(3)
    decoded, used = iw.decode_stream(small)
    assert decoded == bytes(zeros_size(3)) and used == len(small)
    for name, data in cases(stub).items():
        folder = os.path.join(args.out, name)
        os.makedirs(folder, exist_ok=True)
        data, volumes = data if isinstance(data, tuple) else (data, [])
        with open(os.path.join(folder, "SETUP.EXE"), "wb") as f:
            f.write(data)
        for k, v in enumerate(volumes, 1):
            with open(os.path.join(folder, "SETUP.D%02d" % k), "wb") as f:
                f.write(v)


if __name__ == "__main__":
    main()
