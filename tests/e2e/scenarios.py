#!/usr/bin/env python3
"""The end-to-end suite: setup.exe under Wine, driven through its wizard by
setup_driver.exe, with the machine checked afterwards.

    scenarios.py --build BUILD [--group G ...] [--only NAME]   run scenarios
    scenarios.py --build BUILD --screenshots DIR               and keep their pictures

BUILD is the build folder that holds release/ (mkpkg, pkgtool), win32/ and
win64/ (setup.exe and the Windows test programs). The scenarios are grouped;
each group is one ctest test (label e2e). Exit codes: 0 passed, 1 failed,
77 skipped (neither Wine can run here).
"""

import argparse
import contextlib
import faulthandler
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Failure, Scenario, expect, save_screenshots, tools_of  # noqa: E402
import wine_session  # noqa: E402

SCENARIOS = []  # (group, name, function), in the order written

# A small tmpfs for the full-disk scenarios, mapped as S: (see small_disk_mounted).
SMALL_DISK_KIB = 1024


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
        self.forget_earlier_runs()

    def forget_earlier_runs(self):
        """What a run of this scenario before may have left outside its folder."""
        s = self.s
        s.machine.reg_delete(f"HKCU\\Software\\E2E\\{s.name}")
        s.machine.reg_delete(UNINSTALL_KEY + self.name)
        for path in (f"C:\\windows\\e2e-{s.name}.ini", self.desktop_link(), self.menu_link()):
            if s.exists(path):
                os.unlink(s.machine.unix_path(path))

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

    def build(self, project=None, others=(), **options):
        """Builds the package of PROJECT, with the files of OTHERS (products
        whose components it holds too)."""
        sources = dict(self.sources)
        for other in others:
            sources.update(other.sources)
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


def cut_packages(s, p):
    """P's package built, then cut short beside it: inside its records
    (RECORDS.EXE) and inside its file data (DATA.EXE); (name, unix path)."""
    path = s.machine.unix_path(p.build())
    with open(path, "rb") as f:
        whole = f.read()
    stub = os.path.getsize(os.path.join(s.tools["windows"], "setup.exe"))
    cuts = []
    for name, length in (("RECORDS.EXE", stub + 100), ("DATA.EXE", len(whole) - 10)):
        cuts.append((name, os.path.join(os.path.dirname(path), name)))
        with open(cuts[-1][1], "wb") as f:
            f.write(whole[:length])
    return cuts


@scenario("startup")
def package_cut_short(s):
    """A setup file cut inside its records is refused before any text is
    known: exit -1, no message. Cut inside its file data, every record is
    there: (6, 31) says it is damaged, then exit -1."""
    p = Product(s)
    for name, cut in cut_packages(s, p):
        s.step("start", s.machine.windows_path(cut))
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


# --- cancel -----------------------------------------------------------------------------------

@scenario("cancel")
def cancel_on_every_page(s):
    """On each page before the install, Cancel asks (6,14): No stays on the
    page, Yes says (6,15) and ends with 0; nothing is installed."""
    p = Product(s)
    p.build(p.project([p.component(strings={"1": {"1": "Read this first."}}),
                       Product(s, name=s.name + " (other)").component()]))
    pages = [0, 1, 9, 2, 3]
    for stop in range(len(pages)):
        s.step("start", s.setup_path)
        through_pages(s, pages[:stop + 1], p.folder)
        s.cancel().answer("no", s.t(6, 14)).page(pages[stop])
        s.cancel().confirm_cancel().step("exit", 0)
    s.drive()
    expect(not s.exists(p.folder + "\\readme.txt"), "a file was installed")
    s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", None)


@scenario("cancel")
def cancel_during_install(s):
    """Cancel on the progress page asks (6,13): No goes on, Yes ends with 0.
    The files installed so far stay, whole; the finishing step never runs
    (no registry, INI, log or registration), and the program is not run."""
    p = Product(s, extra=[{"name": f"part{i:02}.bin", "data": noise(2000, f"{s.name}{i}"),
                           "placement": "uninstall"} for i in range(60)])
    p.build()
    s.step("start", s.setup_path)
    through_pages(s, [0, 2, 3], p.folder)
    # The question pauses the run; No resumes it, one file a tick.
    s.next().page(4).cancel().answer("no", s.t(6, 13)).step("sleep", 500)
    s.cancel().answer("yes", s.t(6, 13)).answer("ok", s.t(6, 15)).step("exit", 0).drive()
    found = {k.lower(): v for k, v in s.files_under(p.folder).items()}
    wanted = {k.lower(): v for k, v in p.installed.items()}
    expect(0 < len(found) < len(wanted), f"{len(found)} of {len(wanted)} files installed")
    for name, data in found.items():
        expect(name in wanted and (wanted[name] is None or wanted[name] == data),
               f"{name} is not a whole installed file")
    s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", None)
    s.expect_registry(UNINSTALL_KEY + p.name, None)
    expect(s.marker("app.exe") == [], "the program ran after a cancel")


# --- destination ------------------------------------------------------------------------------

@scenario("destination")
def typed_folder_created_on_request(s):
    """A typed folder that does not exist: No stays on the page and makes
    nothing; Yes creates it, and the component installs there."""
    p = Product(s)
    p.build()
    typed = s.root + "\\Typed Folder\\Deeper"
    s.step("start", s.setup_path)
    through_pages(s, [0, 2], p.folder)
    s.step("settext", 1004, typed).next().answer("no", s.t(6, 6)).page(2)
    s.step("expect", 1004, typed).next().answer("yes", s.t(6, 6)).page(3)
    s.step("expect", 1001, s.t(3, 2).replace("%s", typed))
    install_and_finish(s)
    s.drive()
    expect(not s.exists(p.folder), "the default folder was made too")
    p.expect_installed(typed)


