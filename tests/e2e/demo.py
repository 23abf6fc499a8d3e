#!/usr/bin/env python3
"""The demo under Wine: builds examples/demo with mkpkg around the setup.exe
this machine can run, works its wizard through every page with
setup_driver.exe as a person would, and prints what the installation left;
then removes it with the built-in uninstaller (quietly), restarts Windows,
and prints how the machine differs from before the install.

    demo.py --build BUILD

BUILD holds release/ (mkpkg, pkgtool), win32/ and win64/. Exit codes: 0 done,
1 failed, 77 skipped (neither Wine can run here).
"""

import argparse
import datetime
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Failure, Scenario, expect, save_screenshots, tools_of  # noqa: E402
from uninstall_scenarios import changes  # noqa: E402
import wine_session  # noqa: E402

DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "demo")
PRODUCT_KEY = "Software\\Example\\Product"
WINDOWS_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion"


def source(name):
    with open(os.path.join(DEMO, "files", name), "rb") as f:
        return f.read()


def drive_wizard(s, folder):
    """Every page, Back once (Destination to Component choice), yes to making
    the folder; the finish page is closed with the program left unrun, as the
    demo's app.exe is only data."""
    s.step("start", s.setup_path).page(0).shot("1-welcome").next()
    s.page(1).step("expect", 1000, s.t(1, 1)).shot("2-information").next()
    s.page(9).step("state", 1021, "visible", "checked").step("click", 1021).shot("3-components")
    s.next().page(2).back().page(9).next()
    s.page(2).step("expect", 1004, folder).shot("4-destination").next().answer("yes", s.t(6, 6))
    s.page(3).shot("5-ready").next().page(4).page(5).step("expect", 1000, s.t(5, 1))
    # What the finish page offers: the document (readme) and the program.
    s.step("state", 1014, "visible").step("state", 1015, "visible", "checked").shot("7-finish")
    s.step("click", 1015).step("state", 1015, "unchecked").cancel().step("exit", 0)
    try:
        s.drive()
    except Failure as failure:
        raise Failure(f"the wizard did not go through every page to the end: {failure}")


def show_files(s, folder, expected, everything=True):
    """Each file below FOLDER (only the EXPECTED ones in a crowded system
    folder): size, time, and how it compares with EXPECTED[name], the source's
    bytes or (test, what the test means)."""
    names = s.files_under(folder) if everything else [n for n in expected if s.exists(f"{folder}\\{n}")]
    found = {n.lower(): n for n in names}
    print(f"== files in {folder}")
    faults = []
    for key in sorted(set(found) | {n.lower() for n in expected}):
        want = next((v for n, v in expected.items() if n.lower() == key), None)
        if key not in found:
            ok, verdict, size, stamp = False, "MISSING", 0, ""
        else:
            path = f"{folder}\\{found[key]}"
            data, seconds = s.read(path), os.stat(s.machine.unix_path(path)).st_mtime
            size = len(data)
            stamp = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
            if want is None:
                ok, verdict = False, "NOT IN THE PROJECT"
            elif isinstance(want, bytes):
                ok = data == want
                verdict = "same as the source" if ok else "DIFFERENT from the source"
            else:
                ok = want[0](data)
                verdict = want[1] if ok else f"DIFFERENT: not {want[1]}"
        print(f"  {found.get(key, key):<22} {size:>7} bytes  {stamp:<20}  {verdict}")
        if not ok:
            faults.append(f"{folder}\\{found.get(key, key)}: {verdict}")
    expect(not faults, "; ".join(faults))


def settings_written(data, folder):
    """settings.ini after the install: the INI entry added the date to
    [Options], and the file patch put the folder after Marker=."""
    text = data.decode("latin-1").replace("\r\n", "\n")
    source_lines = [line for line in source("settings.ini").decode().split("\n") if line]
    lines = [line for line in text.split("\n") if line]
    dates = [line for line in lines if re.fullmatch(r"InstallDate=\d{8}", line)]
    rest = [line for line in lines if line not in dates]
    return len(dates) == 1 and rest == source_lines[:-1] + [f"Marker={folder}"]


