#!/usr/bin/env python3
"""Checks for the tool tests, written without the project's C++ code.

    pkgcheck.py from-project PROJECT.json MANIFEST [--expected DIR]
        What `pkgtool extract` must produce from the package mkpkg builds of
        PROJECT (same manifest format as independent_writer.py), and the same
        as a folder tree under DIR/<component>/.
    pkgcheck.py tree MANIFEST DIR [--component N]
        DIR holds exactly the manifest's files (all components under DIR/<n>/,
        or component N straight under DIR), byte for byte, with the
        modification times the package gives.
    pkgcheck.py list MANIFEST LIST_OUTPUT
        `pkgtool list` shows every component with every entry, in order.
    pkgcheck.py dump MANIFEST DUMP_OUTPUT
        `pkgtool dump` shows every text the manifest names.
    pkgcheck.py make-files DIR
        Writes the source files of the test projects: text and random bytes
        of fixed sizes (0, 1, 4095, 65535, 65536, 65537 ... bytes), the same
        for every run.
    pkgcheck.py package MANIFEST DIR
        All of list, dump and tree at once on the saved results of one package
        (DIR/list.txt, DIR/dump.txt, DIR/all/, DIR/c<N>/).
    pkgcheck.py damage PKGDIR OUT [--manifest M] [--flips N]
        Writes damaged copies of a package for the damage tests (see damage()).
    pkgcheck.py layout SETUP
        Prints "stub_size patch_block end_header region_start region_length
        file_size" and then the record boundaries, one line each, found by
        walking the record headers.

Exit status 0 when the check passes, 1 with the differences on stderr.
"""

import argparse
import calendar
import hashlib
import json
import os
import re
import struct
import sys
import time

EMPTY_RECORD_STREAM = struct.pack("<HHI", 0x7F7F, 0, 0)


def fail(problems):
    for p in problems:
        sys.stderr.write("pkgcheck: %s\n" % p)
    return 1 if problems else 0


def extract_path(folder, name):
    parts = name.split("\\")
    if folder == "system":
        parts = parts[-1:]
    prefix = {"install": [], "windows": ["{windows}"], "system": ["{system}"],
              "fonts": ["{fonts}"]}[folder]
    return "/".join(prefix + parts)


def filetime_ns(value):
    """A project time (text or FILETIME number) as Unix nanoseconds."""
    if isinstance(value, int):
        return (value - 116444736000000000) * 100
    seconds = calendar.timegm(time.strptime(value, "%Y-%m-%dT%H:%M:%SZ"))
    return seconds * 1_000_000_000


def from_project(args):
    with open(args.project, encoding="utf-8") as f:
        project = json.load(f)
    base = os.path.dirname(os.path.abspath(args.project))

    def read(rel):
        with open(os.path.join(base, rel), "rb") as f:
            return f.read()

    image = read(project["uninstaller"]) if "uninstaller" in project else b""
    manifest = {"components": {}, "list": {}, "dump": []}
    for c, component in enumerate(project["components"]):
        files = {}
        names = []
        for f in component.get("files", []):
            name = f.get("name") or os.path.basename(f["source"])
            names.append(name)
            if f.get("placement") == "source":
                continue
            if f.get("uninstaller"):
                contents = image + (read(f["source"]) if "source" in f else EMPTY_RECORD_STREAM)
            else:
                contents = read(f["source"])
            info = {"size": len(contents), "sha256": hashlib.sha256(contents).hexdigest()}
            times = f.get("times")
            if times == "source":
                info["mtime_ns"] = int(os.stat(os.path.join(base, f["source"])).st_mtime) * 10**9
            elif isinstance(times, dict) and "lastWrite" in times:
                info["mtime_ns"] = filetime_ns(times["lastWrite"])
            if f.get("uninstaller"):
                info["unchecked"] = True
            rel = extract_path(f.get("folder", "install"), name)
            files[rel] = info
            if args.expected:
                path = os.path.join(args.expected, str(c), rel)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as out:
                    out.write(contents)
        manifest["components"][str(c)] = files
        manifest["list"][str(c)] = names
        if "displayName" in component:
            manifest["dump"].append('displayName: "%s"' % quoted(component["displayName"]))
        for e in component.get("ini", []):
            manifest["dump"].append('[%s] %s="%s" in "%s"' % (
                e["section"], e["key"], quoted(e["value"]), quoted(e["file"])))
        roots = {"HKCR": 0, "HKCU": 1, "HKLM": 2, "HKU": 3}
        for e in component.get("registry", []):
            root = e.get("root", 1)
            root = roots.get(root, root)
            value = '"%s"' % quoted(e["value"]) if e.get("value") else "(default)"
            manifest["dump"].append('root %d "%s" value %s = "%s"' % (
                root, quoted(e["key"]), value, quoted(e["data"])))
        for e in component.get("filePatches", []):
            where = "after \"%s\"" % quoted(e["after"]) if "after" in e else str(e["offset"])
            manifest["dump"].append('"%s" at %s: "%s"' % (quoted(e["file"]), where,
                                                          quoted(e["text"])))
    if "title" in project:
        manifest["dump"].append('title: "%s"' % quoted(project["title"]))
    for group, texts in project.get("strings", {}).items():
        items = texts.items() if isinstance(texts, dict) else enumerate(texts)
        for index, text in items:
            manifest["dump"].append('(%s,%s) "%s"' % (group, index, quoted(text)))
    with open(args.manifest, "w", encoding="utf-8") as f:
        json.dump(manifest, f, indent=1, ensure_ascii=False)
    return 0


