#!/usr/bin/env python3
"""Writes a complete setup package without any of the project's C++ code.

    independent_writer.py --stub STUB --out DIR/SETUP.EXE --expected DIR/expected
                          [--manifest DIR/manifest.json] [--hostile]

The package is built from the description in build_package() below: three
components, compressed and plain records, an unknown record and a repeated
global record, file entries with version blocks, file times, every folder
kind, a source-placed entry, the uninstaller, a patch entry whose command and
literal streams are written here by hand, data shared between components,
INI/registry/file-patch lists, and a file-data region split over the setup
file and three volume files (one file's data starts exactly at the start of
volume 1, one data item's header straddles volumes 1 and 2).

Compressed streams come from Python's zlib (raw deflate, wbits=-15) and are
transcoded bit by bit into the package's own stream format: a 4-bit block
header (type 5 fixed, 6 dynamic, 7 stored; bit 3 final), stored blocks with a
16-bit length only, and the code-length code lengths sent in the order
18, 17, 16, 0, 1, ..., 15. A stored-only stream is also written directly. Every
stream is decoded again by a separate decoder of the package format in this
file before it is used, so the package is known to be right without our C++.

The expected result of `pkgtool extract` (all components, DIR/<n>/...) is
written under --expected, and --manifest gets a JSON description: for each
component the entry names in list order, each extracted file with its size,
SHA-256 and (when the entry has file times) its modification time, texts that
`pkgtool dump` must show, and the byte layout (record boundaries, region start,
volume names) that the damage tests use.

With --hostile the package's first component holds an entry whose name leaves
the destination folder; extract must refuse it and write nothing outside.
"""

import argparse
import hashlib
import json
import os
import random
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Bits

class BitWriter:
    """Bits packed from the least significant bit of each byte."""

    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def bits(self, value, count):
        assert 0 <= value < (1 << count) or count == 0
        self.acc |= value << self.n
        self.n += count
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def align(self):
        if self.n:
            self.out.append(self.acc & 0xFF)
            self.acc = 0
            self.n = 0

    def getvalue(self):
        self.align()
        return bytes(self.out)


class BitReader:
    def __init__(self, data):
        self.data = data
        self.pos = 0  # in bits

    def bits(self, count):
        value = 0
        for i in range(count):
            byte = self.pos >> 3
            if byte >= len(self.data):
                raise ValueError("stream ends early")
            value |= ((self.data[byte] >> (self.pos & 7)) & 1) << i
            self.pos += 1
        return value

    def peek(self, count):
        """The next `count` bits, zeros past the end."""
        byte = self.pos >> 3
        shift = self.pos & 7
        chunk = int.from_bytes(self.data[byte:byte + 4].ljust(4, b"\0"), "little") >> shift
        return chunk & ((1 << count) - 1)

    def skip(self, count):
        self.pos += count
        if self.pos > len(self.data) * 8:
            raise ValueError("stream ends early")

    def align(self):
        self.pos = (self.pos + 7) & ~7


def reverse_bits(code, length):
    r = 0
    for _ in range(length):
        r = (r << 1) | (code & 1)
        code >>= 1
    return r


class Huffman:
    """Canonical code from lengths, decoded through a full table of the
    longest code's width (codes arrive first bit first)."""

    def __init__(self, lengths):
        self.max = max(lengths) if lengths else 0
        if self.max == 0:
            self.table = None
            return
        counts = [0] * (self.max + 1)
        for n in lengths:
            if n:
                counts[n] += 1
        next_code = [0] * (self.max + 1)
        code = 0
        for bits in range(1, self.max + 1):
            code = (code + (counts[bits - 1] if bits > 1 else 0)) << 1
            next_code[bits] = code
        size = 1 << self.max
        self.table = [None] * size
        for symbol, n in enumerate(lengths):
            if not n:
                continue
            c = next_code[n]
            next_code[n] += 1
            if c >= (1 << n):
                raise ValueError("over-subscribed code")
            r = reverse_bits(c, n)
            for i in range(r, size, 1 << n):
                self.table[i] = (symbol, n)

    def decode(self, reader):
        if self.table is None:
            raise ValueError("symbol from an empty code")
        entry = self.table[reader.peek(self.max)]
        if entry is None:
            raise ValueError("invalid code")
        reader.skip(entry[1])
        return entry[0]


LENGTH_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59,
               67, 83, 99, 115, 131, 163, 195, 227, 258]
