"""One end-to-end scenario: its package (a mkpkg project written here), the
steps the driver takes through the wizard, and the checks of the machine
afterwards (files, registry, INI files, restart-time replacements, shortcuts,
the uninstall log).

Texts are the package's own, read back with `pkgtool dump`, so a step names
a string by (group, index) and the check sees what the setup should show.
"""

import json
import os
import re
import shutil
import struct
import subprocess
import zlib


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


class Texts:
    """The strings of a built package, by component, group and index."""

    def __init__(self, dump):
        self.by_component = {}
        component = None
        for line in dump.splitlines():
            match = re.match(r"^component (\d+)$", line)
            if match:
                component = self.by_component.setdefault(int(match.group(1)), {})
                continue
            match = re.match(r'^    \((\d+),(\d+)\) (".*")$', line)
            if match and component is not None:
                component[(int(match.group(1)), int(match.group(2)))] = json.loads(match.group(3))

    def get(self, group, index, component=0):
        return self.by_component[component].get((group, index), "")

    def error(self, number, subject, component=0):
        """What the setup says for error NUMBER about SUBJECT."""
        return self.get(6, number, component).replace("%s", subject, 1)


def driver_word(text):
    """A word of a driver script: line breaks and tabs written out."""
    return text.replace("\r\n", "{LF}").replace("\n", "{LF}").replace("\t", "{TAB}")


def tools_of(build, windows_folder, mkpkg=None, pkgtool=None):
    """The tools a scenario uses, from the build folder that holds release/
    and the Windows builds."""
    release = os.path.join(build, "release", "tools")
    return {"mkpkg": mkpkg or os.path.join(release, "mkpkg", "mkpkg"),
            "pkgtool": pkgtool or os.path.join(release, "pkgtool", "pkgtool"),
            "windows": os.path.join(build, windows_folder)}


