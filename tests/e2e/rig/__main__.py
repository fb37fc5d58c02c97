"""python3 tests/e2e/rig session start|stop NAME, or run PROGRAM [ARG...]: the Windows test
programs' Wine, behind scripts/wine-session and scripts/wine-run (rig.units)."""

import sys
from pathlib import Path

if not __package__:
    # Run as a folder: the package is imported from the folder that holds it.
    sys.path[0] = str(Path(__file__).resolve().parents[1])

from rig.units import main  # noqa: E402

sys.exit(main(sys.argv[1:]))
