"""The uninstaller under Wine: a product installed through the wizard, then
removed by our uninstall.exe, plainly (its questions answered by the
driver) or quietly, on both families; then Windows restarts, and the whole
prefix (every file of C: and every registry value of HKLM and HKCU) must be
as it was before the install, but for the differences each scenario names.

scenarios.py registers these in its group "uninstall" (see register()).
"""

import os
import re

from harness import expect

SHARED_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
FONT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "demo",
                    "files", "example.ttf")

# The uninstaller's own texts, as mkpkg writes them by default.
CONFIRM = "Do you want to remove {} and all of its files from your computer?"
DONE = "{} was removed from your computer."
LEFT = "These items were left:"
RESTART = "Windows must be restarted to complete the removal."
SHARED = ("The shared file\n{}\nis no longer used by the programs that counted it. Other "
          "programs may still need it.\n\nDo you want to remove it?")
DAMAGED = "The uninstall information is damaged or missing. Nothing was removed."
NOT_EMPTY = "holds files the setup did not install"

# What changes on a Wine prefix by itself, or by the way the suite works,
# whatever the programs under test do: Wine's own bookkeeping keys, the
# restart's traces, the driver's and Wine's temporary files.
WINE_NOISE = [
    r"^(key|value) hkey_local_machine\\system\\currentcontrolset\\control\\session manager",
    r"^(key|value) hkey_local_machine\\software\\wine",
    r"^(key|value) hkey_current_user\\software\\wine",
    r"^(key|value) hkey_local_machine\\hardware",
    r"^(key|value) hkey_local_machine\\system\\currentcontrolset\\services",
    r"^(key|value) hkey_current_user\\volatile environment",
    r"^(key|value) hkey_local_machine\\software\\microsoft\\windows nt\\currentversion\\perflib",
    r"^(key|value) hkey_current_user\\software\\microsoft\\windows\\currentversion\\explorer",
    r"^(key|value) hkey_local_machine\\software\\microsoft\\windows\\currentversion\\explorer",
    r"^(folder|file) c:\\users\\[^\\]+\\temp",
    r"^(folder|file) c:\\windows\\temp",
    r"^file c:\\windows\\wininit\.(ini|bak)",
]


def changes(before, after, allowed):
    """The lines that appeared or went away, less those ALLOWED explains."""
    patterns = [re.compile(p) for p in WINE_NOISE + allowed]
    left = sorted(("+ " + line for line in after - before), key=str.lower)
    left += sorted(("- " + line for line in before - after), key=str.lower)
    return [line for line in left if not any(p.search(line[2:]) for p in patterns)]


def expect_as_before(s, before, allowed, family="nt", folder=None):
    """After the restart; on the 98 family the product's folder stays (an
    empty folder WININIT.INI cannot delete)."""
    if family == "98":
        allowed = allowed + [r"^folder " + re.escape(folder.lower()) + "$"]
    s.machine.restart()
    found = changes(before, s.machine.snapshot(), allowed)
    expect(not found, "the machine differs from before the install:\n  " + "\n  ".join(found[:40]))