@scenario("destination")
def unusable_folders_refused(s):
    """A folder that cannot be made (a name Windows forbids) brings (6,5)
    after (6,6); one too long to be a folder brings (6,5) at once. The page
    stays and nothing is made."""
    p = Product(s)
    p.build()
    s.step("start", s.setup_path)
    through_pages(s, [0, 2], p.folder)
    s.step("settext", 1004, s.root + "\\bad<name>").next().answer("yes", s.t(6, 6))
    s.answer("ok", s.t(6, 5)).page(2)
    # Too long to be a folder at all: refused without the question.
    s.step("settext", 1004, s.root + "\\" + "\\".join(["x" * 60] * 4)).next()
    s.answer("ok", s.t(6, 5)).page(2)
    s.cancel().confirm_cancel().step("exit", 0).drive()
    expect(os.listdir(s.machine.unix_path(s.root)) == [], "something was made")


@scenario("destination")
def folder_chooser(s):
    """Browse opens the chooser with the package's texts; going into a
    folder and OK puts that folder into the edit, and the install goes there."""
    p = Product(s)
    p.build()
    os.makedirs(s.machine.unix_path(s.root + "\\Chosen"))
    s.step("start", s.setup_path)
    through_pages(s, [0, 2], p.folder)
    s.step("settext", 1004, s.root).step("click", 1005).step("wait", "chooser", s.t(6, 1))
    s.step("expect", "chooser:1009", s.t(6, 2)).step("expect", "chooser:1", s.t(7, 4))
    s.step("chooser", "[chosen]").step("wait", "chooser:101", s.root + "\\Chosen")
    s.shot("folder-chooser").step("click", "chooser:1").step("wait", 1004, s.root + "\\Chosen")
    s.next().page(3)
    install_and_finish(s)
    s.drive()
    p.expect_installed(s.root + "\\Chosen")


# --- space --------------------------------------------------------------------------------------

def megabytes(size_sum):
    return (size_sum + 0xFFFFF) >> 20


@scenario("space")
def component_choice_space_figures(s):
    """Choosing the second component shows its own folder and the space its
    files need ((6,7) of the rounded sum), and installs it."""
    small = Product(s, name=s.name + " small", folder=s.root + "\\Small")
    large = Product(s, name=s.name + " large", folder=s.root + "\\Large",
                    extra=[{"name": "big.bin", "data": noise(2_500_000, s.name),
                            "placement": "uninstall"}])
    small.build(small.project([small.component(), large.component()]), [large])
    need = megabytes(sum((len(d or END_RECORD) + 0x7FFF) & ~0x7FFF for d in
                         [large.sources[f["source"]] for f in large.files]))
    s.step("start", s.setup_path).page(0).next().page(9).step("click", 1022)
    s.next().page(2).step("expect", 1004, large.folder)
    s.step("expect", 1016, s.t(2, 7).replace("%lu", str(need)).replace("%d", str(need)))
    s.shot("destination")
    through_pages(s, [2, 3], large.folder)
    install_and_finish(s)
    s.drive()
    large.expect_installed()
    expect(not s.exists(small.folder), "the first component was installed too")


def small_disk(s):
    """The small drive's letter and folder: a tmpfs of SMALL_DISK_KIB,
    mapped as S: (see main)."""
    disk = os.environ.get("SETUP_E2E_SMALL_DISK")
    expect(disk, "no small disk: mounting a tmpfs needs root or sudo without a password")
    for entry in os.listdir(disk):
        shutil.rmtree(os.path.join(disk, entry), ignore_errors=True)
    return "S:\\" + s.name


@scenario("space")
def not_enough_space_then_disk_full(s):
    """More to install than the drive holds: (6,11) asks. No keeps the page
    with its texts back. Yes goes on, and the install runs into the full disk: the finish page
    names the full disk and the file, no half-written target or temporary
    file is left, and nothing after the failing file is installed."""
    folder = small_disk(s)
    p = Product(s, folder=folder, extra=[{"name": "big.bin", "data": noise(3_000_000, s.name),
                                          "placement": "uninstall"}])
    p.build()
    s.step("start", s.setup_path)
    through_pages(s, [0, 2], folder)
    s.next().answer("yes", s.t(6, 6)).answer("no", s.t(6, 11)).page(2)
    s.step("expect", 1001, s.t(2, 2))
    s.next().answer("yes", s.t(6, 11)).page(3).next().page(4).page(5)
    s.step("expect", 1000, s.t(5, 4).replace("%s", s.texts.error(20, folder + "\\big.bin")))
    s.step("expect", 1003, "").step("state", 1015, "hidden").shot("finish-error")
    s.cancel().step("exit", 0).drive()
    left = s.files_under(folder)
    expect("big.bin" not in left and not any("$" in n for n in left),
           f"a half-written file is left: {sorted(left)}")
    expect(s.marker("app.exe") == [], "the program ran after a failed install")


# --- finish page ---------------------------------------------------------------------------------

FINISH_OFFERS = [
    # name, run check box clicked, document entry, screen saver entry
    ("run_program_and_open_document", False, True, False),
    ("run_box_cleared", True, False, True),
]