LENGTH_EXTRA = [0] * 8 + [1] * 4 + [2] * 4 + [3] * 4 + [4] * 4 + [5] * 4 + [0]
DIST_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769,
             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577]
DIST_EXTRA = [0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10,
              11, 11, 12, 12, 13, 13]
RFC_ORDER = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]
OUR_ORDER = [18, 17, 16] + list(range(16))
FIXED_LIT = [8] * 144 + [9] * 112 + [7] * 24 + [8] * 8
FIXED_DIST = [5] * 30


def read_code_lengths(reader, cl_code, total):
    lengths = []
    previous = 0
    while len(lengths) < total:
        sym = cl_code.decode(reader)
        if sym < 16:
            lengths.append(sym)
            previous = sym
        elif sym == 16:
            lengths += [previous] * (3 + reader.bits(2))
        elif sym == 17:
            lengths += [0] * (3 + reader.bits(3))
            previous = 0
        else:
            lengths += [0] * (11 + reader.bits(7))
            previous = 0
    if len(lengths) != total:
        raise ValueError("code-length repeat runs past the end")
    return lengths


def decode_symbols(reader, lit, dist, out):
    """Decodes one block's data; returns when the end-of-block symbol is read."""
    while True:
        sym = lit.decode(reader)
        if sym < 256:
            out.append(sym)
        elif sym == 256:
            return
        else:
            if sym > 285:
                raise ValueError("bad length symbol")
            length = LENGTH_BASE[sym - 257] + reader.bits(LENGTH_EXTRA[sym - 257])
            d = dist.decode(reader)
            if d > 29:
                raise ValueError("bad distance symbol")
            distance = DIST_BASE[d] + reader.bits(DIST_EXTRA[d])
            for _ in range(length):
                # Before the first byte the window holds zeros.
                out.append(out[-distance] if distance <= len(out) else 0)


# ---------------------------------------------------------------------------
# Transcoding RFC 1951 into the package's format

def transcode(raw, census=None):
    """Rewrites a raw deflate stream (zlib, wbits=-15) into the package format.
    Block data is copied bit for bit; only headers change."""
    r = BitReader(raw)
    w = BitWriter()
    while True:
        final = r.bits(1)
        btype = r.bits(2)
        if btype == 0:
            r.align()
            length = r.bits(16)
            nlength = r.bits(16)
            assert length ^ nlength == 0xFFFF
            w.bits(7 | final << 3, 4)
            w.align()
            w.bits(length, 16)
            for _ in range(length):
                w.bits(r.bits(8), 8)
            kind = "stored"
        elif btype == 1:
            w.bits(5 | final << 3, 4)
            start = r.pos
            decode_symbols(r, Huffman(FIXED_LIT), Huffman(FIXED_DIST), bytearray())
            copy_bits(raw, start, r.pos, w)
            kind = "fixed"
        elif btype == 2:
            hlit = r.bits(5)
            hdist = r.bits(5)
            hclen = r.bits(4)
            cl = [0] * 19
            for i in range(hclen + 4):
                cl[RFC_ORDER[i]] = r.bits(3)
            count = 19
            while count > 4 and cl[OUR_ORDER[count - 1]] == 0:
                count -= 1
            w.bits(6 | final << 3, 4)
            w.bits(hlit, 5)
            w.bits(hdist, 5)
            w.bits(count - 4, 4)
            for i in range(count):
                w.bits(cl[OUR_ORDER[i]], 3)
            start = r.pos
            lengths = read_code_lengths(r, Huffman(cl), hlit + 257 + hdist + 1)
            lit = Huffman(lengths[:hlit + 257])
            dist = Huffman(lengths[hlit + 257:])
            decode_symbols(r, lit, dist, bytearray())
            copy_bits(raw, start, r.pos, w)
            kind = "dynamic"
        else:
            raise ValueError("reserved block type in zlib output")
        if census is not None:
            census[kind] = census.get(kind, 0) + 1
            if kind == "stored" and length == 0:
                census["empty-stored"] = census.get("empty-stored", 0) + 1
        if final:
            break
    return w.getvalue()


def copy_bits(data, start, end, w):
    r = BitReader(data)
    r.pos = start
    while r.pos < end:
        n = min(24, end - r.pos)
        w.bits(r.peek(n), n)
        r.pos += n