class Product:
    """A product with everything the uninstall log can name: files in the
    folder and below it, a desktop and a Start-menu shortcut, a shared
    System file, a font, a self-registering library; one registry value
    from the component's list (which the uninstaller leaves)."""

    def __init__(self, s, name=None, folder=None, shared="e2e-shared.dll"):
        self.s = s
        self.name = name or f"E2E {s.name}"
        self.folder = folder or s.root + "\\App"
        self.shared = "C:\\windows\\system32\\" + shared
        self.font = f"e2e{abs(hash(self.name)) % 10000}.ttf"
        with open(FONT, "rb") as f:
            font = f.read()
        self.sources = {"app.exe": s.program("marker.exe"), "readme.txt": b"read me\r\n" * 50,
                        "table.bin": bytes(range(256)) * 20, "selfreg.dll": s.program("selfreg.dll"),
                        "shared.dll": b"shared library of the suite\r\n" * 40, "font.ttf": font}
        self.files = [
            {"name": "uninstall.exe", "uninstaller": True},
            {"source": "app.exe", "name": "app.exe", "placement": "uninstall",
             "shortcut": {"folder": self.name, "name": "App"}, "desktop": {"name": self.name}},
            {"source": "readme.txt", "name": "readme.txt", "placement": "uninstall"},
            {"source": "table.bin", "name": "data\\deep\\table.bin", "placement": "uninstall"},
            {"source": "selfreg.dll", "name": "selfreg.dll", "placement": "uninstall",
             "special": "selfRegister"},
            {"source": "shared.dll", "name": shared, "folder": "system", "shared": True,
             "placement": "uninstall"},
            {"source": "font.ttf", "name": self.font, "folder": "fonts", "placement": "uninstall"},
        ]
        # What an earlier scenario or run may have left of the same names.
        s.machine.reg_delete(UNINSTALL_KEY + self.name)
        s.machine.reg_delete(f"HKCU\\Software\\E2E\\{s.name}")
        s.machine.reg_delete(SHARED_KEY, self.shared)
        if s.exists(self.shared):
            os.unlink(s.machine.unix_path(self.shared))

    def build(self, folder="package"):
        project = {"title": self.name, "strings": {"6": {"0": f"{self.name} Setup"}},
                   "components": [{
                       "displayName": self.name, "defaultFolder": self.folder,
                       "folderEditable": True, "files": self.files,
                       "registry": [{"root": "HKCU", "key": f"Software\\E2E\\{self.s.name}",
                                     "value": "Folder", "data": "#InstallDir#"}]}]}
        return self.s.build(project, self.sources, folder=folder)

    def install(self, setup_path):
        """Through the wizard: Welcome, Destination (the folder made), Ready,
        the install, Finish."""
        s = self.s
        s.step("start", setup_path)
        s.page(0).next().page(2).next().answer("yes", s.t(6, 6)).page(3)
        s.next().page(4).page(5).step("expect", 1000, s.t(5, 1))
        s.cancel().step("exit", 0).drive()
        expect(s.exists(self.uninstaller()), "the uninstaller was not installed")
        expect(s.exists(self.shared), "the shared file was not installed")

    def uninstaller(self):
        return self.folder + "\\uninstall.exe"

    def menu_folder(self):
        return f"{self.s.machine.shell_folder('Programs')}\\{self.name}"

    def uninstall_quietly(self, *switches):
        s = self.s
        result = s.machine.run([self.uninstaller()] + list(switches),
                               env={"SETUP_E2E_MARKERS": s.machine.windows_path(s.markers)})
        return result.returncode

    def shared_count(self):
        values = self.s.machine.reg_query(SHARED_KEY) or {}
        value = next((v for k, v in values.items() if k.lower() == self.shared.lower()), None)
        return None if value is None else int(value[1], 16)

    def expect_gone_now(self):
        """What goes at once: everything but the uninstaller and its folder."""
        s = self.s
        expect(s.files_under(self.folder).keys() == {"uninstall.exe"},
               f"{self.folder} still holds {sorted(s.files_under(self.folder))}")
        expect(not s.exists(self.menu_folder()), "the Start-menu group is still there")
        expect(not s.exists(f"{s.machine.shell_folder('Desktop')}\\{self.name}.lnk"),
               "the desktop shortcut is still there")
        s.expect_registry(UNINSTALL_KEY + self.name, None)
        expect(s.marker("selfreg.dll") == ["register", "unregister"],
               f"the library's registration calls: {s.marker('selfreg.dll')}")


