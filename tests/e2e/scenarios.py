#!/usr/bin/env python3
"""The end-to-end suite: setup.exe under Wine, driven through its wizard by
setup_driver.exe, with the machine checked afterwards.

    scenarios.py --build BUILD [--group G ...] [--only NAME]   run scenarios
    scenarios.py --build BUILD --demo                          the demo, printed
    scenarios.py --build BUILD --screenshots DIR               pictures of the pages

BUILD is the build folder that holds release/ (mkpkg, pkgtool), win32/ and
win64/ (setup.exe and the Windows test programs). The scenarios are grouped;
each group is one ctest test (label e2e). Exit codes: 0 passed, 1 failed,
77 skipped (neither Wine can run here).
"""

import argparse
import os
import random
import shutil
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Failure, Scenario, bmp_to_png, expect  # noqa: E402
import wine_session  # noqa: E402

SCENARIOS = []  # (group, name, function), in the order written


def scenario(group, name=None):
    def register(function):
        SCENARIOS.append((group, name or function.__name__, function))
        return function
    return register


UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
END_RECORD = b"\x7f\x7f\0\0\0\0\0\0"


def noise(size, seed):
    """Bytes that do not compress, so their stored form is themselves."""
    return random.Random(seed).randbytes(size)


class Product:
    """A component of the test product and the files it should leave:
    `files` are the project's entries, `sources` their bytes, `installed`
    what the install folder should hold afterwards."""

    def __init__(self, s, folder=None, name=None, uninstaller=True, program=True, extra=()):
        self.s = s
        self.name = name or s.name
        self.folder = folder or s.root + "\\App"
        self.files, self.sources, self.installed = [], {}, {}
        if uninstaller:
            self.add("uninst.exe", END_RECORD, uninstaller=True)
            self.installed["uninst.exe"] = None  # the image, its data and the log
        if program:
            self.add("app.exe", s.program("marker.exe"), placement="uninstall", role="program",
                     shortcut={"folder": f"E2E {s.name}", "name": "App", "args": "/menu"},
                     desktop={"name": f"App {s.name}", "args": "/desk"})
        self.add("readme.txt", f"Read me of {s.name}\r\n".encode() * 40, placement="uninstall")
        self.add("data\\table.bin", noise(3000, s.name), placement="uninstall")
        for entry in extra:
            self.add(**entry)

    def add(self, name, data, **entry):
        source = "src-" + name.replace("\\", "-")
        self.sources[source] = data
        if not entry.pop("uninstaller", False):
            self.files.append(dict({"source": source, "name": name}, **entry))
            if entry.get("folder", "install") == "install" and entry.get("placement") != "source":
                self.installed[name] = data
        else:
            self.files.insert(0, {"source": source, "name": name, "uninstaller": True})

    def component(self, **extra):
        c = {"displayName": self.name, "defaultFolder": self.folder, "folderEditable": True,
             "files": self.files,
             "registry": [{"root": "HKCU", "key": f"Software\\E2E\\{self.s.name}",
                           "value": "Folder", "data": "#InstallDir#"}],
             "ini": [{"file": f"#Windows#\\e2e-{self.s.name}.ini", "section": "Setup",
                      "key": "Folder", "value": "#InstallDir#"}]}
        c.update(extra)
        return c

    def project(self, components=None, **extra):
        p = {"title": f"E2E {self.s.name}", "uninstaller": "uninstaller-image.exe",
             "strings": {"6": {"0": f"E2E {self.s.name} Setup"}},
             "components": components or [self.component()]}
        p.update(extra)
        return p

    def build(self, project=None, **options):
        sources = dict(self.sources)
        sources["uninstaller-image.exe"] = self.s.program("marker.exe")
        return self.s.build(project or self.project(), sources, **options)

    def expect_installed(self, folder=None):
        """Every file in place byte for byte and nothing else, the registry
        and INI values, the shortcuts and the uninstall log."""
        s, folder = self.s, folder or self.folder
        s.expect_files(folder, self.installed)
        s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", {"Folder": folder})
        expect(s.ini(f"C:\\windows\\e2e-{s.name}.ini").get(("setup", "folder")) == folder,
               "the INI value is not the install folder")
        if "uninst.exe" in self.installed:
            s.expect_registry(UNINSTALL_KEY + self.name, {"DisplayName": self.name,
                                                           "UninstallString": folder + "\\uninst.exe"})
            log = s.uninstall_log(folder + "\\uninst.exe")
            for name in self.installed:
                if name != "uninst.exe":
                    expect(name.split("\\")[-1] in log, f"the uninstall log lacks {name}:\n{log}")
            expect(UNINSTALL_KEY[5:] + self.name in log, f"the log lacks the registration:\n{log}")
        if "app.exe" in self.installed:
            s.expect_shortcut(self.desktop_link(), folder + "\\app.exe", "/desk")
            s.expect_shortcut(self.menu_link(), folder + "\\app.exe", "/menu")

    def desktop_link(self):
        return f"{self.s.machine.shell_folder('Desktop')}\\App {self.s.name}.lnk"

    def menu_link(self):
        return f"{self.s.machine.shell_folder('Programs')}\\E2E {self.s.name}\\App.lnk"

    def expect_nothing_installed(self):
        s = self.s
        expect(not s.exists(self.folder), f"{self.folder} was made")
        s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", None)
        s.expect_registry(UNINSTALL_KEY + self.name, None)


