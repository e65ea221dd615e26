#!/usr/bin/env python3
"""The installer packages under Wine (run under tools/with-vctl COM1).

usage: installer_e2e.py --work DIR --windres WINDRES --probe64 EXE --probe32 EXE
                        -- PACKAGE_COMMAND...

PACKAGE_COMMAND is make_package.py with all but --out-dir. The test builds the
current packages, an x64 one with a lower version and another build of the
current version, installs the older and then the current one over it, and the
other build of the same version over that and back (one installation left each
time), checks files, the Start-menu shortcut, registry rows in both views, the
entry under installed programs, creation the player's way and one frame to the
virtual controller, compares the rows with what regsvr32 writes for the same
DLLs in the same place, uninstalls twice and checks what is left. Whatever
happens it uninstalls at the end and puts back the plug-in's registration and
the user's settings and their copy as it found them."""
import argparse
import filecmp
import glob
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from e2e import check, finish, vctl_messages, windows_path  # noqa: E402

parser = argparse.ArgumentParser()
for option in ("work", "windres", "probe64", "probe32"):
    parser.add_argument("--" + option, required=True)
parser.add_argument("package", nargs="+")
args = parser.parse_args()
package_options = argparse.ArgumentParser()
for option in ("version", "publisher", "dll64", "host64", "live64", "dll32", "wine-run"):
    package_options.add_argument("--" + option, required=True)
build = package_options.parse_known_args(args.package)[0]

runs32 = os.environ.get("TWINKLA_RUNS_32BIT", "yes") != "no"
prefix = os.environ["WINEPREFIX"]  # tools/with-vctl sets the project's
port = os.environ["TWINKLA_TEST_PORT"]
vctl_log = os.environ["TWINKLA_VCTL_LOG_UNIX"]
DIR64, DIR32 = r"C:\Program Files\Twinkla", r"C:\Program Files (x86)\Twinkla"
EFFECTS = r"HKLM\SOFTWARE\Microsoft\MediaPlayer\Objects\Effects\Twinkla"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
SETTINGS = r"HKCU\Software\Twinkla"
BACKUP = r"HKCU\Software\Twinkla Backup"  # the copy kept before a reset
PROGRAMS = r"Microsoft\Windows\Start Menu\Programs\Twinkla Live.lnk"
INSTALL_FAILURE, UNKNOWN_PRODUCT = 1603 & 0xFF, 1605 & 0xFF  # Wine keeps 8 bits



def wine(*command):
    return subprocess.run([build.wine_run, *command], capture_output=True, text=True,
                          errors="replace", timeout=300)



def unix_path(path):  # a C:\ path inside the prefix
    return os.path.join(prefix, "drive_c", *path[3:].split("\\"))


def shortcuts():
    """Start-menu shortcuts "Twinkla Live": in the machine's Programs folder,
    where Windows puts them for a per-machine package, or the user's, where
    Wine 8 does."""
    paths = [unix_path("C:\\ProgramData\\" + PROGRAMS)] + glob.glob(os.path.join(
        prefix, "drive_c", "users", "*", "AppData", "Roaming", *PROGRAMS.split("\\")))
    return [p for p in paths if os.path.isfile(p)]


def msiexec(*options):
    return wine("msiexec", *options, "/qn").returncode & 0xFF


def query(key, view):
    """Rows (key, name, type, data) under `key` in the 32- or 64-bit view."""
    out = wine("reg", "query", key, "/s", "/reg:" + view)
    rows, current = [], None
    for line in out.stdout.splitlines() if out.returncode == 0 else []:
        value = re.match(r"^    (.+?)    (REG_[A-Z_]+)(?:    (.*))?$", line)
        if value:
            rows.append((current, value[1], value[2], value[3] or ""))
        elif line.strip():
            current = line.strip()
    return sorted(rows)


def registration(view, clsid):
    return query("HKCR\\CLSID\\" + clsid, view) + query(EFFECTS, view)


def products():
    """(product code, version, publisher) of every installed Twinkla."""
    found = []
    for view in ("64", "32"):
        entries = {}
        for key, name, _, data in query(UNINSTALL, view):
            entries.setdefault(key, {})[name] = data
        found += [(key.rsplit("\\", 1)[1], e.get("DisplayVersion"), e.get("Publisher"))
                  for key, e in entries.items() if e.get("DisplayName") == "Twinkla"]
    return found


def value(rows, key_end, name):
    return next((r[3] for r in rows if r[0].endswith(key_end) and r[1] == name), None)