def quoted(text):
    out = []
    for ch in text:
        out.append({"\n": "\\n", "\r": "\\r", "\t": "\\t", '"': '\\"', "\\": "\\\\"}.get(ch, ch))
    return "".join(out)


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def tree(args):
    manifest = load(args.manifest)
    expected = {}
    components = [args.component] if args.component is not None else list(manifest["components"])
    for c in components:
        for rel, info in manifest["components"][c].items():
            key = rel if args.component is not None else "%s/%s" % (c, rel)
            expected[key] = info
    actual = set()
    for dirpath, _, filenames in os.walk(args.dir):
        for name in filenames:
            full = os.path.join(dirpath, name)
            actual.add(os.path.relpath(full, args.dir))
    problems = []
    for missing in sorted(set(expected) - actual):
        problems.append("missing: %s" % missing)
    for extra in sorted(actual - set(expected)):
        problems.append("not expected: %s" % extra)
    for rel in sorted(set(expected) & actual):
        info = expected[rel]
        full = os.path.join(args.dir, rel)
        with open(full, "rb") as f:
            data = f.read()
        if len(data) != info["size"] or hashlib.sha256(data).hexdigest() != info["sha256"]:
            problems.append("%s: %d bytes, different contents (expected %d bytes)" % (
                rel, len(data), info["size"]))
        if "mtime_ns" in info and os.stat(full).st_mtime_ns != info["mtime_ns"]:
            problems.append("%s: modified %d, expected %d" % (rel, os.stat(full).st_mtime_ns,
                                                               info["mtime_ns"]))
    return fail(problems)


LIST_ENTRY = re.compile(rb"^ +(\d+) +(\d+) +(\d+)  (\S+) +(\S+) +(\S+) +(.*?)(  \(patch of .*\))?$")


def list_check(args):
    manifest = load(args.manifest)
    with open(args.output, "rb") as f:
        lines = f.read().split(b"\n")
    seen = {}
    current = None
    problems = []
    for line in lines:
        m = re.match(rb"^component (\d+): .*, (\d+) files$", line)
        if m:
            current = m.group(1).decode()
            seen[current] = {"count": int(m.group(2)), "names": []}
            continue
        m = LIST_ENTRY.match(line)
        if m and current is not None:
            seen[current]["names"].append(m.group(7).decode("cp1252"))
        elif line.strip():
            problems.append("unexpected line: %r" % line)
    for c, names in manifest["list"].items():
        if c not in seen:
            problems.append("component %s is not listed" % c)
            continue
        if seen[c]["names"] != names or seen[c]["count"] != len(names):
            problems.append("component %s lists %r (count %d), expected %r" % (
                c, seen[c]["names"], seen[c]["count"], names))
    for c in set(seen) - set(manifest["list"]):
        problems.append("component %s is listed but not expected" % c)
    return fail(problems)


def dump_check(args):
    manifest = load(args.manifest)
    with open(args.output, "rb") as f:
        text = f.read()
    # Texts are 8-bit in the package; printing them converted is as good.
    problems = ["dump lacks %r" % s for s in manifest["dump"]
                if s.encode("cp1252") not in text and s.encode("utf-8") not in text]
    return fail(problems)