# --- the wizard, page by page ----------------------------------------------------------

def through_pages(s, pages, folder, component=0):
    """Next through PAGES (text groups), waiting for each; the last is left
    open. Leaving the destination page for FOLDER the first time, Setup asks
    to create it: yes."""
    for i, group in enumerate(pages):
        s.page(group, component)
        if i + 1 < len(pages):
            s.next()
            if group == 2 and folder not in s.made_folders:
                s.answer("yes", s.t(6, 6))
                s.made_folders.add(folder)


def install_and_finish(s, component=0):
    """From the Ready page: install, wait for the finish page, close it."""
    s.next().page(4, component).page(5, component)
    s.step("expect", 1000, s.t(5, 1, component))
    s.cancel().step("exit", 0)  # the finish page's only button


# --- startup ----------------------------------------------------------------------------------

@scenario("startup")
def stub_without_package(s):
    """The bare stub has nothing to install: exit -1 at once, no window."""
    s.step("start", s.machine.windows_path(os.path.join(s.tools["windows"], "setup.exe")))
    s.step("exit", -1).drive()


@scenario("startup")
def package_cut_short(s):
    """A setup file cut inside its records is refused before any text is
    known: exit -1, no message. Cut inside its file data, every record is
    there: (6, 31) says it is damaged, then exit -1."""
    p = Product(s)
    path = s.machine.unix_path(p.build())
    with open(path, "rb") as f:
        whole = f.read()
    stub = os.path.getsize(os.path.join(s.tools["windows"], "setup.exe"))
    for name, length in (("RECORDS.EXE", stub + 100), ("DATA.EXE", len(whole) - 10)):
        with open(os.path.join(os.path.dirname(path), name), "wb") as f:
            f.write(whole[:length])
        s.step("start", s.machine.windows_path(os.path.join(os.path.dirname(path), name)))
        if name == "DATA.EXE":
            s.answer("ok", s.t(6, 31))
        s.step("exit", -1)
    s.drive()


# --- navigation -------------------------------------------------------------------------------

# Each row: components, information text, the pages Next leads through from
# Welcome to Ready, and the pages Back leads through from Ready to Welcome.
WIZARD_SHAPES = [
    ("two_components_with_information", 2, "Read this first.", [0, 1, 9, 2, 3], [3, 2, 9, 1, 0]),
    ("two_components_without_information", 2, "", [0, 9, 2, 3], [3, 2, 9, 0]),
    ("one_component_with_information", 1, "Read this first.", [0, 1, 2, 3], [3, 2, 1, 0]),
    ("one_component_without_information", 1, "", [0, 2, 3], [3, 2, 0]),
]


def navigation(name, count, information, forward, backward):
    @scenario("navigation", name)
    def run(s):
        """Next through every page, Back to Welcome, Next again and install."""
        p = Product(s)
        components = [p.component(strings={"1": {"1": information}})]
        if count == 2:
            components.append(Product(s, name=s.name + " (other)", folder=s.root + "\\Other")
                              .component(strings={"1": {"1": information}}))
        p.build(p.project(components))
        s.step("start", s.setup_path)
        through_pages(s, forward, p.folder)
        s.step("state", 1007, "enabled")
        for group in backward[1:]:
            s.back().page(group)
        s.step("state", 1007, "disabled")
        s.next()
        through_pages(s, forward[1:], p.folder)
        install_and_finish(s)
        s.drive()
        p.expect_installed()
    return run


for row in WIZARD_SHAPES:
    navigation(*row)


@scenario("navigation")
def full_screen_with_pictures(s):
    """Full screen: page titles go to the frame's caption; the background
    tiles its picture and the frame shows the wizard picture."""
    p = Product(s)
    sources = {"src-back.bmp": bitmap(64, 64, 8), "src-wizard.bmp": bitmap(160, 300, 24)}
    p.sources.update(sources)
    p.build(p.project(settings={"fullScreen": True}, backgroundBitmap="src-back.bmp",
                      wizardBitmap="src-wizard.bmp"))
    s.step("start", s.setup_path).page(0).shot("full-screen-welcome")
    s.step("expect", "caption", s.t(6, 0))
    s.next()
    through_pages(s, [2, 3], p.folder)
    install_and_finish(s)
    s.drive()
    p.expect_installed()


