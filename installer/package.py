#!/usr/bin/python3
# The Windows Installer package of a Quorin.dll, made by wixl from the wxs: the same input gives
# the same bytes.
#   package.py WIXL WXS VERSION DLL OUTPUT
# The product code and the package code are name-based UUIDs of what the package holds (the
# version, the DLL's and the wxs's SHA-256): a rebuilt DLL gets a product of its own, which
# replaces the installed one of the same version (see the wxs). wixl takes the file's time from
# the DLL and the package code and the times of the summary information from nowhere it can be
# told; the file is staged with the release's time (cmake/source-date-epoch.sh) and the summary
# information written afterwards.
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid

import olefile

# The codes' namespace: the package's upgrade code.
NAMESPACE = uuid.UUID("3558ED61-FD62-471E-B2AA-978009C30E3B")
SUMMARY = "\x05SummaryInformation"
# Properties of the summary information: the revision number (the package code), created, saved.
REVISION, CREATED, SAVED = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def code(kind, version, dll, wxs):
    return str(uuid.uuid5(NAMESPACE, f"Quorin {kind} {version} {sha256(dll)} {sha256(wxs)}")).upper()


# The summary information stream is a property set with one section; its values keep their sizes,
# so the stream is written back in place.
def stamp_summary(msi, package_code, epoch):
    with olefile.OleFileIO(msi, write_mode=True) as ole:
        data = bytearray(ole.openstream(SUMMARY).read())
        section = struct.unpack_from("<I", data, 44)[0]
        found = set()
        for i in range(struct.unpack_from("<I", data, section + 4)[0]):
            pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
            at = section + offset
            kind = struct.unpack_from("<I", data, at)[0]
            if pid in (CREATED, SAVED) and kind == VT_FILETIME:
                struct.pack_into("<Q", data, at + 4, (epoch + 11644473600) * 10**7)
            elif pid == REVISION and kind == VT_LPSTR:
                text = ("{%s}" % package_code).encode() + b"\0"
                if struct.unpack_from("<I", data, at + 4)[0] != len(text):
                    sys.exit(f"package.py: {msi}: the revision number is not a GUID")
                data[at + 8:at + 8 + len(text)] = text
            else:
                continue
            found.add(pid)
        if found != {REVISION, CREATED, SAVED}:
            sys.exit(f"package.py: {msi}: the summary information lacks {sorted({REVISION, CREATED, SAVED} - found)}")
        ole.write_stream(SUMMARY, bytes(data))


def main():
    wixl, wxs, version, dll, output = sys.argv[1:6]
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    epoch = int(subprocess.run(["bash", os.path.join(root, "cmake", "source-date-epoch.sh"), root],
                               check=True, stdout=subprocess.PIPE, text=True).stdout)
    major, minor, patch = version.split(".")
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with tempfile.TemporaryDirectory() as stage:
        # wixl finds the file's Source relative to the working directory only.
        staged = os.path.join(stage, "Quorin.dll")
        shutil.copyfile(dll, staged)
        os.utime(staged, (epoch, epoch))
        subprocess.run([wixl, "--arch", "x86", "-D", f"Version={version}",
                        "-D", f"NextVersion={major}.{minor}.{int(patch) + 1}",
                        "-D", f"ProductCode={code('product', version, dll, wxs)}",
                        "-o", os.path.abspath(output), os.path.abspath(wxs)], cwd=stage, check=True)
    stamp_summary(output, code("package", version, dll, wxs), epoch)


main()
