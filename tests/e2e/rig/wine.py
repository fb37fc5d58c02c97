"""Wine as the rig runs it: the environment of scripts/wine-env, the template prefix and its
copies (scripts/wine-prefix), the Unix processes of a prefix and which of them are Wine's own.

Run as root, a case's Wine processes lose root's right to write any file (AS_USER): Wine keeps
the read-only attribute as the Unix mode, and root could overwrite such a file, or write into a
folder without write rights, where a user on Windows could not."""

from __future__ import annotations

import os
import subprocess
from functools import lru_cache
from pathlib import Path, PureWindowsPath
from typing import Optional

from .product import REPO_ROOT
from .timing import TIME_SCALE

SCRIPTS = REPO_ROOT / "scripts"
AS_USER = ["setpriv", "--bounding-set=-dac_override,-dac_read_search"] if os.geteuid() == 0 else []

# Wine's own programs in a running prefix, and the cmd.exe that keeps it running; anything else
# there belongs to what was run in it.
WINE_OWN_PROGRAMS = {"services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "explorer.exe",
                     "rpcss.exe", "conhost.exe", "cmd.exe"}


@lru_cache(maxsize=None)
def _sourced(environ: frozenset) -> tuple:
    """(TARLOOM_WINE_ROOT, the environment) as scripts/wine-env leaves them over `environ`: the
    one place that says where the prefixes live and how Wine is kept quiet."""
    dump = subprocess.run(["bash", "-c", f'source "{SCRIPTS}/wine-env" && printf "%s\\0" "$TARLOOM_WINE_ROOT" && env -0'],
                          env=dict(environ), capture_output=True, check=True).stdout
    root, *items = dump.decode().split("\0")
    return root, dict(item.split("=", 1) for item in items if "=" in item)


def wine_env(arch: Optional[str] = None) -> dict:
    """The environment of scripts/wine-env (WINEARCH, WINEDEBUG, WINEDLLOVERRIDES) over this
    process's, for a prefix of kind `arch` (default: $WINEARCH, else win32)."""
    env = dict(_sourced(frozenset(os.environ.items()))[1])
    if arch:
        env["WINEARCH"] = arch
    return env


def wine_root() -> Path:
    """Where the template prefix, the Windows test programs' prefixes and sessions live."""
    return Path(_sourced(frozenset(os.environ.items()))[0])


def template() -> Path:
    """The template prefix of $WINEARCH, made on first use."""
    return Path(subprocess.run([str(SCRIPTS / "wine-prefix")], capture_output=True, text=True,
                               check=True).stdout.strip())


def copy_prefix(dest: Path, arch: Optional[str] = None) -> None:
    """Makes `dest` a fresh copy of the template prefix of kind `arch`."""
    env = dict(os.environ, WINEARCH=arch) if arch else None
    subprocess.run([str(SCRIPTS / "wine-prefix"), str(dest)], check=True, env=env)


def start_drive_copy(dest: Path, arch: Optional[str] = None) -> subprocess.Popen:
    """Starts copying the template's drive C into `dest`, in a process group of its own (the
    script and its tar processes end together)."""
    env = dict(os.environ, WINEARCH=arch) if arch else None
    return subprocess.Popen([str(SCRIPTS / "wine-prefix"), "--drive", str(dest)], env=env,
                            stdout=subprocess.DEVNULL, start_new_session=True)


def prefix_pids(prefix: Path) -> list:
    """The Unix processes of a prefix: its wineserver and every Windows program."""
    pids, wanted = [], f"WINEPREFIX={prefix}".encode()
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                environ = Path(f"/proc/{entry}/environ").read_bytes()
            except OSError:
                continue
            if wanted in environ.split(b"\0"):
                pids.append(int(entry))
    return pids


def is_wine_own(pid: int) -> bool:
    """Whether a prefix's process is wineserver or one of Wine's own programs (one that is
    already gone counts as such: there is nothing left to end)."""
    try:
        exe = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0].decode(errors="replace")
    except OSError:
        return True
    return PureWindowsPath(exe).name.lower() in WINE_OWN_PROGRAMS or exe.endswith("wineserver")


def kill_pids(pids) -> None:
    for pid in pids:
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass


def kill_wineserver(env: dict) -> None:
    # Only this prefix's server: others may be running their own.
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True)
    subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60 * TIME_SCALE)