def finish_offers(name, clear_box, document, saver):
    @scenario("finish", name)
    def run(s):
        """The finish page offers what the install noted: the program to run
        (its box checked unless cleared), the document (opened by its
        association through the open button), the screen saver (handed to
        rundll32 after the wizard, whatever the box says)."""
        extra = []
        if document:
            extra.append({"name": "notes.e2edoc", "data": b"notes", "role": "document"})
        if saver:
            extra.append({"name": "e2e.scr", "data": b"saver", "special": "screenSaver"})
        p = Product(s, extra=extra)
        setup = p.build()
        # The association and "rundll32" are the stand-in, which notes how it was called.
        marker = s.machine.windows_path(os.path.join(s.tools["windows"], "marker.exe"))
        s.machine.reg_add("HKLM\\Software\\Classes\\.e2edoc", "", "E2E.Document")
        s.machine.reg_add("HKLM\\Software\\Classes\\E2E.Document\\shell\\open\\command", "",
                          f'"{marker}" "%1"')
        shutil.copy(os.path.join(s.tools["windows"], "marker.exe"),
                    os.path.join(os.path.dirname(s.machine.unix_path(setup)), "rundll32.exe"))
        s.step("start", setup)
        through_pages(s, [0, 2, 3], p.folder)
        s.next().page(4).page(5).step("state", 1015, "visible", "checked")
        s.step("state", 1014, "visible" if document else "hidden")
        if document:
            s.step("click", 1014)
        if clear_box:
            s.step("click", 1015).step("state", 1015, "unchecked")
        s.shot("finish-" + name.replace("_", "-")).cancel().step("exit", 0).drive()
        p.expect_installed()
        expect(len(s.marker("app.exe")) == (0 if clear_box else 1), f"app.exe: {s.marker('app.exe')}")
        opened = s.marker("marker.exe")
        expect(len(opened) == (1 if document else 0) and
               (not document or "notes.e2edoc" in opened[0].lower()), f"document: {opened}")
        handed = s.marker("rundll32.exe")
        expect(len(handed) == (1 if saver else 0) and
               (not saver or "desk.cpl,InstallScreenSaver " in handed[0] and
                handed[0].lower().endswith("e2e.scr")), f"screen saver: {handed}")
    return run


for row in FINISH_OFFERS:
    finish_offers(*row)


# --- removable media -----------------------------------------------------------------------------

def temp_folder(s):
    """The unix path of the Windows user's temporary folder (made on first use)."""
    folder = s.machine.unix_path(s.machine.shell_folder("Temp"))
    os.makedirs(folder, exist_ok=True)
    return folder


@scenario("removable")
def relaunch_from_floppy_with_disk_prompts(s):
    """Started from the removable A:, setup copies itself to %TEMP%\\_inst0.exe
    and relaunches as `"...\\_inst0.exe" /S"A:\\SETUP.EXE" /DEL`, which schedules
    its own deletion. The volumes are asked for as disks 2 and 3: OK while
    the disk is missing asks again, Cancel then No asks again, the disk put
    in and OK goes on, for every volume. A second run cancelled at the
    prompt says (6,15) and ends on the finish page with that error."""
    p = Product(s, extra=[{"name": f"vol{i}.bin", "data": noise(30000, f"{s.name}{i}"),
                           "placement": "uninstall"} for i in range(3)])
    setup = s.machine.unix_path(p.build(p.project(volumeSize=40000)))
    package = os.path.dirname(setup)
    volumes = sorted(n for n in os.listdir(package) if n != "SETUP.EXE")
    expect(len(volumes) >= 2, f"the package is SETUP.EXE and {volumes}")
    floppy = s.machine.unix_path("A:\\")
    for name in os.listdir(floppy):
        os.unlink(os.path.join(floppy, name))
    shutil.copy(setup, floppy)
    for name in os.listdir(temp_folder(s)):
        if name.lower().startswith("_inst"):
            os.unlink(os.path.join(temp_folder(s), name))
    # Volume k is disk k + 1.
    disk = {k + 2: s.t(6, 28).replace("%d", str(k + 2)) for k in range(len(volumes))}
    volume = {k + 2: s.machine.windows_path(os.path.join(package, name))
              for k, name in enumerate(volumes)}
    s.step("start", "A:\\SETUP.EXE").step("exit", 0).step("follow")
    # The copy's path is quoted, so that a temporary folder with spaces works.
    s.step("cmdline", '"%TEMP%\\_inst0.exe" /S"A:\\SETUP.EXE" /DEL')
    through_pages(s, [0, 2, 3], p.folder)
    s.next().page(4).answer("ok", disk[2]).step("wait", "box", disk[2]).shot("disk-prompt")
    s.answer("cancel", disk[2]).answer("no", s.t(6, 13))
    for number, name in zip(sorted(disk), volumes):
        s.step("wait", "box", disk[number]).step("copy", volume[number], "A:\\" + name)
        s.answer("ok", disk[number])
    s.page(5).cancel().step("exit", 0).drive()
    p.expect_installed()
    renames = s.pending_renames()
    expect(any(old.lower().endswith("\\_inst0.exe") and new == "" for old, new in renames),
           f"the temporary copy is not deleted at restart: {renames}")
    # Once more with disk 2 missing, cancelled at its prompt.
    os.unlink(os.path.join(floppy, "SETUP.D01"))
    s.step("start", "A:\\SETUP.EXE").step("exit", 0).step("follow")
    through_pages(s, [0, 2, 3], p.folder)
    # The run stops with error 15, which the finish page reports.
    s.next().page(4).answer("cancel", disk[2]).answer("yes", s.t(6, 13))
    s.answer("ok", s.t(6, 15)).page(5).step("expect", 1000, s.t(5, 4).replace("%s", s.t(6, 15)))
    s.cancel().step("exit", 0).drive()


# --- files in use, read-only targets, shared System files ----------------------------------------