def decode_stream(data):
    """Decodes a stream of the package format; returns (bytes, bytes used)."""
    r = BitReader(data)
    out = bytearray()
    while True:
        header = r.bits(4)
        btype, final = header & 7, header >> 3
        if btype == 7:
            r.align()
            length = r.bits(16)
            for _ in range(length):
                out.append(r.bits(8))
        elif btype == 5:
            decode_symbols(r, Huffman(FIXED_LIT), Huffman(FIXED_DIST), out)
        elif btype == 6:
            hlit = r.bits(5)
            hdist = r.bits(5)
            hclen = r.bits(4)
            if hlit + 257 > 286 or hdist + 1 > 30:
                raise ValueError("HLIT or HDIST too large")
            cl = [0] * 19
            for i in range(hclen + 4):
                cl[OUR_ORDER[i]] = r.bits(3)
            lengths = read_code_lengths(r, Huffman(cl), hlit + 257 + hdist + 1)
            decode_symbols(r, Huffman(lengths[:hlit + 257]), Huffman(lengths[hlit + 257:]), out)
        else:
            raise ValueError("invalid block type %d" % btype)
        if final:
            return bytes(out), (r.pos + 7) // 8


def checked(stream, original):
    decoded, used = decode_stream(stream)
    if decoded != original or used != len(stream):
        raise AssertionError("transcoded stream does not decode to its input")
    return stream


def deflate(data, level=9, strategy=zlib.Z_DEFAULT_STRATEGY, census=None, flush_at=None):
    """A package-format stream of `data` made from zlib's raw deflate output.
    With flush_at, zlib is flushed (Z_SYNC_FLUSH) at those offsets, which ends
    the block there and adds an empty stored block."""
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    raw = b""
    at = 0
    for cut in (flush_at or []):
        raw += c.compress(data[at:cut]) + c.flush(zlib.Z_SYNC_FLUSH)
        at = cut
    raw += c.compress(data[at:]) + c.flush()
    assert zlib.decompress(raw, -15) == data
    return checked(transcode(raw, census), data)


def stored_stream(data, block=65535, census=None):
    """Stored blocks written directly, the last one empty and final."""
    w = BitWriter()
    for at in range(0, len(data), block):
        piece = data[at:at + block]
        w.bits(7, 4)
        w.align()
        w.bits(len(piece), 16)
        for b in piece:
            w.bits(b, 8)
        if census is not None:
            census["stored"] = census.get("stored", 0) + 1
    w.bits(7 | 8, 4)
    w.align()
    w.bits(0, 16)
    if census is not None:
        census["empty-stored"] = census.get("empty-stored", 0) + 1
    return checked(w.getvalue(), data)


# ---------------------------------------------------------------------------
# Package structures

REC_SETTINGS, REC_TITLE, REC_DIALOGS, REC_FILE_LIST = 0x1234, 0x1237, 0x1239, 0x123A
REC_UNKNOWN, REC_TITLE_FONT, REC_COMPONENT, REC_UNINSTALLER = 0x1238, 0x123D, 0x123E, 0x123F
REC_INI, REC_REGISTRY, REC_FILE_PATCHES, REC_END = 0x1240, 0x1241, 0x1242, 0x7F7F

FEF_UNINSTALLER, FEF_CHECK_VERSION, FEF_CHECK_LANGUAGE, FEF_FILE_TIMES, FEF_PATCH = 1, 2, 4, 8, 16
FOLDERS = {"install": 0, "windows": 1, "system": 2, "fonts": 3}
PLACE_KEEP, PLACE_UNINSTALL, PLACE_SOURCE = 0, 1, 2


def checksum(data):
    a = 0
    whole = len(data) // 4 * 4
    for (w,) in struct.iter_unpack("<I", data[:whole]):
        a = (((a << 1) | (a >> 31)) + w) & 0xFFFFFFFF
    for b in data[whole:]:
        a = (((a << 1) | (a >> 31)) + b) & 0xFFFFFFFF
    return a


def cstr(text):
    if isinstance(text, str):
        text = text.encode("cp1252")
    assert b"\0" not in text
    return text + b"\0"


def filetime(unix_seconds, ticks=0):
    return (unix_seconds + 11644473600) * 10_000_000 + ticks


def string_group(texts):
    return struct.pack("<H", len(texts)) + b"".join(cstr(t) for t in texts)