def probe(exe):
    lines = wine(exe).stdout.splitlines()
    return dict(line.split(" ", 1) for line in lines if " " in line)


def version_record(path):
    text = subprocess.run([args.windres, "-i", path, "-J", "coff", "-O", "rc"],
                          capture_output=True, text=True).stdout
    fixed = re.search(r"FILEVERSION (\d+), (\d+), (\d+), (\d+)", text)
    strings = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', text))
    return (".".join(fixed.groups()) if fixed else None, strings.get("FileVersion"),
            strings.get("ProductVersion"), strings.get("CompanyName"))


def restore(rows, view):
    for key, name, _, data in rows:
        wine("reg", "add", key, *(["/ve"] if name == "(Default)" else ["/v", name]), "/d", data,
             "/f", "/reg:" + view)


def run():
    os.makedirs(args.work, exist_ok=True)
    for path in (build.dll64, build.host64, build.live64, build.dll32):
        check(version_record(path) == (build.version,) * 3 + (build.publisher,),
              "%s carries version %s from %s" % (path, build.version, build.publisher))
    current = subprocess.run(args.package + ["--out-dir", os.path.join(args.work, "current")],
                             capture_output=True, text=True)
    old = subprocess.run(args.package + ["--out-dir", os.path.join(args.work, "old"),
                                         "--version", "0.0.1", "--arch", "x64"],
                         capture_output=True, text=True)
    twin = subprocess.run(args.package + ["--out-dir", os.path.join(args.work, "twin"),
                                          "--arch", "x64"], capture_output=True, text=True)
    if current.returncode or old.returncode or twin.returncode:
        sys.exit("building the packages failed:\n" + current.stderr + old.stderr + twin.stderr)
    x64, x86 = map(windows_path, current.stdout.split())
    older = windows_path(old.stdout.strip())
    same = windows_path(twin.stdout.strip())
    check(tuple(int(p) for p in build.version.split(".")[:3]) > (0, 0, 1),
          "the current version is above the older package's 0.0.1")

    check(msiexec("/i", x86) == INSTALL_FAILURE and not products()
          and not os.path.exists(unix_path(DIR32)),
          "the 32-bit Windows package refuses a 64-bit machine and installs nothing")
    check(msiexec("/i", older) == 0 and [p[1] for p in products()] == ["0.0.1"],
          "the older package installs")
    check(msiexec("/i", x64) == 0, "the current package installs over the older one")
    installed = products()
    check([p[1:] for p in installed] == [(build.version, build.publisher)],
          "one installation is left, listed with the current version and the publisher "
          "(got %s)" % installed)
    check(msiexec("/i", older) == INSTALL_FAILURE and products() == installed,
          "the older package refuses to go over the current one")
    # Each build has a product code of its own; the same version replaces.
    check(installed and msiexec("/i", same) == 0 and len(products()) == 1 and
          products()[0][0] != installed[0][0],
          "another build of the same version replaces the installed one (got %s)" % products())
    check(msiexec("/i", x64) == 0 and products() == installed,
          "and the current build replaces that one again (got %s)" % products())

    for built, path in ((build.dll64, DIR64 + r"\Twinkla.dll"),
                        (build.host64, DIR64 + r"\twinkla-host.exe"),
                        (build.live64, DIR64 + r"\twinkla-live.exe"),
                        (build.dll32, DIR32 + r"\Twinkla.dll")):
        target = unix_path(path)
        check(os.path.isfile(target) and filecmp.cmp(built, target, shallow=False),
              "%s is installed as built" % path)

    target = DIR64 + r"\twinkla-live.exe"
    links = [open(path, "rb").read() for path in shortcuts()]
    check(len(links) == 1 and (target.encode("utf-16-le") in links[0] or
                               target.encode("ascii") in links[0]),
          "the Start menu has \"Twinkla Live\", leading to the installed program")

    clsid = value(query(EFFECTS, "64"), "Properties", "classid") or "<none>"
    rows = {"64": registration("64", clsid), "32": registration("32", clsid)}
    for view, folder in (("64", DIR64), ("32", DIR32)):
        check(value(rows[view], "InprocServer32", "(Default)") == folder + r"\Twinkla.dll",
              "the %s-bit view registers the installed %s-bit DLL" % (view, view))
        check(value(rows[view], "Properties", "classid") == clsid,
              "the %s-bit view lists the class for the player" % view)

    offset = os.path.getsize(vctl_log)
    played = wine(DIR64 + r"\twinkla-host.exe", "--frames", "1", "--fast", "--quiet",
                  "--port", port)
    levels = vctl_messages(vctl_log, offset, kinds=("LEVEL",))
    check(played.returncode == 0 and len(levels) == 16,
          "one frame through the installed stand-in and 64-bit plug-in reaches the controller "
          "(%d commands; %s)" % (len(levels), played.stderr.strip()))
    probes = [("64", args.probe64, DIR64)] + ([("32", args.probe32, DIR32)] if runs32 else [])
    for bits, exe, folder in probes:
        created = probe(exe)
        check(created.get("create") == "0x00000000" and
              created.get("module", "").lower() == (folder + r"\Twinkla.dll").lower(),
              "the player's way creates the object from the installed %s-bit DLL (got %s)" %
              (bits, created))

    # regsvr32 rewrites both keys whole; the same rows must come back.
    for view, folder in (("64", DIR64), ("32", DIR32)) if runs32 else (("64", DIR64),):
        check(wine("regsvr32", "/s", folder + r"\Twinkla.dll").returncode == 0,
              "regsvr32 registers the installed %s-bit DLL" % view)
        check(registration(view, clsid) == rows[view],
              "the package's %s-bit rows are the ones regsvr32 writes:\n  package  %s\n"
              "  regsvr32 %s" % (view, rows[view], registration(view, clsid)))

    settings = query(SETTINGS, "64")
    wine("reg", "add", BACKUP, "/v", "Port", "/t", "REG_SZ", "/d", "COM2", "/f")
    backup = query(BACKUP, "64")
    check(msiexec("/x", x64) == 0, "the package uninstalls")
    check(not products(), "nothing is listed under installed programs")
    check(not os.path.exists(unix_path(DIR64)) and not os.path.exists(unix_path(DIR32)),
          "the installed files and folders are gone")
    check(not shortcuts(), "the Start-menu shortcut is gone")
    check(not registration("64", clsid) and not registration("32", clsid),
          "the registry rows are gone from both views")
    check(settings and query(SETTINGS, "64") == settings, "the user's settings stay as they were")
    check(backup and query(BACKUP, "64") == backup, "the copy of the settings stays as it was")
    for bits, exe, _ in probes:
        check(probe(exe) == {"classid": "<missing>", "create": "0x80040154"},
              "after uninstalling, %s-bit creation fails with class not registered" % bits)
    check(msiexec("/x", installed[0][0] if installed else "{}") == UNKNOWN_PRODUCT
          and not products() and not registration("64", clsid),
          "a second uninstall reports the product isn't installed and changes nothing")