def in_use(family, restart):
    @scenario("in_use", f"in_use_{family}_{'restart' if restart else 'later'}")
    def run(s):
        """A shared System file held open is replaced at the next restart
        (NT: PendingFileRenameOperations; 98: a [Rename] line of WININIT.INI)
        and its SharedDLLs count goes from 2 to 3; a read-only target in the
        install folder is asked about (6,7), replaced and stays read-only.
        The finish page offers the restart: Back reads (7,6), the notice
        (5,7) stands in its line. Declined, the replacement stays due;
        accepted (the file let go by then), Windows restarts and puts the
        new file in place."""
        dll = f"e2e{family}.dll"
        system = "C:\\windows\\system32\\" + dll
        p = Product(s, program=False, extra=[
            {"name": dll, "data": noise(5000, s.name), "folder": "system", "shared": True}])
        p.build()
        system_folder = s.machine.unix_path("C:\\windows\\system32")
        for name in os.listdir(system_folder):
            if name.lower().startswith(f"e2e{family}."):
                os.unlink(os.path.join(system_folder, name))
        with open(os.path.join(system_folder, dll), "wb") as f:
            f.write(b"old shared library")
        shared_key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
        s.machine.reg_add(shared_key, system, "2", "REG_DWORD")
        forget_restart_work(s)
        os.makedirs(s.machine.unix_path(p.folder))
        s.made_folders.add(p.folder)
        readme = s.machine.unix_path(p.folder) + "/readme.txt"
        with open(readme, "wb") as f:
            f.write(b"old read me")
        os.chmod(readme, 0o444)
        s.machine.set_version("win98" if family == "98" else None)
        try:
            s.step("start", s.setup_path).step("hold", system)
            through_pages(s, [0, 2, 3], p.folder)
            s.next().answer("yes", s.t(6, 7)).page(4).page(5).step("state", 1007, "enabled")
            s.step("expect", 1007, s.t(7, 6))
            blank = [s.t(5, 2) == "", s.t(5, 3) == ""]
            s.step("expect", 1001 if blank[0] else 1002 if blank[1] else 1003, s.t(5, 7))
            s.shot(f"finish-restart-{family}").step("release", system)
            if restart:
                s.step("click", 1007).step("sleep", 1000)  # Wine restarts: the setup is ended
            else:
                s.cancel().step("exit", 0)
            s.drive()
        finally:
            s.machine.set_version(None)
        fresh = p.sources["src-" + dll]
        if restart:  # the restart runs on in Wine's own processes: let it finish
            for _ in range(100):
                if s.read(system) == fresh and s.pending_renames() == []:
                    break
                time.sleep(0.2)
        p.expect_installed()
        expect(not os.access(readme, os.W_OK), "the replaced read-only file is writable")
        s.expect_registry(shared_key, {system: "0x3"})
        if restart:
            expect(s.read(system) == fresh, "the restart did not put the new file in place")
            expect(s.pending_renames() == [], f"moves left after the restart: {s.pending_renames()}")
            return
        expect(s.read(system) == b"old shared library", "the file in use was replaced at once")
        if family == "nt":
            moves = s.pending_renames()
            expect(any(new.lower().endswith("\\" + dll) for _, new in moves), f"no move: {moves}")
            source = next(old for old, new in moves if new.lower().endswith("\\" + dll))
        else:
            rename = s.ini("C:\\windows\\wininit.ini")
            source = rename.get(("rename", system.lower()))
            expect(source is not None, f"no [Rename] line for {system}: {rename}")
        source = source.replace("\\??\\", "")
        expect(s.read(source) == fresh, f"{source} is not the new file")
    return run


for family in ("nt", "98"):
    for restart in (False, True):
        in_use(family, restart)


# --- earlier installations, a second instance ---------------------------------------------------------

@scenario("earlier")
def earlier_installation_removed(s):
    """With removePrevious, the other component's registered uninstaller runs
    with /X, and the install waits for it to end."""
    old = Product(s, name=s.name + " old", folder=s.root + "\\Old")
    new = Product(s, name=s.name + " new", folder=s.root + "\\New")
    old.build(old.project([old.component(), new.component()], settings={"removePrevious": True}),
              [new])
    uninstaller = s.root + "\\Old\\olduninst.exe"
    os.makedirs(s.machine.unix_path(s.root + "\\Old"))
    shutil.copy(os.path.join(s.tools["windows"], "marker.exe"), s.machine.unix_path(uninstaller))
    s.machine.reg_add(UNINSTALL_KEY + old.name, "UninstallString", uninstaller)
    s.step("start", s.setup_path).page(0).next().page(9).step("click", 1022)
    through_pages(s, [9, 2, 3], new.folder, 1)
    install_and_finish(s, 1)
    s.drive()
    new.expect_installed()
    ran = s.marker("olduninst.exe")
    expect(len(ran) == 1 and ran[0].endswith(" /X"), f"the uninstaller ran as {ran}")
    ended = os.path.getmtime(os.path.join(s.markers, "olduninst.exe.txt"))
    first = os.path.getmtime(s.machine.unix_path(new.folder + "\\readme.txt"))
    expect(ended <= first, "the install went on before the uninstaller ended")


@scenario("earlier")
def second_instance(s):
    """A second setup started while the first shows a page ends at once with
    0, opens nothing, and the first comes to the front."""
    p = Product(s)
    p.build()
    s.step("start", s.setup_path).page(0).step("alone", s.setup_path).page(0)
    s.cancel().confirm_cancel().step("exit", 0).drive()


# --- damaged packages ------------------------------------------------------------------------------

