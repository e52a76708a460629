#!/usr/bin/python3
"""Reads a built quillmere.dll without running it.

  dllinfo.py version DLL             prints the version string of the version resource
  dllinfo.py check --machine M DLL   checks what the dock relies on and exits 1 with the
                                     list of faults: machine type M (i386 or x86-64), the
                                     fourteen entry points exported undecorated and nothing
                                     else, system DLLs only imported, a version resource

Runs under Debian's own Python (python3-pefile) on any machine, so a broken build fails
even where Wine cannot run it.
"""
import sys

import pefile

# The entry points the dock looks up by name, exactly as it spells them.
ENTRY_POINTS = {
    "OnGetInformation", "OnCreate", "OnDestroy", "OnSave", "OnExportFiles",
    "OnProcessMessage", "OnLeftButtonClick", "OnRightButtonClick", "OnDoubleClick",
    "OnLeftButtonHeld", "OnConfigure", "OnAbout", "ConfigureDocklet", "AboutDocklet",
}

# DLLs every Windows installation has in its system folder. Anything else (the MinGW
# runtimes libgcc_s, libstdc++, libwinpthread among them) would not load in the dock.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "gdiplus.dll",
    "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "shell32.dll", "shlwapi.dll", "urlmon.dll", "user32.dll", "uxtheme.dll",
    "version.dll", "winhttp.dll", "ws2_32.dll", "mlang.dll", "msxml3.dll",
}

MACHINES = {"i386": 0x14C, "x86-64": 0x8664}


def string_version(pe):
    """The "FileVersion" string of the version resource, or None."""
    for info in getattr(pe, "FileInfo", None) or []:
        for entry in info:
            if entry.Key != b"StringFileInfo":
                continue
            for table in entry.StringTable:
                value = table.entries.get(b"FileVersion")
                if value:
                    return value.decode("utf-8", "replace").rstrip("\0")
    return None


def faults(path, machine):
    pe = pefile.PE(path)
    found = []
    if pe.FILE_HEADER.Machine != MACHINES[machine]:
        found.append("machine is 0x%04x, not %s" % (pe.FILE_HEADER.Machine, machine))
    if not pe.is_dll():
        found.append("not a DLL")

    exports = set()
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        exports = {s.name.decode() for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name}
    for name in sorted(ENTRY_POINTS - exports):
        found.append("entry point not exported: " + name)
    for name in sorted(exports - ENTRY_POINTS):
        found.append("unexpected export: " + name)

    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = entry.dll.decode().lower()
        if dll not in SYSTEM_DLLS and not dll.startswith("api-ms-win-"):
            found.append("imports a DLL that is not the system's: " + entry.dll.decode())

    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    version = string_version(pe)
    if not fixed or not version:
        found.append("no version resource with a FileVersion string")
    else:
        info = fixed[0]
        numbers = "%d.%d.%d.%d" % (info.FileVersionMS >> 16, info.FileVersionMS & 0xFFFF,
                                   info.FileVersionLS >> 16, info.FileVersionLS & 0xFFFF)
        if not version.startswith(numbers):
            found.append("FileVersion %r does not match the numbers %s" % (version, numbers))
    return found


def main(argv):
    if len(argv) == 3 and argv[1] == "version":
        version = string_version(pefile.PE(argv[2]))
        if not version:
            print("no version resource in " + argv[2], file=sys.stderr)
            return 1
        print(version)
        return 0
    if len(argv) == 5 and argv[1] == "check" and argv[2] == "--machine" and argv[3] in MACHINES:
        found = faults(argv[4], argv[3])
        for fault in found:
            print("%s: %s" % (argv[4], fault))
        if not found:
            print("%s: %s, fourteen entry points, system imports only, version %s"
                  % (argv[4], argv[3], string_version(pefile.PE(argv[4]))))
        return 1 if found else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
