"""Paths between the two sides: a Unix path as Wine's Z: drive shows it, and a prefix's drive C
seen from Unix."""

from pathlib import Path, PureWindowsPath


def unix_to_windows(path: Path) -> str:
    """A Unix path as Wine's Z: drive sees it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def windows_to_unix(prefix: Path, winpath: str) -> Path:
    """C:\\a\\b inside the prefix as a Unix path (only drive C is mapped)."""
    pure = PureWindowsPath(winpath)
    if pure.drive.upper() != "C:":
        raise ValueError(f"only drive C: is mapped: {winpath}")
    return prefix / "drive_c" / Path(*pure.parts[1:]) if len(pure.parts) > 1 else prefix / "drive_c"