def descriptor(options, display, choice, folder, root, reg_key, reg_value, ini_file,
               ini_section, ini_key, groups):
    """groups: dict group number -> list of texts; missing groups are absent."""
    fixed = bytearray(84)
    area = bytearray()

    def place(text):
        if text is None:
            return 0
        offset = 84 + len(area)
        area.extend(text if isinstance(text, bytes) else cstr(text))
        return offset

    struct.pack_into("<HH", fixed, 0, options, 0x5A5A)
    offsets = [place(display), place(choice), place(folder)]
    struct.pack_into("<III", fixed, 4, *offsets)
    struct.pack_into("<I", fixed, 16, root)
    struct.pack_into("<IIIII", fixed, 20, place(reg_key), place(reg_value), place(ini_file),
                     place(ini_section), place(ini_key))
    for g in range(11):
        off = place(string_group(groups[g])) if g in groups else 0
        struct.pack_into("<I", fixed, 40 + 4 * g, off)
    return bytes(fixed + area)


def file_entry(f):
    flags = f.get("flags", 0)
    body = struct.pack("<HHIIIIBBBBBBBB", 0, f.get("icon", 0), f["offset"], f["stored"],
                       f["size"], f["checksum"], flags, FOLDERS[f.get("folder", "install")],
                       f.get("role", 0), f.get("shared", 0), f.get("placement", PLACE_KEEP),
                       f.get("special", 0), f["baseComponent"], f["baseIndex"])
    if flags & (FEF_CHECK_VERSION | FEF_CHECK_LANGUAGE):
        body += struct.pack("<IIIII", *f["version"])
    if flags & FEF_FILE_TIMES:
        body += struct.pack("<QQQ", *f["times"])
    for s in (f["name"], *f.get("strings", ["", "", "", "", ""])):
        body += cstr(s)
    return struct.pack("<H", len(body) + 2) + body


def ini_list(entries):
    out = struct.pack("<H", len(entries))
    for flags, file, section, key, value in entries:
        out += bytes([flags]) + cstr(file) + cstr(section) + cstr(key) + cstr(value)
    return out


def registry_list(entries):
    out = struct.pack("<H", len(entries))
    for root, flags, key, name, data in entries:
        out += struct.pack("<IB", root, flags) + cstr(key) + cstr(name) + cstr(data)
    return out


def file_patch_list(entries):
    out = struct.pack("<H", len(entries))
    for offset, file, text, pattern in entries:
        out += struct.pack("<iIIB", offset, len(pattern), 0xDEADBEEF, 0xEE)
        out += cstr(file) + cstr(text) + pattern
    return out


def data_item(data, compress, wide_size=False, wide_packed=False, census=None):
    flags = (1 if compress else 0) | (2 if wide_size else 0) | (4 if wide_packed else 0)
    out = bytes([flags]) + struct.pack("<I" if wide_size else "<H", len(data))
    if not data:
        return out
    if compress:
        stream = deflate(data, 9, census=census)
        out += struct.pack("<I" if wide_packed else "<H", len(stream)) + stream
    else:
        out += data
    return out


# ---------------------------------------------------------------------------
# The patch: commands written by hand, the target computed from them

def encode_distance(d):
    if -32 <= d <= 31:
        return bytes([0x80 | (d & 0x3F)])
    if -16416 <= d <= 16415:
        v = d - 32 if d >= 0 else d + 32
        v &= 0x7FFF
        return bytes([v >> 8, v & 0xFF])
    v = d - 16416 if d >= 0 else d + 16416
    assert -(1 << 21) <= v < (1 << 21)
    v &= 0x3FFFFF
    return bytes([0xC0 | (v >> 16), (v >> 8) & 0xFF, v & 0xFF])