# A persistent wineserver, started with its output in its log: one that a
# captured Wine call starts would hold that call's pipes until it exits.
subprocess.run([os.path.join(os.path.dirname(build.wine_run), "wine-prefix"), "init"], check=True)

# The prefix as it was: the plug-in's registration (other tests leave the
# build's DLLs registered) and the user's settings.
settings_file = os.path.join(args.work, "settings.reg")
os.makedirs(args.work, exist_ok=True)
had_settings = wine("reg", "export", SETTINGS, windows_path(settings_file), "/y").returncode == 0
backup_file = os.path.join(args.work, "backup.reg")
had_backup = wine("reg", "export", BACKUP, windows_path(backup_file), "/y").returncode == 0
CLSID_KEY = r"HKCR\CLSID\{BAFF119E-F7C4-4F7A-87E1-BA18B0B3289A}"
found = {view: query(CLSID_KEY, view) + query(EFFECTS, view) for view in ("64", "32")}
for code, _, _ in products():
    print("uninstalling Twinkla %s left by an earlier run" % code)
    msiexec("/x", code)


def clear_registration():
    for view in ("64", "32"):
        for key in (CLSID_KEY, EFFECTS):
            wine("reg", "delete", key, "/f", "/reg:" + view)


clear_registration()
if not runs32:
    print("32-bit checks skipped: this machine can't run 32-bit programs (TWINKLA_RUNS_32BIT=no)")
try:
    run()
finally:
    for code, _, _ in products():
        msiexec("/x", code)
    clear_registration()
    for view, rows in found.items():
        restore(rows, view)
    wine("reg", "delete", SETTINGS, "/f")
    if had_settings:
        wine("reg", "import", windows_path(settings_file))
    wine("reg", "delete", BACKUP, "/f")
    if had_backup:
        wine("reg", "import", windows_path(backup_file))

finish()