class Scenario:
    """Builds one package and drives one or more setup runs over it."""

    def __init__(self, name, machine, tools, work):
        self.name = name
        self.machine = machine
        self.tools = tools  # mkpkg, pkgtool, build folder of the Windows programs
        self.work = work
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        self.texts = None
        self.full_screen = False
        self.steps = []
        self.made_folders = set()  # folders the destination page has created
        self.shots = None  # where "shot" steps put their pictures, when set
        self.setup_path = None
        # Everything a scenario puts on C: lies below its own folder.
        self.root = f"C:\\E2E\\{name}"
        shutil.rmtree(machine.unix_path(self.root), ignore_errors=True)
        os.makedirs(machine.unix_path(self.root))
        self.markers = os.path.join(work, "markers")
        os.makedirs(self.markers)

    # --- the package ---------------------------------------------------------------

    def program(self, name):
        """The bytes of one of the Windows test programs (marker.exe, ...)."""
        with open(os.path.join(self.tools["windows"], name), "rb") as f:
            return f.read()

    def build(self, project, files, folder="package", stub=None, output="SETUP.EXE"):
        """Writes FILES ({name: bytes}) and the project, builds the setup file
        with mkpkg into work/FOLDER and returns its Windows path."""
        source = os.path.join(self.work, "source")
        os.makedirs(source, exist_ok=True)
        for name, data in files.items():
            path = os.path.join(source, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        project_path = os.path.join(source, "project.json")
        with open(project_path, "w") as f:
            json.dump(project, f, indent=1)
        out = os.path.join(self.work, folder)
        os.makedirs(out, exist_ok=True)
        setup = os.path.join(out, output)
        subprocess.run([self.tools["mkpkg"], project_path, "--stub",
                        stub or os.path.join(self.tools["windows"], "setup.exe"), "-o", setup],
                       check=True, capture_output=True)
        dump = subprocess.run([self.tools["pkgtool"], "dump", setup], check=True,
                              capture_output=True, text=True, errors="replace").stdout
        self.texts = Texts(dump)
        self.full_screen = project.get("settings", {}).get("fullScreen", False)
        self.setup_path = self.machine.windows_path(setup)
        return self.setup_path

    def t(self, group, index, component=0):
        return self.texts.get(group, index, component)

    # --- driver steps ------------------------------------------------------------------

    def step(self, *words):
        self.steps.append("\t".join(driver_word(str(w)) for w in words))
        return self

    def page(self, group, component=0):
        """Waits for the page whose texts are GROUP."""
        title = self.t(group, 0, component)
        if self.full_screen:
            return self.step("wait", "frame", title)
        setup_title = self.t(6, 0, component)
        return self.step("wait", "caption", f"{setup_title} - {title}" if title else setup_title)

    def next(self):
        return self.step("click", 1)

    def back(self):
        return self.step("click", 1007)

    def cancel(self):
        return self.step("click", 2)

    def answer(self, button, text):
        return self.step("answer", button, text)

    def confirm_cancel(self, question_index=14):
        """Cancel asked and confirmed: the question, then the notice."""
        self.answer("yes", self.t(6, question_index))
        return self.answer("ok", self.t(6, 15))

    def shot(self, name):
        return self.step("shot", name)

    def drive(self, timeout=240):
        """Runs the driver over the steps so far; raises Failure with its
        report when a step fails. Its "shot" steps write pictures into
        `shots` when that is set."""
        script = os.path.join(self.work, f"steps-{len(os.listdir(self.work))}.txt")
        with open(script, "w", newline="\n") as f:
            f.write("\n".join(self.steps) + "\n")
        self.steps = []
        env = {"SETUP_E2E_MARKERS": self.machine.windows_path(self.markers)}
        if self.shots:
            env["SETUP_SHOTS"] = self.machine.windows_path(self.shots)
        result = self.machine.run(
            [os.path.join(self.tools["windows"], "setup_driver.exe"),
             self.machine.windows_path(script)], timeout=timeout, env=env)
        if result.returncode != 0:
            raise Failure("the driver stopped:\n" + result.stdout.decode(errors="replace")[-3000:] +
                          result.stderr.decode(errors="replace"))

    # --- checks of the machine -------------------------------------------------------------

    def files_under(self, windows_folder):
        """{relative path with backslashes: bytes} of every file below the folder."""
        base = self.machine.unix_path(windows_folder)
        found = {}
        for folder, _, names in os.walk(base):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, base).replace("/", "\\")] = f.read()
        return found

    def expect_files(self, windows_folder, expected):
        """The folder holds exactly EXPECTED ({name: bytes, or None for any
        contents}), names compared without regard to case."""
        found = {k.lower(): v for k, v in self.files_under(windows_folder).items()}
        want = {k.lower(): v for k, v in expected.items()}
        expect(sorted(found) == sorted(want),
               f"{windows_folder} holds {sorted(found)}, expected {sorted(want)}")
        for name, data in want.items():
            expect(data is None or found[name] == data,
                   f"{windows_folder}\\{name} differs from what was packed "
                   f"({len(found[name])} bytes, expected {len(data or b'')})")

    def read(self, windows_path):
        with open(self.machine.unix_path(windows_path), "rb") as f:
            return f.read()

    def exists(self, windows_path):
        return os.path.exists(self.machine.unix_path(windows_path))

    def expect_registry(self, key, expected):
        """KEY holds the EXPECTED values ({name: data}; None: absent key)."""
        values = self.machine.reg_query(key)
        if expected is None:
            expect(values is None, f"{key} exists: {values}")
            return
        expect(values is not None, f"no registry key {key}")
        for name, data in expected.items():
            got = values.get(name)
            expect(got is not None and got[1] == str(data),
                   f"{key} value {name!r} is {got}, expected {data!r}")

    def ini(self, windows_path):
        """{(section, key): value} of an INI file, names lower-cased."""
        entries, section = {}, None
        for line in self.read(windows_path).decode("latin-1").splitlines():
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].lower()
            elif "=" in line and section is not None:
                key, value = line.split("=", 1)
                entries[(section, key.strip().lower())] = value.strip()
        return entries

    def pending_renames(self):
        """The restart-time moves of Windows NT as (from, to) pairs, paths as
        Wine keeps them (\\??\\C:\\...), "" for a deletion."""
        values = self.machine.reg_query(
            r"HKLM\System\CurrentControlSet\Control\Session Manager") or {}
        kind, data = values.get("PendingFileRenameOperations", ("", ""))
        items = data.split("\\0")
        while items and items[-1] == "":
            items.pop()
        pairs = []
        # Each move is a source and a target; an empty target is a deletion.
        raw = (items + [""])
        i = 0
        while i < len(raw) - 1:
            pairs.append((raw[i], raw[i + 1]))
            i += 2
        return pairs

    def shortcut(self, windows_path):
        """What lnkinfo, an independent reader of .lnk files, finds in one."""
        result = subprocess.run(["lnkinfo", self.machine.unix_path(windows_path)],
                                capture_output=True, text=True, errors="replace")
        expect(result.returncode == 0, f"lnkinfo cannot read {windows_path}: {result.stderr}")
        fields = {}
        for line in result.stdout.splitlines():
            match = re.match(r"^\t([A-Za-z ]+?)\s*:\s(.*)$", line)
            if match:
                fields.setdefault(match.group(1).strip(), match.group(2).strip())
        return fields

    def expect_shortcut(self, windows_path, target, arguments=None):
        fields = self.shortcut(windows_path)
        local = fields.get("Local path", "")
        expect(local.lower() == target.lower(), f"{windows_path} leads to {local!r}, not {target!r}")
        if arguments is not None:
            expect(fields.get("Command line arguments", "") == arguments,
                   f"{windows_path} has arguments {fields.get('Command line arguments')!r}")

    def uninstall_log(self, windows_path):
        result = subprocess.run([self.tools["pkgtool"], "uninstall-log",
                                 self.machine.unix_path(windows_path)],
                                capture_output=True, text=True, errors="replace")
        expect(result.returncode == 0, f"pkgtool cannot read the log: {result.stderr}")
        return result.stdout

    def marker(self, program):
        """The command lines a stand-in program (marker.exe under a name) ran with."""
        path = os.path.join(self.markers, program + ".txt")
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            return f.read().decode("latin-1").splitlines()


def bmp_to_png(bmp_path, png_path):
    """Converts the driver's 24-bit bottom-up BMP into a PNG."""
    with open(bmp_path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        pixels = bytearray(row)
        pixels[0::3], pixels[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(b"\0" + bytes(pixels))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + \
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(png_path, "wb") as f:
        f.write(png)


def save_screenshots(shots, folder):
    """The driver's pictures in SHOTS as PNG files in FOLDER."""
    os.makedirs(folder, exist_ok=True)
    for name in sorted(os.listdir(shots)):
        if name.endswith(".bmp"):
            bmp_to_png(os.path.join(shots, name), os.path.join(folder, name[:-4] + ".png"))