def build_patch(base, rng):
    """Returns (commands, literals, target). Each step is
    ("lit", n) | ("litcopy", n, length, d) | ("copy", length, d) | ("long", L, d)."""
    steps = [
        ("lit", 5),                 # 0x84
        ("copy", 100, 0),           # one-byte distance 0
        ("litcopy", 2, 33, 10),     # 0xDF: 2 literals, 33 from the base
        ("copy", 128, -20),         # 0x7F, one-byte negative
        ("long", 0, 32),            # 0x00 L=0: 129 bytes, two-byte +32 (smallest)
        ("copy", 2, -33),           # 0x01, two-byte -33 (largest negative)
        ("litcopy", 1, 2, 31),      # 0xA0, one-byte +31
        ("copy", 40, -32),          # one-byte -32
        ("copy", 64, 16415),        # two-byte largest positive
        ("copy", 50, -16416),       # two-byte smallest negative
        ("litcopy", 3, 7, 16416),   # 0xE5, three-byte smallest positive
        ("lit", 32),                # 0x9F
        ("copy", 90, -16417),       # three-byte largest negative
        ("long", 65535, 1000),      # 65664 bytes (more than the 64 KiB copy buffer)
        ("lit", 1),                 # 0x80
        ("copy", 3, -40000),        # three-byte, far back
        ("long", 300, 1234),
        ("litcopy", 2, 17, -5),
        ("lit", 17),
    ]
    commands = bytearray()
    literals = bytearray()
    out = bytearray()
    pos = 0

    def from_base(length, d):
        nonlocal pos
        start = pos + d
        assert 0 <= start and start + length <= len(base), (start, length)
        out.extend(base[start:start + length])
        pos = start + length
        commands.extend(encode_distance(d))

    def lit(n):
        chunk = bytes(rng.randrange(256) for _ in range(n))
        literals.extend(chunk)
        out.extend(chunk)

    for step in steps:
        if step[0] == "lit":
            n = step[1]
            assert 1 <= n <= 32
            commands.append(0x80 | (n - 1))
            lit(n)
        elif step[0] == "litcopy":
            _, n, length, d = step
            assert 1 <= n <= 3 and 2 <= length <= 33
            commands.append(0x80 | (n << 5) | (length - 2))
            lit(n)
            from_base(length, d)
        elif step[0] == "copy":
            _, length, d = step
            assert 2 <= length <= 128
            commands.append(length - 1)
            from_base(length, d)
        else:
            _, L, d = step
            commands.append(0)
            commands.extend(struct.pack("<H", L))
            from_base(L + 129, d)
    return bytes(commands), bytes(literals), bytes(out)


# ---------------------------------------------------------------------------
# Contents

def text_block(rng, size, words=None):
    words = words or ("setup archive volume stream window literal distance header "
                      "component folder registry install uninstall shortcut patch "
                      "checksum record payload region decoder table").split()
    out = []
    n = 0
    while n < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randrange(3, 14))) + "\n"
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


def semi_binary(rng, size):
    """Program-like bytes: repeated structures with noise."""
    out = bytearray()
    table = [bytes(rng.randrange(256) for _ in range(rng.randrange(4, 40))) for _ in range(64)]
    while len(out) < size:
        if rng.random() < 0.3:
            out.extend(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 12))))
        else:
            out.extend(rng.choice(table))
    return bytes(out[:size])


