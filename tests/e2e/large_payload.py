"""Makes the large payload of the unpacking cases: about 56 MB of Wine's own DLLs, a name in
mixed case and a nested archive whose entries have names found nowhere else, packed by the
packer into OUT/large.eek. Run at build time on the build machine: under emulation the packing
alone took minutes.

    large_payload.py EEKPACK OUT"""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

WINE_DLLS = Path("/usr/lib/i386-linux-gnu/wine/i386-windows")
# Packed to over twice the size of the shipped payload.
DLLS = ("wined3d.dll", "shell32.dll", "msxml3.dll", "user32.dll", "comctl32.dll")
INNER = ("Inner-Notes.txt", "inner-table.dat")
MIXED = "MixedCase.Txt"


def sources(out: Path) -> list:
    """The files packed into large.eek, in its order."""
    return [WINE_DLLS / name for name in DLLS] + [out / "Nested.eek", out / MIXED]


def pack(eekpack: str, archive: Path, files: list) -> None:
    archive.unlink(missing_ok=True)
    subprocess.run([eekpack, "create", str(archive), *map(str, files)], check=True, capture_output=True)


def main() -> int:
    eekpack, out = sys.argv[1], Path(sys.argv[2])
    missing = [name for name in DLLS if not (WINE_DLLS / name).exists()]
    if missing:
        print(f"large_payload.py: Wine's DLLs {missing} are not in {WINE_DLLS} (package wine32:i386)",
              file=sys.stderr)
        return 1
    out.mkdir(parents=True, exist_ok=True)
    texts = ("only inside the nested archive\r\n" * 50, "".join(f"{i:08x}" for i in range(4000)))
    for name, text in zip(INNER, texts):
        (out / name).write_text(text, encoding="ascii")
    pack(eekpack, out / "Nested.eek", [out / name for name in INNER])
    (out / MIXED).write_bytes(b"a name in mixed case\r\n" * 100)
    pack(eekpack, out / "large.eek", sources(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
