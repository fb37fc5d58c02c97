"""A test program's command line: --launcher, --payload, --helpers, --out, --eekpack and
--inputs (inputs the build made; ctest passes them; without them the defaults of the build
trees are used), then unittest with the remaining arguments. bench() is the program's one
Bench."""

from __future__ import annotations

import argparse
import os
import signal
import sys
import unittest
from pathlib import Path
from typing import Optional

from .bench import Bench
from .product import EXE_NAME, REPO_ROOT

_BENCH: Optional[Bench] = None


def bench() -> Bench:
    global _BENCH
    if _BENCH is None:
        # Folders a case makes are what a user's would be (rwxr-xr-x), whatever the caller's
        # umask: Wine reads others' write bits as others' right to write.
        os.umask(0o022)
        _BENCH = Bench(**vars(_parser().parse_args([])))
    return _BENCH


def _parser() -> argparse.ArgumentParser:
    build = REPO_ROOT / "build" / "windows"
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--launcher", type=Path, default=build / "bin" / EXE_NAME)
    parser.add_argument("--payload", type=Path, default=build / "payload" / "payload.eek")
    parser.add_argument("--helpers", type=Path, default=build / "bin")
    parser.add_argument("--out", type=Path, default=build / "e2e")
    parser.add_argument("--eekpack", type=Path, default=REPO_ROOT / "build" / "native" / "bin" / "eekpack")
    parser.add_argument("--inputs", type=Path, default=build / "e2e-inputs")
    return parser


def main() -> None:
    """Reads the bench's options, then runs unittest with the rest of the command line."""
    global _BENCH
    # A time limit's stop (ctest's) still ends the running prefixes and their displays.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    options, rest = _parser().parse_known_args()
    _BENCH = Bench(**vars(options))
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