def build_package(stub, hostile):
    rng = random.Random(20240611)
    census = {}

    readme = text_block(rng, 12000)
    tool = semi_binary(rng, 90000)
    random_bin = bytes(rng.randrange(256) for _ in range(20000))
    big_stored = text_block(rng, 70000)
    small = b"Hello from the independent writer.\r\nSmall files get fixed codes.\r\n"
    fixed_dat = text_block(rng, 9000)
    mixed = bytes(rng.randrange(256) for _ in range(18000)) + text_block(rng, 30000) + b"\0" * 3000
    # A repeat 32768 bytes back, a long run and a file just over the window.
    head = bytes(rng.randrange(256) for _ in range(2000))
    window = head + text_block(rng, 30000) + head + b"Z" * 1000
    alpha_ini = b"[Alpha]\r\nPath=C:\\Alpha\r\nMarker=\r\n"
    sys_dll = semi_binary(rng, 6000)
    font = semi_binary(rng, 3000)
    lang_dll = semi_binary(rng, 2500)
    uninstaller_image = b"MZ" + semi_binary(rng, 3998)
    uninstaller_data = struct.pack("<HHI", REC_END, 0, 0)
    notes = text_block(rng, 15000)

    streams = {}
    streams["readme"] = deflate(readme, 9, census=census)
    streams["tool"] = deflate(tool, 1, census=census)
    streams["random"] = deflate(random_bin, 0, census=census)
    streams["big_stored"] = stored_stream(big_stored, census=census)
    streams["small"] = deflate(small, 9, census=census)
    streams["fixed"] = deflate(fixed_dat, 6, zlib.Z_FIXED, census=census)
    streams["empty"] = deflate(b"", 9, census=census)
    streams["mixed"] = deflate(mixed, 6, census=census, flush_at=[9000, 40000])
    streams["window"] = deflate(window, 9, census=census)
    streams["ini"] = deflate(alpha_ini, 9, census=census)
    streams["sys"] = deflate(sys_dll, 5, census=census)
    streams["font"] = deflate(font, 9, census=census)
    streams["lang"] = deflate(lang_dll, 3, census=census)
    streams["uninst"] = deflate(uninstaller_data, 9, census=census)
    streams["notes"] = deflate(notes, 9, census=census)

    commands, literals, tool_v2 = build_patch(tool, rng)
    patch_data = (data_item(commands, True, wide_packed=True, census=census) +
                  data_item(literals, False, wide_size=True))

    t_created = filetime(915148800)                      # 1999-01-01
    t_accessed = filetime(946684800)                     # 2000-01-01
    t_written = filetime(1057667696, 1234567)            # 2003-07-08 12:34:56.1234567
    t_patch = filetime(1262304000, 5)                    # 2010-01-01

    # Region layout, in this order.
    region = bytearray()
    where = {}

    def put(key, data):
        where[key] = (len(region), len(data))
        region.extend(data)

    for key in ("readme", "tool", "random", "big_stored", "small", "fixed"):
        put(key, streams[key])
    volume1_start = len(region)          # "empty" starts exactly at volume 1
    for key in ("empty", "mixed", "window", "ini", "sys", "font", "lang", "uninst"):
        put(key, streams[key])
    put("patch", patch_data)
    volume2_start = where["patch"][0] + 2    # inside the command item's size field
    put("notes", streams["notes"])
    volume3_start = where["notes"][0] + where["notes"][1] // 2   # in the middle of a stream

    def entry(name, key, contents, **kw):
        offset, stored = where[key] if key else (0, 0)
        e = dict(name=name, offset=offset, stored=stored, size=len(contents),
                 checksum=checksum(contents), baseComponent=kw.pop("bc", 0),
                 baseIndex=kw.pop("bi", 0), contents=contents)
        e.update(kw)
        return e

    version = (0x00020001, 0x00030004, 0x00020001, 0x00000000, 1033)
    c0 = [
        entry("readme.txt", "readme", readme, role=1, placement=PLACE_UNINSTALL,
              flags=FEF_FILE_TIMES, times=(t_created, t_accessed, t_written),
              strings=["Alpha", "Read Me", "", "Alpha Read Me", ""]),
        entry("bin\\tool.exe", "tool", tool, bi=1, role=2, icon=1,
              flags=FEF_CHECK_VERSION | FEF_FILE_TIMES, version=version,
              times=(t_created, t_accessed, t_written),
              strings=["Alpha\\Tools", "Alpha Tool", "/quiet", "Alpha Tool", "/desk"]),
        entry("data\\random.bin", "random", random_bin, bi=2),
        entry("data\\big_stored.bin", "big_stored", big_stored, bi=3),
        entry("small.txt", "small", small, bi=4),
        entry("data\\fixed.dat", "fixed", fixed_dat, bi=5),
        entry("empty.txt", "empty", b"", bi=6),
        entry("data\\mixed.bin", "mixed", mixed, bi=7),
        entry("window.bin", "window", window, bi=8),
        entry("alpha.ini", "ini", alpha_ini, bi=9, folder="windows"),
        entry("sys\\alpha32.dll", "sys", sys_dll, bi=10, folder="system", shared=1,
              placement=PLACE_UNINSTALL, special=2),
        entry("alpha.ttf", "font", font, bi=11, folder="fonts", placement=PLACE_UNINSTALL),
        entry("manual.pdf", None, b"x" * 4321, bi=12, placement=PLACE_SOURCE,
              strings=["Alpha", "Manual", "", "", ""]),
        entry("uninst.exe", "uninst", uninstaller_image + uninstaller_data, bi=13,
              flags=FEF_UNINSTALLER),
        entry("lang\\lang.dll", "lang", lang_dll, bi=14, flags=FEF_CHECK_LANGUAGE,
              version=(0, 0, 0, 0, 0x0407)),
    ]
    c0[13]["checksum"] = 0   # the uninstaller carries no checksum
    c1 = [
        entry("bin\\tool.exe", "patch", tool_v2, bc=0, bi=1, flags=FEF_PATCH | FEF_FILE_TIMES,
              placement=PLACE_UNINSTALL, times=(t_patch, t_patch, t_patch)),
        # Same data as component 0's readme: stored once.
        entry("readme.txt", "readme", readme, bc=0, bi=0),
        entry("docs\\notes.txt", "notes", notes, bc=1, bi=2, folder="install"),
    ]
    c1[0]["stored"] = len(patch_data)
    if hostile:
        c0.append(entry("..\\escaped.txt", "small", small, bi=15))

    group6 = ["Alpha Suite Setup"] + ["message %d" % i for i in range(1, 31)] + \
             ["The package is damaged (\xe9)"]
    groups0 = {0: ["Welcome", "Welcome to Alpha.", "Line two\nwith a break", "", "tab\there"],
               6: group6, 7: ["< Back", "Next >", "Exit", "Start", "Restart", "OK", "Cancel"]}
    groups1 = {6: ["Alpha Update Setup"], 9: ["Finish", "Done \"quoted\""]}
    desc0 = descriptor(0x0002 | 0x0004, "Alpha Suite", "Full install", "#Program Files#\\Alpha",
                       2, "Software\\Alpha", "Path", None, None, None, groups0)
    desc1 = descriptor(0x0008, "Alpha Update", "Update", "#Program Files#\\Alpha", 7, None, None,
                       "#Windows#\\alpha.ini", "Alpha", "Path", groups1)
    desc2 = descriptor(0, None, "Nothing", None, 0, None, None, None, None, None, {})

    ini0 = ini_list([(0, "alpha.ini", "Alpha", "Installed", "#Date#"),
                     (1, "#Windows#\\win.ini", "Alpha", "Dir", "#InstallDir#")])
    reg0 = registry_list([(2, 0, "Software\\Alpha", "Version", "2.1"),
                          (1, 1, "Software\\Alpha", "", "#InstallDir#\\bin\\tool.exe"),
                          (9, 0, "Software\\Alpha\\Odd", "Root", "any other root")])
    patches0 = file_patch_list([(0, "alpha.ini", "[ALPHA]", b""),
                                (-1, "alpha.ini", "#InstallDir#", b"Marker=")])
    reg1 = registry_list([(2, 0, "Software\\Alpha", "Version", "2.2")])

    def list_payload(entries):
        return struct.pack("<I", len(entries)) + b"".join(file_entry(e) for e in entries)

    def record(rtype, payload, compress=False, flags=None):
        if compress:
            stream = deflate(payload, 9, census=census)
            body = struct.pack("<I", len(payload)) + stream
            return struct.pack("<HHI", rtype, 1 if flags is None else flags, len(body)) + body
        return struct.pack("<HHI", rtype, 0 if flags is None else flags, len(payload)) + payload

    dialogs = struct.pack("<10I", *[40 + 8 * i for i in range(10)]) + b"\x11" * 80
    title_font = struct.pack("<iiiii", -40, 0, 0, 0, 700) + bytes([1, 0, 0, 0, 0, 0, 0, 0]) + \
        b"Courier New".ljust(32, b"\0")
    records = [
        # Settings are read as 4 raw bytes whatever the flags say.
        record(REC_SETTINGS, struct.pack("<I", 0x11), flags=1),
        record(REC_TITLE, cstr("Provisional title")),
        record(REC_UNKNOWN, b"skipped by every reader" * 3),
        record(0x4444, b""),                          # no payload at all
        record(REC_TITLE, cstr("Alpha Suite \xa9 2003"), compress=True),  # replaces the first
        record(REC_TITLE_FONT, title_font),
        record(REC_DIALOGS, dialogs, compress=True),
        record(REC_UNINSTALLER, uninstaller_image, compress=True),
        record(REC_COMPONENT, desc0, compress=True),
        record(REC_FILE_LIST, list_payload(c0), compress=True),
        record(REC_INI, ini0),
        record(REC_REGISTRY, reg0, compress=True),
        record(REC_FILE_PATCHES, patches0),
        record(REC_COMPONENT, desc1),
        record(REC_FILE_LIST, list_payload(c1)),
        record(REC_REGISTRY, reg1, compress=True),
        record(REC_COMPONENT, desc2, compress=True),
    ]

    stub = bytearray(stub)
    marker = stub.find(b"QzvR")
    if marker < 0 or stub.find(b"QzvR", marker + 1) >= 0:
        raise SystemExit("the stub must hold exactly one patch block")
    struct.pack_into("<I", stub, marker + 6, len(stub))

    l0 = volume1_start
    setup = bytearray(stub)
    boundaries = [len(setup)]
    for r in records:
        setup += r
        boundaries.append(len(setup))
    end_header = len(setup)
    setup += struct.pack("<HHI", REC_END, 0, l0)
    region_start = len(setup)
    setup += struct.pack("<I", l0) + region[:l0]
    volumes = []
    for a, b in ((volume1_start, volume2_start), (volume2_start, volume3_start),
                 (volume3_start, len(region))):
        volumes.append(struct.pack("<I", b - a) + region[a:b])

    for kind in ("stored", "empty-stored", "fixed", "dynamic"):
        if not census.get(kind):
            raise AssertionError("no %s block in the package" % kind)

    return dict(setup=bytes(setup), volumes=volumes, components=[c0, c1, []],
                census=census, patch_commands=commands, layout=dict(
                    stub_size=len(stub), patch_block=marker, record_boundaries=boundaries,
                    end_header=end_header, region_start=region_start, region_length=l0,
                    region_total=len(region)))