def make_files(args):
    import random
    rng = random.Random(1951)
    words = ("volume region record stream window header folder component setup "
             "package entry patch literal distance checksum").split()

    def text(n):
        out = bytearray()
        while len(out) < n:
            out += (" ".join(rng.choice(words) for _ in range(rng.randrange(2, 12))) + "\n").encode()
        return bytes(out[:n])

    def noise(n):
        return bytes(rng.randrange(256) for _ in range(n))

    files = {
        "empty.bin": b"",
        "one.bin": b"\x7f",
        "text4095.txt": text(4095),
        "text30000.txt": text(30000),
        "noise20000.bin": noise(20000),
        "noise65535.bin": noise(65535),
        "noise65536.bin": noise(65536),
        "noise65537.bin": noise(65537),
        "a5000.txt": text(5000),
        "b3000.bin": noise(3000),
        "c2000.txt": text(2000),
        "shared30000.bin": noise(30000),
        "uninstall-image.bin": b"MZ" + noise(1998),
    }
    base = bytearray(noise(40000))
    files["base.bin"] = bytes(base)
    base[100:110] = b"0123456789"
    files["newer.bin"] = bytes(base[:30000]) + text(5000) + bytes(base[30000:])
    os.makedirs(args.dir, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(args.dir, name), "wb") as f:
            f.write(data)
    return 0


def walk(data):
    """The package's layout: stub size, patch block offset, record boundaries,
    end record header, region start and length."""
    at = -1
    while True:
        at = data.find(b"QzvR", at + 1, 4 << 20)
        if at < 0:
            raise ValueError("no patch block")
        stub = struct.unpack_from("<I", data, at + 6)[0]
        if at + 10 <= stub <= len(data):
            break
    pos = stub
    boundaries = [pos]
    while True:
        rtype, _, length = struct.unpack_from("<HHI", data, pos)
        if rtype == 0x7F7F and length != 0:
            break
        pos += 8 + length
        boundaries.append(pos)
    region_start = pos + 8
    region_length = struct.unpack_from("<I", data, region_start)[0]
    return dict(stub=stub, patch=at, boundaries=boundaries, end_header=pos,
                region_start=region_start, region_length=region_length, size=len(data))


def layout(args):
    with open(args.setup, "rb") as f:
        lay = walk(f.read())
    print(lay["stub"], lay["patch"], lay["end_header"], lay["region_start"],
          lay["region_length"], lay["size"])
    for b in lay["boundaries"]:
        print(b)
    return 0