@scenario("navigation")
def single_destination_page(s):
    """Start page 4: only the destination page runs; Next ends the wizard
    unchecked and installs nothing; Cancel asks nothing."""
    p = Product(s)
    p.build(p.project(start={"page": 4, "component": 0}))
    for button in (1, 2):
        s.step("start", s.setup_path).page(2)
        s.step("state", 1007, "enabled").step("click", button).step("exit", 0)
    s.drive()
    p.expect_nothing_installed()


@scenario("navigation")
def single_progress_page(s):
    """Start page 6: the progress page installs everything, stays at 100 %
    and ends with Cancel without a question; no finish page. The program
    still runs after setup."""
    p = Product(s)
    p.build(p.project(start={"page": 6, "component": 0}))
    # 100 % shows after the last file; the finishing step takes the next tick.
    s.step("start", s.setup_path).page(4).step("wait", 1010, "100%").step("sleep", 1000)
    s.step("state", 2, "enabled").cancel().step("exit", 0).drive()
    p.expect_installed()
    # The quiet Cancel forgets nothing: the program runs after setup.
    expect(len(s.marker("app.exe")) == 1, f"app.exe ran {s.marker('app.exe')}")


@scenario("navigation")
def start_component_two(s):
    """The start component is current from the first page: its choice is
    checked, its folder and texts are shown, and it is what gets installed."""
    first = Product(s, name=s.name + " one", folder=s.root + "\\One")
    second = Product(s, name=s.name + " two", folder=s.root + "\\Two")
    first.build(first.project([first.component(), second.component(
        strings={"0": {"1": "Welcome to the second component."}})],
        start={"component": 1}))
    s.step("start", s.setup_path).page(0, 1).step("expect", 1000, "Welcome to the second component.")
    s.next().page(9, 1).step("state", 1022, "checked").step("state", 1021, "unchecked")
    s.next().page(2, 1).step("expect", 1004, second.folder)
    through_pages(s, [2, 3], second.folder, 1)
    install_and_finish(s, 1)
    s.drive()
    second.expect_installed()
    expect(not s.exists(first.folder), "the first component was installed too")


def bitmap(width, height, bits):
    """A BMP file of a simple pattern: 8-bit with a grey ramp palette, or 24-bit."""
    import struct
    colours = 256 if bits == 8 else 0
    stride = (width * bits // 8 + 3) & ~3
    pixels = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            if bits == 8:
                row.append((x * 4 + y * 2) & 0xFF)
            else:
                row += bytes(((x * 255) // width, (y * 255) // height, 160))
        pixels += row + b"\0" * (stride - len(row))
    palette = b"".join(bytes((i, i, 255 - i, 0)) for i in range(colours))
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835,
                       colours, 0)
    return header + info + palette + bytes(pixels)


# --- the run -----------------------------------------------------------------------------------

def tools_of(build, arch):
    return {"mkpkg": os.path.join(build, "release", "tools", "mkpkg", "mkpkg"),
            "pkgtool": os.path.join(build, "release", "tools", "pkgtool", "pkgtool"),
            "windows": os.path.join(build, wine_session.BUILD_FOLDERS[arch])}


def run_scenarios(machine, tools, chosen, shots=None):
    failed = []
    for group, name, function in chosen:
        started = time.time()
        s = Scenario(name, machine, tools, os.path.join(machine.root, "work", name))
        try:
            function(s)
            if s.steps:
                s.drive(shots=shots)
            print(f"ok      {group}/{name} ({time.time() - started:.1f} s)", flush=True)
        except Failure as failure:
            failed.append(name)
            print(f"FAILED  {group}/{name} ({time.time() - started:.1f} s): {failure}", flush=True)
        except Exception:  # a fault of the suite itself is a failure too
            failed.append(name)
            print(f"FAILED  {group}/{name}:\n{traceback.format_exc()}", flush=True)
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--group", action="append", default=[])
    parser.add_argument("--only", action="append", default=[])
    parser.add_argument("--demo", action="store_true")
    parser.add_argument("--screenshots")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    code = wine_session.drop_privileges([os.path.abspath(__file__)] + sys.argv[1:])
    if code is not None:
        return code

    arch, reason = wine_session.choose_build()
    if arch is None:
        print(f"SKIPPED: {reason}")
        return wine_session.SKIP
    print(f"build: {arch} setup.exe ({wine_session.BUILD_FOLDERS[arch]}), "
          f"under the {'32' if arch == 'i686' else '64'}-bit Wine", flush=True)

    chosen = [(g, n, f) for g, n, f in SCENARIOS
              if (not args.group or g in args.group) and (not args.only or n in args.only)]
    if not chosen:
        print("no scenario chosen")
        return 1
    started = time.time()
    with wine_session.WineMachine(arch) as machine:
        failed = run_scenarios(machine, tools_of(args.build, arch), chosen)
    print(f"{len(chosen) - len(failed)} of {len(chosen)} scenarios passed on the {arch} build "
          f"in {time.time() - started:.0f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