def extract_path(folder, name):
    parts = name.split("\\")
    if folder == "system":
        parts = parts[-1:]
    prefix = {"install": [], "windows": ["{windows}"], "system": ["{system}"],
              "fonts": ["{fonts}"]}[folder]
    return "/".join(prefix + parts)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--stub", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--expected")
    ap.add_argument("--manifest")
    ap.add_argument("--hostile", action="store_true")
    args = ap.parse_args()

    with open(args.stub, "rb") as f:
        stub = f.read()
    pkg = build_package(stub, args.hostile)

    with open(args.out, "wb") as f:
        f.write(pkg["setup"])
    base, _ = os.path.splitext(args.out)
    volume_names = []
    for k, v in enumerate(pkg["volumes"], 1):
        name = "%s.D%02d" % (base, k)
        volume_names.append(name)
        with open(name, "wb") as f:
            f.write(v)

    manifest = {"components": {}, "list": {}, "layout": pkg["layout"], "census": pkg["census"],
                "volumes": volume_names}
    for c, entries in enumerate(pkg["components"]):
        files = {}
        manifest["list"][str(c)] = [e["name"] for e in entries]
        for e in entries:
            if e.get("placement") == PLACE_SOURCE or e["name"].startswith(".."):
                continue
            rel = extract_path(e.get("folder", "install"), e["name"])
            info = {"size": len(e["contents"]), "sha256": hashlib.sha256(e["contents"]).hexdigest()}
            if e.get("flags", 0) & FEF_FILE_TIMES:
                info["mtime_ns"] = (e["times"][2] - 116444736000000000) * 100
            if e.get("flags", 0) & FEF_UNINSTALLER:
                info["unchecked"] = True   # nothing in the package guards its bytes
            files[rel] = info
            if args.expected:
                path = os.path.join(args.expected, str(c), rel)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(e["contents"])
        manifest["components"][str(c)] = files
    manifest["dump"] = [
        'title: "Alpha Suite \xa9 2003"',
        'settings: 0x11',
        '(6,31) "The package is damaged (\xe9)"',
        '(0,2) "Line two\\nwith a break"',
        '(0,4) "tab\\there"',
        '(9,1) "Done \\"quoted\\""',
        '[Alpha] Installed="#Date#" in "alpha.ini"',
        '[Alpha] Dir="#InstallDir#" in "#Windows#\\\\win.ini" (only if missing)',
        'root 2 "Software\\\\Alpha" value "Version" = "2.1"',
        'root 1 "Software\\\\Alpha" value (default) = "#InstallDir#\\\\bin\\\\tool.exe" (keep existing)',
        'root 9 "Software\\\\Alpha\\\\Odd" value "Root" = "any other root"',
        '"alpha.ini" at 0: "[ALPHA]"',
        '"alpha.ini" at after "Marker=": "#InstallDir#"',
        'root 2 "Software\\\\Alpha" value "Version" = "2.2"',
        'displayName: "Alpha Update"',
        'folder INI: file "#Windows#\\\\alpha.ini" section "Alpha" key "Path"',
        'displayName: (none)',
        'uninstaller image: 4000 bytes',
    ]
    if args.manifest:
        with open(args.manifest, "w", encoding="utf-8") as f:
            json.dump(manifest, f, indent=1, ensure_ascii=False)
    sys.stdout.write("wrote %s (%d bytes) and %d volumes; blocks: %s\n" % (
        args.out, len(pkg["setup"]), len(pkg["volumes"]),
        ", ".join("%s %d" % kv for kv in sorted(pkg["census"].items()))))


if __name__ == "__main__":
    main()