def damage(args):
    """Writes damaged copies of the package in PKGDIR, one folder each under
    OUT (the undamaged files are links), and OUT/cases.txt with one line per
    copy: folder, kind, description. Kinds:
      cut      setup file truncated: every command must refuse it
      volume   a volume truncated or missing: list works, verify/extract fail
      stub     a byte of the stub's code changed: everything still works
      block    a byte of the patch block's marker or size changed: refused
      tag      a byte of the patch block's unread tag changed: still works
      record   a byte of the record stream changed: anything but a crash
      region   a byte of the file-data region changed: list works, verify and
               extract agree, and when they succeed the files are right
    OUT/unchecked.txt names the files nothing in the package guards."""
    names = sorted(os.listdir(args.pkgdir))
    volumes = [n for n in names if n != "SETUP.EXE"]
    with open(os.path.join(args.pkgdir, "SETUP.EXE"), "rb") as f:
        setup = f.read()
    lay = walk(setup)
    stub, patch, size = lay["stub"], lay["patch"], lay["size"]
    end_header, region_start = lay["end_header"], lay["region_start"]
    cases = []

    def cut(name, data, n, kind, label):
        cases.append((kind, name, data[:n], label))

    def flip(name, data, at, kind, label):
        changed = bytearray(data)
        changed[at] ^= 0xA5
        cases.append((kind, name, bytes(changed), label))

    points = {0, 1, patch - 1, patch + 5, patch + 9, stub - 1, stub, stub + 4, stub + 8,
              end_header, end_header + 4, region_start, region_start + 2, region_start + 4,
              region_start + lay["region_length"] // 3,
              region_start + lay["region_length"] * 2 // 3, size - 1}
    for b in lay["boundaries"]:
        points.update((b, b + 3))
    for p in sorted(points):
        if 0 <= p < size:
            cut("SETUP.EXE", setup, p, "cut", "setup file cut to %d bytes" % p)

    contents = {}
    for v in volumes:
        with open(os.path.join(args.pkgdir, v), "rb") as f:
            contents[v] = f.read()
        n = len(contents[v])
        for p in sorted({0, 2, 4, 5, n // 2, n - 1}):
            if 0 <= p < n:
                cut(v, contents[v], p, "volume", "%s cut to %d bytes" % (v, p))
        cases.append(("volume", v, None, "%s missing" % v))

    stride = max(1, (stub + 23) // 24)
    for p in range(0, stub, stride):
        if not patch <= p < patch + 10:
            flip("SETUP.EXE", setup, p, "stub", "stub byte %d changed" % p)
    for p in range(patch, patch + 10):
        kind = "tag" if p in (patch + 4, patch + 5) else "block"
        flip("SETUP.EXE", setup, p, kind, "patch block byte %d changed" % (p - patch))

    points = set(range(stub, min(region_start + 4, size), 97))
    points.update(range(stub, min(stub + 24, size)))
    points.update(range(end_header, min(region_start + 4, size)))
    for p in sorted(points):
        flip("SETUP.EXE", setup, p, "record", "record byte %d changed" % p)

    total = max(0, size - region_start - 4) + sum(len(d) for d in contents.values())
    stride = max(97, total // args.flips + 1)
    for p in range(region_start + 4, size, stride):
        flip("SETUP.EXE", setup, p, "region", "setup file byte %d changed" % p)
    for v in volumes:
        data = contents[v]
        for p in list(range(min(4, len(data)))) + list(range(4 + stride // 2, len(data), stride)):
            flip(v, data, p, "region", "%s byte %d changed" % (v, p))

    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "cases.txt"), "w") as listing:
        for i, (kind, name, data, label) in enumerate(cases):
            folder = os.path.join(args.out, "%04d" % i)
            os.mkdir(folder)
            for n in names:
                if n != name:
                    os.symlink(os.path.abspath(os.path.join(args.pkgdir, n)), os.path.join(folder, n))
            if data is not None:
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)
            listing.write("%04d\t%s\t%s\n" % (i, kind, label))
    if args.manifest:
        manifest = load(args.manifest)
        unchecked = sorted({os.path.basename(k) for c in manifest["components"].values()
                            for k, v in c.items() if v.get("unchecked")})
        with open(os.path.join(args.out, "unchecked.txt"), "w") as f:
            f.write("".join(n + "\n" for n in unchecked))
    return 0


def package(args):
    """Checks the saved output of one package's commands in DIR: list.txt,
    dump.txt, all/ (extract of every component) and c<N>/ (extract of N)."""
    problems = 0
    ns = argparse.Namespace(manifest=args.manifest, output=os.path.join(args.dir, "list.txt"))
    problems += list_check(ns)
    ns.output = os.path.join(args.dir, "dump.txt")
    problems += dump_check(ns)
    problems += tree(argparse.Namespace(manifest=args.manifest, dir=os.path.join(args.dir, "all"),
                                        component=None))
    for c in load(args.manifest)["components"]:
        problems += tree(argparse.Namespace(manifest=args.manifest, component=c,
                                            dir=os.path.join(args.dir, "c" + c)))
    return 1 if problems else 0


def main():
    ap = argparse.ArgumentParser()
    sub = ap.add_subparsers(dest="command", required=True)
    p = sub.add_parser("from-project")
    p.add_argument("project")
    p.add_argument("manifest")
    p.add_argument("--expected")
    p.set_defaults(run=from_project)
    p = sub.add_parser("tree")
    p.add_argument("manifest")
    p.add_argument("dir")
    p.add_argument("--component")
    p.set_defaults(run=tree)
    p = sub.add_parser("list")
    p.add_argument("manifest")
    p.add_argument("output")
    p.set_defaults(run=list_check)
    p = sub.add_parser("dump")
    p.add_argument("manifest")
    p.add_argument("output")
    p.set_defaults(run=dump_check)
    p = sub.add_parser("make-files")
    p.add_argument("dir")
    p.set_defaults(run=make_files)
    p = sub.add_parser("damage")
    p.add_argument("pkgdir")
    p.add_argument("out")
    p.add_argument("--manifest")
    p.add_argument("--flips", type=int, default=120)
    p.set_defaults(run=damage)
    p = sub.add_parser("package")
    p.add_argument("manifest")
    p.add_argument("dir")
    p.set_defaults(run=package)
    p = sub.add_parser("layout")
    p.add_argument("setup")
    p.set_defaults(run=layout)
    args = ap.parse_args()
    return args.run(args)


if __name__ == "__main__":
    sys.exit(main())
