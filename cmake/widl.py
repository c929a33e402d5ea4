#!/usr/bin/python3
# Runs widl and gives the type library that it writes (-T TLB) a fixed time, 1970-01-01 00:00:00
# UTC: widl records the time it ran at in the library's custom data ("Created by WIDL version ...
# at <time>" and the time itself), which would make the DLL that carries the library differ from
# one build to the next.
#   widl.py WIDL ARGS...
import os
import struct
import subprocess
import sys
import time

args = sys.argv[1:]
tlb = args[args.index("-T") + 1]
start = int(time.time())
subprocess.run(args, check=True, env=dict(os.environ, TZ="UTC"))
end = int(time.time())
with open(tlb, "rb") as f:
    data = f.read()
stamped = data
for t in range(start - 1, end + 2):
    # ctime's text (asctime of the same time) and the time as a VT_UI4 value.
    stamped = stamped.replace(b" at " + time.asctime(time.gmtime(t)).encode(), b" at " + time.asctime(time.gmtime(0)).encode())
    stamped = stamped.replace(b"\x13\x00" + struct.pack("<I", t), b"\x13\x00" + struct.pack("<I", 0))
if len(stamped) != len(data) or stamped.count(b" at Thu Jan  1 00:00:00 1970") != 1 or \
        stamped.count(b"\x13\x00" + struct.pack("<I", 0)) < 1:
    sys.exit(f"widl.py: {tlb}: no time of widl's found")
with open(tlb, "wb") as f:
    f.write(stamped)