def product_with_a_flipped_byte(s):
    """The test product, built, with one byte of its table's stored data
    flipped, and an older table already in the install folder."""
    p = Product(s)
    setup = s.machine.unix_path(p.build())
    table = p.sources["src-data-table.bin"]
    with open(setup, "rb") as f:
        data = bytearray(f.read())
    at = data.find(table[1000:1064])
    expect(at > 0, "the noise is not stored as it is")
    data[at + 10] ^= 0x55
    with open(setup, "wb") as f:
        f.write(data)
    os.makedirs(s.machine.unix_path(p.folder + "\\data"))
    s.made_folders.add(p.folder)
    with open(s.machine.unix_path(p.folder + "\\data\\table.bin"), "wb") as f:
        f.write(b"older table")
    return p


@scenario("damaged")
def damaged_file_data(s):
    """One byte of a file's stored data flipped: error 21 on the finish page
    in one text (1003 emptied), exit 0; the older file in its place stays as
    it was, no temporary file is left, nothing after it is installed."""
    p = product_with_a_flipped_byte(s)
    s.step("start", s.setup_path)
    through_pages(s, [0, 2, 3], p.folder)
    s.next().page(4).page(5)
    s.step("expect", 1000, s.t(5, 4).replace("%s", s.texts.error(21, p.folder + "\\data\\table.bin")))
    s.step("expect", 1003, "").step("state", 1001, "hidden")
    s.cancel().step("exit", 0).drive()
    left = s.files_under(p.folder)
    expect(left.get("data\\table.bin") == b"older table", "the older file was touched")
    expect(not any("$" in n for n in left), f"a temporary file is left: {sorted(left)}")
    s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", None)


