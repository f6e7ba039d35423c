#!/usr/bin/python3
"""Fails unless every given Windows executable is built as a hardened PE:
ASLR with high entropy (DYNAMIC_BASE, HIGH_ENTROPY_VA), DEP (NX_COMPAT),
a relocation table that ASLR can use, the stack protector linked in, and no
DLL imports beyond the system's."""
import subprocess
import sys

import pefile

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
HIGH_ENTROPY_VA = 0x0020

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
    "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll",
    "version.dll", "shlwapi.dll", "imm32.dll", "uxtheme.dll", "ws2_32.dll",
    "bcrypt.dll", "ntdll.dll", "shcore.dll", "api-ms-win-crt-runtime-l1-1-0.dll",
}


def problems(path, nm):
    pe = pefile.PE(path, fast_load=False)
    found = []
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    for bit, name in ((DYNAMIC_BASE, "DYNAMIC_BASE (ASLR)"), (HIGH_ENTROPY_VA, "HIGH_ENTROPY_VA"),
                      (NX_COMPAT, "NX_COMPAT (DEP)")):
        if not flags & bit:
            found.append(f"missing {name}")
    if pe.FILE_HEADER.Characteristics & 0x0001:
        found.append("relocations stripped: ASLR cannot move the image")
    if pe.OPTIONAL_HEADER.Magic != 0x20B:
        found.append("not a 64-bit image")
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = entry.dll.decode("ascii", "replace").lower()
        if dll not in SYSTEM_DLLS:
            found.append(f"imports {dll}, which is not a system DLL")
    symbols = subprocess.run([nm, path], capture_output=True, text=True).stdout
    if "__stack_chk_fail" not in symbols:
        found.append("the stack protector (__stack_chk_fail) is not linked in")
    return found


def main(argv):
    nm = "x86_64-w64-mingw32-nm"
    failed = False
    for path in argv[1:]:
        found = problems(path, nm)
        for p in found:
            print(f"{path}: {p}")
        failed |= bool(found)
        if not found:
            print(f"{path}: hardened")
    return 1 if failed or len(argv) < 2 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
