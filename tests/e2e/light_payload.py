"""Makes the light payload of the foundation cases: the shipped payload's entries less its
patterns file, packed again by the packer into OUT. Most of those cases are about folders and
the staged archive, which do not need the 18 MB of patterns that take seconds to unpack under
emulation. Run at build time on the build machine: under emulation the decoding and packing
took a minute.

    light_payload.py EEKPACK PAYLOAD OUT"""

from __future__ import annotations

import subprocess
import sys
import tempfile
from pathlib import Path

import unpack_archive as eek


def main() -> int:
    eekpack, payload, out = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3])
    entries = [e for e in eek.read_archive(payload.read_bytes()) if eek.unpacked_name(e.stored_name) != "PATTERNS.DAT"]
    with tempfile.TemporaryDirectory() as folder:
        files = []
        for entry in entries:
            files.append(Path(folder) / entry.stored_name.decode("ascii"))
            files[-1].write_bytes(entry.data)
        out.parent.mkdir(parents=True, exist_ok=True)
        out.unlink(missing_ok=True)
        subprocess.run([eekpack, "create", str(out), *map(str, files)], check=True, capture_output=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