@scenario("damaged")
def volume_cut_short(s):
    """A volume file cut short: error 18 names it on the finish page."""
    p = Product(s, extra=[{"name": f"vol{i}.bin", "data": noise(30000, f"{s.name}{i}"),
                           "placement": "uninstall"} for i in range(2)])
    setup = s.machine.unix_path(p.build(p.project(volumeSize=40000)))
    volume = os.path.join(os.path.dirname(setup), "SETUP.D01")
    with open(volume, "rb") as f:
        whole = f.read()
    with open(volume, "wb") as f:
        f.write(whole[:len(whole) // 2])
    s.step("start", s.setup_path)
    through_pages(s, [0, 2, 3], p.folder)
    s.next().page(4).page(5)
    s.step("expect", 1000, s.t(5, 4).replace("%s", s.texts.error(18, s.machine.windows_path(volume))))
    s.cancel().step("exit", 0).drive()
    expect(not any("$" in n for n in s.files_under(p.folder)), "a temporary file is left")


# --- quiet installs ----------------------------------------------------------------------------------

def log_lines(s, windows_path):
    """The lines of a /L log, each split at its tabs; every line must end in CR LF."""
    text = s.read(windows_path).decode("latin-1")
    expect(text.endswith("\r\n"), f"the log does not end a line: {text[-80:]!r}")
    lines = text[:-2].split("\r\n")
    expect(all("\n" not in line and "\r" not in line for line in lines), f"a broken line in {lines}")
    return [line.split("\t") for line in lines]


def expect_lines(lines, wanted):
    """Every line of WANTED is in LINES, in this order (others may lie between)."""
    at = 0
    for want in wanted:
        while at < len(lines) and lines[at] != want:
            at += 1
        expect(at < len(lines), f"no line {want} in order in:\n" +
               "\n".join("\t".join(line) for line in lines))


def quiet(s, arguments, code, setup=None):
    """One quiet run of SETUP (the scenario's setup file) with ARGUMENTS: it
    must end with CODE and show no window, nor may any copy it starts."""
    s.step("start", f'"{setup or s.setup_path}" {arguments}').step("quiet", code)


def one_line(text):
    """A message as the log keeps it: its line breaks and tabs made spaces."""
    return text.replace("\r", " ").replace("\n", " ").replace("\t", " ")


@scenario("quiet")
def quiet_clean_install(s):
    """/Q installs component 0 into its own folder, made for it, without a
    window of any kind, and ends with 0: files, registry and INI values,
    shortcuts, uninstall log and registration are all there. /L logs the
    folder, every file, the desktop and Start-menu shortcuts, the INI and
    registry values and then the result. The program to run after setup is
    not started."""
    p = Product(s)
    p.build()
    log = s.root + "\\setup.log"
    quiet(s, f'/Q /L "{log}"', 0)
    s.drive()
    p.expect_installed()
    expect(s.marker("app.exe") == [], "the program ran after a quiet install")
    folder = p.folder
    lines = log_lines(s, log)
    expect_lines(lines, [
        ["folder", folder, "made"],
        ["installed", folder + "\\uninst.exe", "new"],
        ["installed", folder + "\\app.exe", "new"],
        ["shortcut", p.desktop_link(), folder + "\\app.exe"],
        ["installed", folder + "\\readme.txt", "new"],
        ["installed", folder + "\\data\\table.bin", "new"],
        ["uninstaller", folder + "\\uninst.exe", "log appended"],
        ["shortcut", p.menu_link(), "app.exe"],
        ["ini", f"C:\\windows\\e2e-{s.name}.ini", f"[Setup] Folder={folder}"],
        ["registry", f"HKCU\\Software\\E2E\\{s.name}\\Folder", folder],
    ])
    expect(lines[-1] == ["result", "installed", "exit code 0"], f"the last line is {lines[-1]}")
    expect(sum(line[0] == "installed" for line in lines) == len(p.installed),
           f"not one line per file: {lines}")


@scenario("quiet")
def quiet_keeps_newer_file(s):
    """A file on the machine whose version is newer than the package's is
    kept without a question; everything else installs, exit 0."""
    with open(s.machine.drive_c("windows", "system32", "kernel32.dll"), "rb") as f:
        newer = f.read()
    p = Product(s, extra=[{"name": "ver.dll", "data": b"older library" * 100,
                           "checkVersion": True,
                           "version": {"file": "1.0.0.0", "product": "1.0.0.0"}}])
    p.installed["ver.dll"] = newer
    p.build()
    os.makedirs(s.machine.unix_path(p.folder))
    with open(s.machine.unix_path(p.folder + "\\ver.dll"), "wb") as f:
        f.write(newer)
    log = s.root + "\\setup.log"
    quiet(s, f'/Q /L "{log}"', 0)
    s.drive()
    # The kept file is no file of this setup's: the uninstall log leaves it out.
    s.expect_files(p.folder, p.installed)
    s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", {"Folder": p.folder})
    expect("ver.dll" not in s.uninstall_log(p.folder + "\\uninst.exe"), "the kept file is logged")
    expect_lines(log_lines(s, log), [["skipped", p.folder + "\\ver.dll", "newer on the machine"],
                                     ["result", "installed", "exit code 0"]])


@scenario("quiet")
def quiet_file_in_use_waits_for_restart(s):
    """A file in the install folder held open by another program is not
    asked about: the new one waits for the restart (a pending move), the
    others install, and the exit code is 3010. No restart is started."""
    forget_restart_work(s)
    p = Product(s)
    p.build()
    readme = p.folder + "\\readme.txt"
    os.makedirs(s.machine.unix_path(p.folder))
    with open(s.machine.unix_path(readme), "wb") as f:
        f.write(b"old read me")
    log = s.root + "\\setup.log"
    s.step("hold", readme)
    quiet(s, f'/Q /L "{log}"', 3010)
    s.step("release", readme).drive()
    expect(s.read(readme) == b"old read me", "the file in use was replaced at once")
    moves = [(old, new) for old, new in s.pending_renames() if new.lower().endswith("\\readme.txt")]
    expect(len(moves) == 1, f"no move to readme.txt: {s.pending_renames()}")
    expect(s.read(moves[0][0].replace("\\??\\", "")) == p.installed["readme.txt"],
           "the move's source is not the new file")
    expect(s.read(p.folder + "\\app.exe") == p.installed["app.exe"], "app.exe is missing")
    lines = log_lines(s, log)
    expect_lines(lines, [["scheduled", readme, "in use: at restart"]])
    expect(lines[-1] == ["result", "restart needed", "exit code 3010"], f"last line {lines[-1]}")
    forget_restart_work(s)


@scenario("quiet")
def quiet_not_enough_space(s):
    """More to install than the drive holds: the run stops before any file
    with error 11 as its exit code; the folder was made, nothing is in it."""
    folder = small_disk(s)
    p = Product(s, folder=folder, extra=[{"name": "big.bin", "data": noise(3_000_000, s.name),
                                          "placement": "uninstall"}])
    p.build()
    log = s.root + "\\setup.log"
    quiet(s, f'/Q /L "{log}"', 11)
    s.drive()
    expect(s.files_under(folder) == {}, f"files were written: {sorted(s.files_under(folder))}")
    s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", None)
    last = log_lines(s, log)[-1]
    expect(last[:2] == ["result", "failed"] and last[2].startswith("exit code 11; error 11: "),
           f"last line {last}")


@scenario("quiet")
def quiet_missing_volume(s):
    """A volume missing from the package's folder stops the run with 15,
    from a fixed disk as from the removable A:. From A: the setup relaunches
    from the temporary folder: the copy keeps /Q and /L (no window, its log),
    and the first process waits for it and ends with its exit code."""
    p = Product(s, extra=[{"name": f"vol{i}.bin", "data": noise(30000, f"{s.name}{i}"),
                           "placement": "uninstall"} for i in range(3)])
    setup = s.machine.unix_path(p.build(p.project(volumeSize=40000)))
    package = os.path.dirname(setup)
    os.unlink(os.path.join(package, "SETUP.D01"))
    log = s.root + "\\setup.log"
    quiet(s, f'/Q /L "{log}"', 15)
    floppy = s.machine.unix_path("A:\\")
    for name in os.listdir(floppy):
        os.unlink(os.path.join(floppy, name))
    for name in os.listdir(package):
        shutil.copy(os.path.join(package, name), floppy)
    floppy_log = s.root + "\\floppy.log"
    quiet(s, f'/Q /L "{floppy_log}"', 15, setup="A:\\SETUP.EXE")
    s.drive()
    for path in (log, floppy_log):
        lines = log_lines(s, path)
        expect(lines[-1][:2] == ["result", "failed"] and
               lines[-1][2].startswith("exit code 15; error 15: "), f"{path}: last line {lines[-1]}")
    s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", None)


@scenario("quiet")
def quiet_damaged_package(s):
    """One byte of a file's stored data flipped: exit 21; the older file in
    its place stays as it was, no temporary file is left, the finishing step
    never runs."""
    p = product_with_a_flipped_byte(s)
    log = s.root + "\\setup.log"
    quiet(s, f'/Q /L "{log}"', 21)
    s.drive()
    left = s.files_under(p.folder)
    expect(left.get("data\\table.bin") == b"older table", "the older file was touched")
    expect(not any("$" in n for n in left), f"a temporary file is left: {sorted(left)}")
    s.expect_registry(f"HKCU\\Software\\E2E\\{s.name}", None)
    s.expect_registry(UNINSTALL_KEY + p.name, None)
    target = p.folder + "\\data\\table.bin"
    expect_lines(log_lines(s, log), [
        ["failed", target, "error 21: " + one_line(s.texts.error(21, target))],
        ["result", "failed", "exit code 21; error 21: " + one_line(s.texts.error(21, target))]])


@scenario("quiet")
def quiet_unloadable_package(s):
    """A package cut in its records, or in its file data (which the wizard
    reports with (6, 31)), cannot be loaded: exit code -1 without any
    window. Windows reports it as 0xFFFFFFFF; a Unix shell under Wine sees
    its low eight bits, 255."""
    p = Product(s)
    cuts = dict(cut_packages(s, p))
    for cut in cuts.values():
        quiet(s, "/Q", -1, setup=s.machine.windows_path(cut))
    s.drive()
    result = s.machine.run([cuts["DATA.EXE"], "/Q"], timeout=60)
    expect(result.returncode == 255, f"the shell saw {result.returncode}")
    expect(not s.exists(p.folder), "something was installed")


@scenario("quiet")
def quiet_component_and_folder(s):
    """/C 1 /F "folder" installs the second component into that folder (made
    for it); the first is not installed. A folder with a character Windows
    forbids ends with 5, a component the package lacks with 87; nothing is
    made for either."""
    first = Product(s, name=s.name + " one", folder=s.root + "\\One")
    second = Product(s, name=s.name + " two", folder=s.root + "\\Two")
    first.build(first.project([first.component(), second.component()]), [second])
    chosen = s.root + "\\Chosen Place\\Deeper"
    quiet(s, f'/q -C 1 /F "{chosen}"', 0)
    quiet(s, f'/Q /F "{s.root}\\bad<name>"', 5)
    quiet(s, "/Q /C 7", 87)
    quiet(s, "/Q /C x", 87)
    s.drive()
    second.expect_installed(chosen)
    expect(not s.exists(first.folder) and not s.exists(second.folder),
           "a component's own folder was made")
    expect(sorted(os.listdir(s.machine.unix_path(s.root))) == ["Chosen Place"],
           f"{s.root} holds {os.listdir(s.machine.unix_path(s.root))}")


@scenario("quiet")
def wizard_run_logs(s):
    """/L without /Q: the wizard runs as ever, and the log has its files,
    values and result, the result written when the wizard has ended."""
    p = Product(s)
    p.build()
    log = s.root + "\\wizard.log"
    s.step("start", f'"{s.setup_path}" /L "{log}"')
    through_pages(s, [0, 2, 3], p.folder)
    install_and_finish(s)
    s.drive()
    p.expect_installed()
    lines = log_lines(s, log)
    expect_lines(lines, [["installed", p.folder + "\\readme.txt", "new"],
                         ["registry", f"HKCU\\Software\\E2E\\{s.name}\\Folder", p.folder]])
    expect(lines[-1] == ["result", "installed"], f"the last line is {lines[-1]}")


# --- the Win32 backend on the real API -------------------------------------------------------------

SESSION_MANAGER = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"


def wininit_path(s):
    """WININIT.INI in whatever case it was written, or None."""
    found = [n for n in os.listdir(s.machine.drive_c("windows")) if n.lower() == "wininit.ini"]
    return s.machine.drive_c("windows", found[0]) if found else None


def forget_restart_work(s):
    """No replacement left due from an earlier scenario or run."""
    s.machine.reg_delete(SESSION_MANAGER, "PendingFileRenameOperations")
    if wininit_path(s):
        os.unlink(wininit_path(s))


def platform_check(family):
    @scenario("platform", "platform_check_" + family)
    def run(s):
        """platform_check.exe runs the Win32 backend as the setup does: the
        expanded folders, a registry value (seen by `reg query` too), an INI
        value and the flush (which answers 0), folders made, the stored case,
        a delayed move (NT) or WININIT.INI lines (98), the version resource,
        a shell link, and an uninstaller started with /X and waited for
        without spinning."""
        root = s.root
        forget_restart_work(s)
        s.machine.set_version("win98" if family == "98" else None)
        try:
            result = s.machine.run([os.path.join(s.tools["windows"], "platform_check.exe"),
                                    family, root], timeout=120)
        finally:
            s.machine.set_version(None)
        out = result.stdout.decode("latin-1").replace("\r", "")
        escaped = re.escape(root)
        for line in (f"family={family}", r"windows=C:\\windows", r"system=C:\\windows\\system(32)?",
                     r"programfiles=C:\\Program Files", r"registry=C:\\Registry Check",
                     "ini=Value written=1 flushed=0", "folders=0",
                     rf"canonical={escaped}\\Mixed Case Folder", "replace=1 delete1=1 delete2=1",
                     "version_signature=feef04bd", "link=0",
                     r'child_command="[A-Za-z]:\\.*platform_check.exe" /X 2000',
                     r"process=ended exit=3 .*cpu_ms=\d+.*"):
            expect(re.search(f"^{line}$", out, re.M), f"no line {line!r} in:\n{out}")
        cpu = int(re.search(r"cpu_ms=(\d+)", out).group(1))
        expect(cpu < 500, f"the wait for the uninstaller used {cpu} ms of CPU")
        s.expect_registry("HKCU\\Software\\SetupCheck", {"Folder": "C:\\Registry Check"})
        expect(s.ini(root + "\\check.ini").get(("check", "key")) == "Value", "check.ini lacks Key=Value")
        expect(s.exists(root + "\\Made\\One\\Two"), "no Made\\One\\Two")
        expect(os.path.getsize(s.machine.unix_path(root + "\\Check.lnk")) > 0, "no shell link")
        if family == "nt":
            moves = s.pending_renames()
            expect(any(old.lower().endswith("\\target.$$a") for old, _ in moves),
                   f"no delayed move: {moves}")
            expect(wininit_path(s) is None, "WININIT.INI written on NT")
        else:
            expect(wininit_path(s) is not None, "no WININIT.INI on Windows 98")
            with open(wininit_path(s), "rb") as f:
                lines = f.read().decode("latin-1").replace("\r", "").split("\n")
            expect("[Rename]" in lines, f"no [Rename] section: {lines}")
            expect(any(re.match(r"(?i)^C:\\[^=]*\\TARGET\.DLL=C:\\[^=]*\\TARGET\.\$\$A$", l)
                       for l in lines), f"no replacement line: {lines}")
            expect(sum(bool(re.match(r"(?i)^NUL=C:\\[^=]*\\GONE[12]\.TMP$", l)) for l in lines) == 2,
                   f"not two NUL= lines: {lines}")
            expect(not any(l.startswith("xyz=") for l in lines), "a placeholder line is left")
        forget_restart_work(s)
    return run


for family in ("nt", "98"):
    platform_check(family)


def bitmap(width, height, bits):
    """A BMP file of a simple pattern: 8-bit with a ramp palette, or 24-bit."""
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

# --- the uninstaller: its own module, in the group "uninstall" ------------------------------

import uninstall_scenarios  # noqa: E402

uninstall_scenarios.register(sys.modules[__name__])


def run_scenarios(machine, tools, chosen, shots=None):
    failed = []
    for group, name, function in chosen:
        started = time.time()
        s = Scenario(name, machine, tools, os.path.join(machine.root, "work", name))
        s.shots = shots
        try:
            function(s)
            if s.steps:
                s.drive()
            print(f"ok      {group}/{name} ({time.time() - started:.1f} s)", flush=True)
        except Failure as failure:
            failed.append(name)
            print(f"FAILED  {group}/{name} ({time.time() - started:.1f} s): {failure}", flush=True)
        except Exception:  # a fault of the suite itself is a failure too
            failed.append(name)
            print(f"FAILED  {group}/{name}:\n{traceback.format_exc()}", flush=True)
    return failed


@contextlib.contextmanager
def small_disk_mounted():
    """A tmpfs of SMALL_DISK_KIB for the run, named in SETUP_E2E_SMALL_DISK
    (which the unprivileged run inherits). Mounting needs root, or sudo
    without a password; where it is refused the full-disk scenarios fail and
    say why."""
    sudo = [] if os.geteuid() == 0 else ["sudo", "-n"]
    folder = os.path.join(os.environ.get("SETUP_E2E_ROOT") or tempfile.gettempdir(),
                          "setup-e2e-small-disk")
    os.makedirs(folder, exist_ok=True)
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    mounted = False
    if not sudo or shutil.which("sudo"):
        subprocess.run(sudo + ["umount", folder], **quiet)
        mounted = subprocess.run(sudo + ["mount", "-t", "tmpfs", "-o",
                                         f"size={SMALL_DISK_KIB}k,mode=0777", "tmpfs", folder],
                                 **quiet).returncode == 0
    if mounted:
        os.environ["SETUP_E2E_SMALL_DISK"] = folder
    try:
        yield
    finally:
        if mounted:
            subprocess.run(sudo + ["umount", folder])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--mkpkg")
    parser.add_argument("--pkgtool")
    parser.add_argument("--group", action="append", default=[])
    parser.add_argument("--only", action="append", default=[])
    parser.add_argument("--screenshots", help="a folder for the pictures the scenarios take")
    parser.add_argument("--time-limit", type=int,
                        help="seconds the caller allows; shortly before, where each thread "
                             "stands is printed, so that a hang says where it hangs")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    if args.screenshots:
        args.screenshots = os.path.abspath(args.screenshots)
    if os.geteuid() == 0:  # Wine runs as the unprivileged user
        with small_disk_mounted():
            return wine_session.drop_privileges([os.path.abspath(__file__)] + sys.argv[1:])
    if os.environ.get("SETUP_E2E_SMALL_DISK"):  # mounted by the process that started this one
        return run_suite(args)
    with small_disk_mounted():
        return run_suite(args)


def run_suite(args):
    if args.time_limit:
        faulthandler.dump_traceback_later(max(args.time_limit - 20, 1))
    arch = wine_session.announce_build()
    if arch is None:
        return wine_session.SKIP

    chosen = [(g, n, f) for g, n, f in SCENARIOS
              if (not args.group or g in args.group) and (not args.only or n in args.only)]
    if not chosen:
        print("no scenario chosen")
        return 1
    started = time.time()
    drives = {"a": (os.path.join(wine_session.default_root(arch), "floppy"), "floppy")}
    os.makedirs(drives["a"][0], exist_ok=True)
    if os.environ.get("SETUP_E2E_SMALL_DISK"):
        drives["s"] = (os.environ["SETUP_E2E_SMALL_DISK"], None)
    with wine_session.WineMachine(arch, wine_session.default_root(arch), drives) as machine:
        shots = None
        if args.screenshots:
            shots = os.path.join(machine.root, "shots")
            shutil.rmtree(shots, ignore_errors=True)
            os.makedirs(shots)
        failed = run_scenarios(machine, tools_of(args.build, wine_session.BUILD_FOLDERS[arch], args.mkpkg, args.pkgtool), chosen, shots)
        if shots:
            save_screenshots(shots, args.screenshots)
    print(f"{len(chosen) - len(failed)} of {len(chosen)} scenarios passed on the {arch} build "
          f"in {time.time() - started:.0f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
