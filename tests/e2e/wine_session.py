"""One Wine machine for the end-to-end suite: which build to run, the prefix,
the display, one wineserver for the whole run, and the small operations the
scenarios need (run a program, registry, Windows version, drives, paths).

The build: the i686 setup.exe under the 32-bit Wine where this machine can
start 32-bit programs; otherwise its x86_64 twin, built from the same sources,
under the 64-bit Wine. SETUP_E2E_ARCH=x86_64 (or i686) forces one. Only where
neither Wine can run is the suite skipped, with the reason.

One wineserver lives from the start of the run to its end: a new wineserver
acts as a restart of Windows and would carry out the replacements a scenario
scheduled before they were looked at.

Wine run as root opens read-only files for writing, so a run started as root
goes on as an unprivileged user (see `drop_privileges`).
"""

import hashlib
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77  # what ctest takes for "skipped"
UNPRIVILEGED_USER = "setup-e2e"

LOADERS = {"i686": "/usr/lib/wine/wine", "x86_64": "/usr/lib/wine/wine64"}
WINESERVERS = {"i686": ["/usr/lib/wine/wineserver32", "/usr/lib/wine/wineserver64"],
               "x86_64": ["/usr/lib/wine/wineserver64"]}
BUILD_FOLDERS = {"i686": "win32", "x86_64": "win64"}

# Now and then Wine fails to start a program at all, and its start.exe says
# so instead (seen on a loaded CI machine: "ShellExecuteEx failed: Internal
# error" for reg.exe). The program never ran, so it is simply started again.
NOT_STARTED = b"Application could not be started, or no application associated"
START_ATTEMPTS = 3


def _loader_runs(loader):
    """True when the Wine loader starts: a machine without 32-bit support
    fails it with "Exec format error" (126)."""
    if not os.access(loader, os.X_OK):
        return False
    try:
        return subprocess.run([loader, "--version"], capture_output=True, timeout=60).returncode == 0
    except OSError:
        return False


def choose_build():
    """(arch, None) for the build to run, or (None, reason) when none can run."""
    forced = os.environ.get("SETUP_E2E_ARCH", "")
    if forced:
        if forced not in LOADERS:
            return None, f"SETUP_E2E_ARCH={forced} is neither i686 nor x86_64"
        if not _loader_runs(LOADERS[forced]):
            return None, f"SETUP_E2E_ARCH={forced}, but {LOADERS[forced]} does not run here"
        return forced, None
    if _loader_runs(LOADERS["i686"]):
        return "i686", None
    if _loader_runs(LOADERS["x86_64"]):
        return "x86_64", None
    return None, ("this machine can run neither Wine: the 32-bit loader fails (no 32-bit support) "
                  "and the 64-bit one is missing or fails")


def announce_build():
    """The build to run, its line printed ("build: ..."); None when no Wine
    can run here, with the reason printed as a skip."""
    arch, reason = choose_build()
    if arch is None:
        print(f"SKIPPED: {reason}")
    else:
        print(f"build: {arch} setup.exe ({BUILD_FOLDERS[arch]}), "
              f"under the {'32' if arch == 'i686' else '64'}-bit Wine", flush=True)
    return arch


def default_root(arch):
    """Where a run keeps its prefix and work: SETUP_E2E_ROOT, else a folder
    of this user's in the temporary folder."""
    user = pwd.getpwuid(os.getuid()).pw_name
    return os.environ.get("SETUP_E2E_ROOT") or \
        os.path.join(tempfile.gettempdir(), f"setup-e2e-{arch}-{user}")


def drop_privileges(argv):
    """Run as root: go on as the unprivileged user in a new process (same
    arguments and environment) and return its exit code; None when already
    unprivileged. The user is made once; what it must read stays readable."""
    if os.geteuid() != 0:
        return None
    try:
        pwd.getpwnam(UNPRIVILEGED_USER)
    except KeyError:
        subprocess.run(["useradd", "--create-home", "--shell", "/usr/sbin/nologin",
                        UNPRIVILEGED_USER], check=True)
    home = pwd.getpwnam(UNPRIVILEGED_USER).pw_dir
    env = dict(os.environ, HOME=home, USER=UNPRIVILEGED_USER, LOGNAME=UNPRIVILEGED_USER)
    env.pop("XAUTHORITY", None)
    python = "/usr/bin/python3" if os.access("/usr/bin/python3", os.X_OK) else sys.executable
    command = ["runuser", "-u", UNPRIVILEGED_USER, "--", "env"] + \
        [f"{k}={v}" for k, v in env.items()] + [python] + argv
    return subprocess.run(command).returncode