def show_installation(s, folder):
    # The built-in uninstaller, its texts, then the log.
    with open(os.path.join(s.tools["windows"], "uninstall.exe"), "rb") as f:
        uninstaller = f.read()
    show_files(s, folder, {
        "app.exe": source("app.exe"), "docs\\readme.txt": source("readme.txt"),
        "docs\\license.txt": source("license.txt"),
        "settings.ini": (lambda d: settings_written(d, folder),
                         "the source with the install date added and the folder after Marker="),
        "uninstall.exe": (lambda d: d.startswith(uninstaller) and len(d) > len(uninstaller),
                          "the built-in uninstaller, its texts, then the log")})
    # The project's "folder": "system" and "fonts".
    show_files(s, "C:\\windows\\system32", {"exshared.dll": source("shared.dll")}, everything=False)
    show_files(s, "C:\\windows\\Fonts", {"example.ttf": source("example.ttf")}, everything=False)
    print("== registry")
    # SharedDLLs: where the count of the shared system file is raised.
    for key in ("HKLM\\" + PRODUCT_KEY, "HKCU\\" + PRODUCT_KEY, WINDOWS_KEY + "\\Uninstall\\Example Product",
                WINDOWS_KEY + "\\SharedDLLs"):
        values = s.machine.reg_query(key)
        print(f"  {key}" + ("" if values else "  (missing)"))
        for name, (kind, data) in sorted((values or {}).items()):
            print(f"    {name or '(default)'} = {data}  [{kind}]")
    s.expect_registry("HKLM\\" + PRODUCT_KEY, {"Path": folder, "Version": "1.0"})
    s.expect_registry("HKCU\\" + PRODUCT_KEY, {"": folder + "\\app.exe"})
    s.expect_registry(WINDOWS_KEY + "\\Uninstall\\Example Product",
                      {"DisplayName": "Example Product", "UninstallString": folder + "\\uninstall.exe"})
    print("== INI files")
    ini = {p: s.ini(p) if s.exists(p) else {} for p in ("C:\\windows\\example.ini", folder + "\\settings.ini")}
    for path, entries in ini.items():
        print(f"  {path}" + ("".join(f"\n    [{section}] {key} = {value}"
                                     for (section, key), value in entries.items()) or "  (missing)"))
    expect(ini["C:\\windows\\example.ini"].get(("example", "path")) == folder,
           "example.ini does not name the install folder")
    print("== shortcuts")
    for shell in ("Desktop", "Programs"):
        base = s.machine.shell_folder(shell)
        for name in [n for n in s.files_under(base) if n.lower().endswith(".lnk")]:
            fields = s.shortcut(f"{base}\\{name}")
            print(f"  {base}\\{name}\n    -> {fields.get('Local path', '?')} "
                  f"{fields.get('Command line arguments', '')}")
    s.expect_shortcut(f"{s.machine.shell_folder('Desktop')}\\Example Product.lnk", folder + "\\app.exe")
    s.expect_shortcut(f"{s.machine.shell_folder('Programs')}\\Example Product\\Example Product.lnk",
                      folder + "\\app.exe")
    print("== uninstall log (pkgtool uninstall-log)")
    print("  " + s.uninstall_log(folder + "\\uninstall.exe").rstrip().replace("\n", "\n  "))


# What the uninstaller leaves by design, each with why.
LEFT_BY_DESIGN = [
    (r"software\\example", "the component's registry list (values the setup wrote from its lists stay)"),
    (r"c:\\windows\\example\.ini", "the component's INI list"),
    (r"exshared\.dll", "the shared file whose count reached 0: a quiet uninstall keeps it, at 0"),
    (r"shareddlls$", "the key of shared-file counts, which this fresh machine did not have yet"),
]


def uninstall_and_compare(s, folder, before):
    """uninstall.exe /Q /L, a restart, and every difference from BEFORE."""
    log = os.path.join(s.work, "uninstall.log")
    code = s.machine.run([folder + "\\uninstall.exe", "/Q", "/L", s.machine.windows_path(log)]).returncode
    print(f"== uninstall.exe /Q /L: exit code {code}")
    with open(log, "rb") as f:
        print("  " + f.read().decode("latin-1").rstrip().replace("\r\n", "\n  "))
    expect(code == 0, f"the uninstaller exited with {code}")
    s.machine.restart()
    found = changes(before, s.machine.snapshot(), [])
    print(f"== after the restart: the machine against its state before the install "
          f"(every file of C:, HKLM\\Software and HKCU\\Software)")
    unexplained = []
    for line in found:
        why = next((why for pattern, why in LEFT_BY_DESIGN if re.search(pattern, line)), None)
        print(f"  {line}" + (f"\n      left by design: {why}" if why else "\n      UNEXPECTED"))
        if why is None:
            unexplained.append(line)
    expect(not unexplained, f"{len(unexplained)} differences nobody explains")
    print("  nothing else differs")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--screenshots", help="a folder for pictures of the pages")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    code = wine_session.drop_privileges([os.path.abspath(__file__)] + sys.argv[1:])
    if code is not None:
        return code
    arch = wine_session.announce_build()
    if arch is None:
        return wine_session.SKIP
    tools = tools_of(build, wine_session.BUILD_FOLDERS[arch])
    # A prefix of the demo's own, made anew each run: what is printed is what
    # one installation did to a clean machine (the folder question, the
    # only-if-missing INI value and the keep-existing registry value depend on it).
    root = os.path.join(os.environ.get("SETUP_E2E_ROOT") or
                        os.path.join(tempfile.gettempdir(), f"setup-demo-{arch}-{os.getuid()}"), "demo")
    shutil.rmtree(root, ignore_errors=True)
    try:
        with wine_session.WineMachine(arch, root=root) as machine:
            s = Scenario("demo", machine, tools, os.path.join(root, "work"))
            if args.screenshots:
                s.shots = os.path.join(root, "shots")
                os.makedirs(s.shots)
            with open(os.path.join(DEMO, "project.json")) as f:
                project = json.load(f)
            # The files as the project names them; mkpkg puts the volume files
            # next to SETUP.EXE in work/package, where the setup looks for them.
            s.build(project, {f"files/{n}": source(n) for n in os.listdir(os.path.join(DEMO, "files"))})
            package = os.path.dirname(machine.unix_path(s.setup_path))
            print("package:", ", ".join(f"{n} ({os.path.getsize(os.path.join(package, n))} bytes)"
                                        for n in sorted(os.listdir(package))), flush=True)
            folder = machine.reg_query(WINDOWS_KEY)["ProgramFilesDir"][1] + "\\Example Product"
            before = machine.snapshot()
            drive_wizard(s, folder)
            print("the wizard went through every page and finished", flush=True)
            show_installation(s, folder)
            uninstall_and_compare(s, folder, before)
            if args.screenshots:
                save_screenshots(s.shots, os.path.abspath(args.screenshots))
    except (Failure, subprocess.CalledProcessError) as failure:
        detail = getattr(failure, "stderr", b"") or b""  # what mkpkg or pkgtool said
        print(f"FAILED: {failure} {detail.decode(errors='replace')}".rstrip())
        return 1
    print("demo: done")
    return 0


if __name__ == "__main__":
    sys.exit(main())
