"""The checkout and the names the launcher and its sample payload give, as the rig looks for
them."""

from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parents[3]
EXE_NAME = "TarLoom64Setup.exe"
STAGED_NAME = "Bulktemp.eek"
# What the sample payload's setup.exe writes about its start, beside itself.
SETUP_RECORD = "C:\\Tarnby Setup\\TarLoom64\\setup-run.txt"
