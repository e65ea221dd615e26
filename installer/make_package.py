#!/usr/bin/env python3
"""Builds Twinkla's Windows Installer packages with msitools' wixl.

usage: make_package.py --version V --publisher P --out-dir DIR
           --wine-run WINE_RUN --harvester HARVEST_EXE
           --dll64 DLL --host64 EXE --live64 EXE --dll32 DLL --host32 EXE --live32 EXE
           [--arch x64|x86 ...]

Writes DIR/Twinkla-V-x64.msi and DIR/Twinkla-V-x86.msi (or the ones --arch
names) and prints their paths. The registry rows are those the 64-bit DLL's
own DllRegisterServer writes, read by twinkla-harvest under Wine; both DLLs are
built from the one registration table, and each component writes the rows in
its own registry view with its own installed path."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))


def fail(message):
    sys.exit("make_package: " + message)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def formatted(text):
    """Literal text in a Windows Installer formatted field: brackets are escaped."""
    return "".join({"[": "[\\[]", "]": "[\\]]"}.get(c, c) for c in text)


def harvest(wine_run, harvester, dll):
    run = subprocess.run([wine_run, harvester, windows_path(dll)], capture_output=True,
                         timeout=300)
    if run.returncode != 0:
        fail("harvesting the registration of %s failed:\n%s" % (dll, run.stderr.decode(
            "utf-8", "replace")))
    rows = [line.split("\t") for line in run.stdout.decode("utf-8").splitlines() if line]
    if any(len(row) != 5 for row in rows):
        fail("the harvester printed a row that isn't root, key, name, kind, data")
    if not any(row[3] == "module" for row in rows):
        fail("registration names no module path; the package would register nothing to load")
    return rows


def registration_include(rows):
    """The rows as an include file; $(var.DllId) names the component's DLL."""
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             "<!-- Generated from the rows DllRegisterServer writes. -->", "<Include>"]
    for root, key, name, kind, data in rows:
        if kind == "module":
            value = "[#$(var.DllId)]"
        elif data == "" or data.startswith("#"):
            # An empty value would become "create the key only", and a leading
            # "#" a number: neither is the text registration writes.
            fail("the value %r under %s can't be written as text by a package" % (name, key))
        else:
            value = formatted(data)
        attributes = ["Root=" + quoteattr(root), "Key=" + quoteattr(formatted(key))]
        if name:
            attributes.append("Name=" + quoteattr(formatted(name)))
        attributes += ['Type="string"', "Value=" + quoteattr(value)]
        lines.append("  <RegistryValue %s/>" % " ".join(attributes))
    lines.append("</Include>")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    for option in ("version", "publisher", "out-dir", "wine-run", "harvester", "dll64", "host64",
                   "live64", "dll32", "host32", "live32"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--arch", action="append", choices=("x64", "x86"))
    args = parser.parse_args()
    wixl = shutil.which("wixl")
    if wixl is None:
        fail("wixl is missing (Debian package wixl; tools/bootstrap installs it)")
    for path in (args.dll64, args.host64, args.live64, args.dll32, args.host32, args.live32):
        if not os.path.isfile(path):
            fail("%s is missing: build it first" % path)

    rows = harvest(args.wine_run, args.harvester, args.dll64)
    os.makedirs(args.out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        # wixl takes sources relative to the folder it runs in.
        for arch, dll, host, live in (("x64", args.dll64, args.host64, args.live64),
                                      ("x86", args.dll32, args.host32, args.live32)):
            os.mkdir(os.path.join(work, arch))
            shutil.copyfile(dll, os.path.join(work, arch, "Twinkla.dll"))
            shutil.copyfile(host, os.path.join(work, arch, "twinkla-host.exe"))
            shutil.copyfile(live, os.path.join(work, arch, "twinkla-live.exe"))
        with open(os.path.join(work, "registration.wxi"), "w", encoding="utf-8") as include:
            include.write(registration_include(rows))
        for arch in args.arch or ["x64", "x86"]:
            out = os.path.abspath(
                os.path.join(args.out_dir, "Twinkla-%s-%s.msi" % (args.version, arch)))
            command = [wixl, "-a", arch, "-I", work, "-o", out, "-D", "Version=" + args.version,
                       "-D", "Publisher=" + args.publisher, "-D", "Arch=" + arch,
                       os.path.join(HERE, "twinkla.wxs")]
            built = subprocess.run(command, cwd=work, capture_output=True, text=True)
            if built.returncode != 0:
                fail("wixl failed for %s:\n%s%s" % (out, built.stdout, built.stderr))
            print(out)


if __name__ == "__main__":
    main()