class WineMachine:
    """The prefix, display and wineserver of one run; use it as a context."""

    def __init__(self, arch, root=None, drives=None):
        """DRIVES: {letter: (folder, kind)}, mapped when the run starts (Wine
        reads drive types once, when its server starts); kind "floppy" makes a
        drive removable, None leaves it fixed."""
        self.arch = arch
        self.drives = drives or {}
        self.root = root or default_root(arch)
        self.prefix = os.path.join(self.root, "prefix")
        self.loader = LOADERS[arch]
        self.wineserver = next((s for s in WINESERVERS[arch] if os.access(s, os.X_OK)), "wineserver")
        self.env = dict(os.environ)
        # The loader and our own server commands must agree on the server.
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", WINELOADER=self.loader,
                        WINESERVER=self.wineserver,
                        # No Mono or Gecko prompts, and no menu entries of the
                        # shortcuts written into the user's home.
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
                        WINEARCH="win32" if arch == "i686" else "win64")
        self._xvfb = None

    # --- lifetime ---------------------------------------------------------------

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self._stop()  # no server or display outlives a run that failed to start
            raise
        return self

    def __exit__(self, *_):
        try:
            self.set_version(None)
        finally:
            self._stop()

    def _start(self):
        os.makedirs(self.root, exist_ok=True)
        if not os.environ.get("DISPLAY"):
            self._start_display()
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            self._make_prefix()
        self._stop_server()
        # Drive links are made after the prefix's first boot, which hangs on them.
        for letter, (folder, kind) in self.drives.items():
            link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink(folder, link)
        self._server(["-p"])
        for letter, (folder, kind) in self.drives.items():
            if kind is None:
                self.reg_delete(r"HKLM\Software\Wine\Drives", letter.lower() + ":")
            else:
                self.reg_add(r"HKLM\Software\Wine\Drives", letter.lower() + ":", kind)
        # A second server start, so that the drive types are read anew.
        self._stop_server()
        self._server(["-p"])
        self.run(["wineboot"], timeout=120)  # brings the services up once

    def _stop(self):
        try:
            self._stop_server()
        finally:
            if self._xvfb is not None:
                self._xvfb.terminate()
                self._xvfb.wait()
                self._xvfb = None

    def _server(self, args, timeout=60):
        """One wineserver command. Its output goes nowhere, so that a server
        it leaves running never holds the output of the test run open."""
        subprocess.run([self.wineserver] + args, env=self.env, check=False, timeout=timeout,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def _stop_server(self):
        """Ends the wineserver and every Windows program of the prefix."""
        self._server(["-k"])
        self._server(["-w"], timeout=120)

    def _start_display(self):
        read, write = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             "-ac"], pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def _make_prefix(self):
        started = time.time()
        os.makedirs(self.prefix, exist_ok=True)
        self.run(["wineboot", "-i"], timeout=300)
        # Without a window manager, closing windows stalls unless Wine manages none.
        self.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
        self._server(["-w"], timeout=120)
        # The shell folders are links to $HOME: make them folders of the prefix.
        users = os.path.join(self.prefix, "drive_c", "users")
        for user in os.listdir(users):
            for entry in os.scandir(os.path.join(users, user)):
                if entry.is_symlink():
                    os.unlink(entry.path)
                    os.mkdir(entry.path)
        print(f"made the Wine prefix {self.prefix} in {time.time() - started:.0f} s", flush=True)

    # --- programs -------------------------------------------------------------------

    def run(self, args, timeout=120, check=False, env=None):
        """Runs a Windows program (path or name) with its arguments. Its output
        goes through files, not pipes: Wine's own processes that it may start
        inherit them and would hold a pipe open long after it ended."""
        for attempt in range(1, START_ATTEMPTS + 1):
            result = self._run_once(args, timeout, env)
            if result.returncode == 0 or NOT_STARTED not in result.stdout + result.stderr:
                break
            print(f"Wine could not start {args[0]} (attempt {attempt} of {START_ATTEMPTS})",
                  flush=True)
            time.sleep(2)
        if check and result.returncode != 0:
            raise RuntimeError(f"{args[0]} exited with {result.returncode}: "
                               f"{result.stdout.decode(errors='replace')}"
                               f"{result.stderr.decode(errors='replace')}")
        return result

    def _run_once(self, args, timeout, env):
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run([self.loader] + list(args), env=dict(self.env, **(env or {})),
                                  stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                  timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(args, code, out.read(), err.read())

    def restart(self):
        """Windows restarts: Wine carries out the delayed moves of NT and the
        [Rename] section of WININIT.INI."""
        self.run(["wineboot", "-r"], timeout=120)

    # --- the whole machine, to compare before and after ----------------------------------

    def snapshot(self):
        """The prefix as a set of lines: every folder and file of drive C:
        (files with a hash of their bytes), and every registry key and value
        of HKLM\\Software and HKCU\\Software, where programs keep their
        settings (HKLM\\System holds Wine's hardware bookkeeping, which each
        restart makes anew)."""
        lines = set()
        drive = self.drive_c()
        for folder, folders, files in os.walk(drive):
            rel = "C:" + folder[len(drive):].replace("/", "\\")
            lines.add("folder " + rel.lower())
            for name in files:
                path = os.path.join(folder, name)
                if os.path.islink(path):
                    continue
                with open(path, "rb") as f:
                    digest = hashlib.sha1(f.read()).hexdigest()
                lines.add(f"file {rel.lower()}\\{name.lower()} {digest}")
        for hive in ("HKLM\\Software", "HKCU\\Software"):
            with tempfile.TemporaryDirectory() as temp:
                out = os.path.join(temp, "hive.reg")
                self.run(["reg", "export", hive, self.windows_path(out), "/y"], timeout=120)
                with open(out, "rb") as f:
                    data = f.read()
            text = data.decode("utf-16" if data[:2] == b"\xff\xfe" else "latin-1")
            key = ""
            for line in text.replace("\\\r\n  ", "").replace("\r", "").split("\n"):
                if line.startswith("["):
                    key = line.strip("[]").lower()
                    lines.add("key " + key)
                elif line and key and not line.startswith(";"):
                    lines.add("value " + key + " : " + line)
        return lines

    # --- registry ---------------------------------------------------------------------

    def reg_add(self, key, name, data, kind="REG_SZ"):
        args = ["reg", "add", key, "/f", "/t", kind, "/d", data]
        args[3:3] = ["/ve"] if name == "" else ["/v", name]
        self.run(args, check=True)

    def reg_delete(self, key, name=None):
        args = ["reg", "delete", key, "/f"] + (["/v", name] if name is not None else [])
        self.run(args)

    def reg_query(self, key):
        """The values of one key as {name: (type, data)}; None when the key is
        missing. The default value is named ""."""
        result = self.run(["reg", "query", key])
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.decode("latin-1").replace("\r", "").split("\n"):
            match = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
            if match:
                name = "" if match.group(1) == "(Default)" else match.group(1)
                values[name] = (match.group(2), match.group(3))
        return values

    def set_version(self, version):
        """The Windows version programs see: "win98", or None for the prefix's own."""
        if version is None:
            self.reg_delete(r"HKCU\Software\Wine", "Version")
        else:
            self.reg_add(r"HKCU\Software\Wine", "Version", version)

    # --- drives and paths ---------------------------------------------------------------

    def drive_c(self, *parts):
        return os.path.join(self.prefix, "drive_c", *parts)

    def shell_folder(self, name):
        """A folder of the prefix's user: "Desktop", "Programs" or "Temp"."""
        home = "C:\\users\\" + pwd.getpwuid(os.getuid()).pw_name
        if name == "Programs":
            return home + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
        if name == "Temp":  # where Wine's TEMP points
            return home + "\\Temp"
        return home + "\\" + name

    def windows_path(self, unix_path):
        """The path as Windows programs name it: under C: for the prefix's
        drive, else under Z:."""
        unix_path = os.path.abspath(unix_path)
        drive = self.drive_c()
        if unix_path == drive or unix_path.startswith(drive + os.sep):
            return "C:" + unix_path[len(drive):].replace("/", "\\") or "C:\\"
        return "Z:" + unix_path.replace("/", "\\")

    def unix_path(self, windows_path):
        """Where a C: or Z: path of Windows lies here (letters as stored)."""
        drive, rest = windows_path[:2].upper(), windows_path[2:].replace("\\", "/").lstrip("/")
        if drive == "C:":
            return _find_case(self.drive_c(), rest)
        if drive == "Z:":
            return "/" + rest
        link = os.path.join(self.prefix, "dosdevices", drive.lower())
        return _find_case(os.path.realpath(link), rest)


def _find_case(base, rest):
    """BASE/REST with each part matched without regard to case, as Wine does."""
    path = base
    for part in [p for p in rest.split("/") if p]:
        exact = os.path.join(path, part)
        if not os.path.exists(exact) and os.path.isdir(path):
            for name in os.listdir(path):
                if name.lower() == part.lower():
                    exact = os.path.join(path, name)
                    break
        path = exact
    return path