def register(suite):
    scenario = suite.scenario

    def family_scenario(name, function):
        for family in ("nt", "98"):
            def run(s, family=family):
                s.machine.set_version("win98" if family == "98" else None)
                try:
                    function(s, family)
                finally:
                    s.machine.set_version(None)
            scenario("uninstall", f"{name}_{family}")(run)

    def plain(s, family):
        """Installed, then removed as from "Add/Remove Programs": one
        question, then the shared file that no program counts any more
        (removed), then the closing message. After the restart the machine
        is as before but for the value of the component's registry list."""
        suite.forget_restart_work(s)
        p = Product(s)
        setup = p.build()
        before = s.machine.snapshot()
        p.install(setup)
        installed = changes(before, s.machine.snapshot(), [])
        for wanted in (p.folder + "\\data\\deep\\table.bin", p.shared, p.menu_folder() + "\\app.lnk"):
            expect(any(line.startswith("+ file " + wanted.lower()) for line in installed),
                   f"the snapshot misses {wanted}: {installed}")
        expect(p.shared_count() == 1, f"the shared count is {p.shared_count()}")
        s.step("start", p.uninstaller()).answer("yes", CONFIRM.format(p.name))
        s.answer("yes", SHARED.format(p.shared))
        s.answer("ok", DONE.format(p.name) + "\n\n" + RESTART).step("exit", 0).drive()
        p.expect_gone_now()
        expect(not s.exists(p.shared), "the shared file was kept")
        expect(p.shared_count() is None, "the shared count is still there")
        expect_as_before(s, before, [r"hkey_current_user\\software\\e2e"], family, p.folder)

    family_scenario("uninstall_plain", plain)

    def quiet(s, family):
        """/Q: no window, no question; the shared file whose count reaches 0
        is kept, its count at 0; the exit code is 0 and the log names every
        removal."""
        suite.forget_restart_work(s)
        p = Product(s)
        setup = p.build()
        before = s.machine.snapshot()
        p.install(setup)
        log = os.path.join(s.work, "uninstall.log")
        code = p.uninstall_quietly("/Q", "/L", s.machine.windows_path(log))
        expect(code == 0, f"uninstall /Q exited with {code}")
        p.expect_gone_now()
        expect(s.exists(p.shared) and p.shared_count() == 0,
               f"the shared file: there {s.exists(p.shared)}, count {p.shared_count()}")
        with open(log, "rb") as f:
            lines = f.read().decode("latin-1").split("\r\n")
        for wanted in (f"removed\t{p.folder}\\readme.txt", f"removed\t{p.folder}\\data\\deep",
                       f"kept\t{p.shared}\tcount 0", f"restart\t{p.uninstaller()}",
                       f"result\t{p.name}\t0"):
            expect(wanted in lines, f"the log lacks {wanted!r}:\n" + "\n".join(lines))
        shared = re.escape(p.shared.lower().split("\\")[-1])
        expect_as_before(s, before, [r"hkey_current_user\\software\\e2e",
                                     r"^file c:\\windows\\system32\\" + shared,
                                     r"sharedDLLs".lower()], family, p.folder)

    family_scenario("uninstall_quiet", quiet)

    @scenario("uninstall")
    def uninstall_file_in_use(s):
        """/X while the program is running: its file is deleted at the
        restart, with the folders above it; the exit code says so (3010)."""
        suite.forget_restart_work(s)
        p = Product(s)
        setup = p.build()
        before = s.machine.snapshot()
        p.install(setup)
        app = p.folder + "\\app.exe"
        s.step("hold", app).step("start", p.uninstaller() + " /X").step("exit", 3010)
        s.step("release", app).drive()
        expect(s.exists(app), "the file in use is gone already")
        moves = [old.replace("\\??\\", "").lower() for old, new in s.pending_renames() if new == ""]
        expect(app.lower() in moves and moves.index(app.lower()) < moves.index(p.folder.lower()),
               f"the deletions due at the restart: {moves}")
        expect_as_before(s, before, [r"hkey_current_user\\software\\e2e", r"sharedDLLs".lower(),
                                     r"^file c:\\windows\\system32\\e2e-shared\.dll"])

    @scenario("uninstall")
    def uninstall_shared_by_two_products(s):
        """Two products install the same shared file: its count is 2. The
        first removed (quietly) lowers it to 1 and leaves the file; the
        second removed plainly asks, and the file and its count go."""
        suite.forget_restart_work(s)
        one = Product(s, name=f"E2E {s.name} one", folder=s.root + "\\One")
        two = Product(s, name=f"E2E {s.name} two", folder=s.root + "\\Two")
        setup = one.build("one")
        before = s.machine.snapshot()
        one.install(setup)
        two.install(two.build("two"))
        expect(one.shared_count() == 2, f"the shared count is {one.shared_count()}")
        expect(one.uninstall_quietly("/X") == 0, "uninstall /X failed")
        expect(s.exists(one.shared) and one.shared_count() == 1,
               f"after one: there {s.exists(one.shared)}, count {one.shared_count()}")
        s.step("start", two.uninstaller()).answer("yes", CONFIRM.format(two.name))
        s.answer("yes", SHARED.format(two.shared))
        s.answer("ok", DONE.format(two.name) + "\n\n" + RESTART).step("exit", 0).drive()
        expect(not s.exists(two.shared) and two.shared_count() is None, "the shared file stayed")
        expect_as_before(s, before, [r"hkey_current_user\\software\\e2e"])

    @scenario("uninstall")
    def uninstall_leaves_the_users_files(s):
        """Files of the user's in the product's folders stay, and so do the
        folders that hold them; the closing message names the folder."""
        suite.forget_restart_work(s)
        p = Product(s)
        setup = p.build()
        before = s.machine.snapshot()
        p.install(setup)
        mine = {p.folder + "\\notes.txt": b"my notes", p.folder + "\\data\\mine.txt": b"mine"}
        for path, data in mine.items():
            with open(s.machine.unix_path(p.folder) + path[len(p.folder):].replace("\\", "/"),
                      "wb") as f:
                f.write(data)
        s.step("start", p.uninstaller()).answer("yes", CONFIRM.format(p.name))
        s.answer("yes", SHARED.format(p.shared))
        s.answer("ok", DONE.format(p.name) + "\n\n" + LEFT + "\n" +
                 f"{p.folder}\\data ({NOT_EMPTY})" + "\n\n" + RESTART).step("exit", 0).drive()
        for path, data in mine.items():
            expect(s.read(path) == data, f"{path} was touched")
        folder = re.escape(p.folder.lower())
        expect_as_before(s, before, [r"hkey_current_user\\software\\e2e",
                                     r"^folder " + folder + r"(\\data)?$",
                                     r"^file " + folder + r"\\(notes|data\\mine)\.txt "])

    @scenario("uninstall")
    def uninstall_with_a_damaged_log(s):
        """An uninstaller whose log is cut short removes nothing: plainly it
        says so, quietly it exits with 1."""
        suite.forget_restart_work(s)
        p = Product(s)
        p.install(p.build())
        path = s.machine.unix_path(p.uninstaller())
        with open(path, "r+b") as f:
            f.truncate(os.path.getsize(path) - 5)
        installed = s.files_under(p.folder)
        s.step("start", p.uninstaller()).answer("ok", DAMAGED).step("exit", 1).drive()
        expect(p.uninstall_quietly("/Q") == 1, "the quiet run did not fail")
        expect(s.files_under(p.folder) == installed, "files were removed")
        s.expect_registry(UNINSTALL_KEY + p.name, {"DisplayName": p.name})
