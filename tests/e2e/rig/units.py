"""The Windows test programs under Wine: scripts/wine-session and scripts/wine-run.

session start|stop NAME
    A Session kept running for the test programs that `run` runs one after another
    (TARLOOM_WINE_SESSION=NAME), on a screen of $TARLOOM_SCREEN (default 800x600). It lives in
    $TARLOOM_WINE_ROOT/session-NAME: prefix/, session.json (its record) and ready, which `run`
    removes when a program overran and left the session in doubt. Its Wine runs with root's
    rights, as the test programs do.

run PROGRAM [ARG...]
    Runs one Windows test program in a prefix of its own (a fresh copy of the template,
    $TARLOOM_WINE_ROOT/run-NAME) or in the named session when it is ready, and passes its exit
    code on; ctest uses it as the cross-compiling emulator. With TARLOOM_RUN_LIMIT (seconds;
    ctest sets it a little below its own limit) a program that overruns is stopped after its
    overrun record is saved in $TARLOOM_OVERRUN_DIR/NAME (default $TARLOOM_WINE_ROOT/overruns)."""

from __future__ import annotations

import os
import shutil
import signal
import subprocess
import sys
from pathlib import Path
from typing import Optional

from . import overrun
from .display import Display, parse_screen
from .session import Session
from .wine import copy_prefix, kill_wineserver, wine_env, wine_root


def _screen_text() -> str:
    return os.environ.get("TARLOOM_SCREEN") or "800x600"


def session_folder(name: str) -> Path:
    return wine_root() / f"session-{name}"


def start_session(name: str) -> int:
    stop_session(name)
    folder = session_folder(name)
    folder.mkdir(parents=True)
    try:
        Session(folder / "prefix", screen=parse_screen(_screen_text()), as_user=False,
                keeps_wine_programs=False, detached=True,
                record=folder / "session.json")
    except (RuntimeError, subprocess.CalledProcessError) as error:
        print(f"wine-session: {error}", file=sys.stderr)
        stop_session(name)
        return 1
    (folder / "ready").touch()
    return 0


def stop_session(name: str) -> None:
    folder = session_folder(name)
    if (folder / "session.json").exists():
        Session.attach(folder / "session.json").end()
    shutil.rmtree(folder, ignore_errors=True)


def _program_name(program: str) -> str:
    base = Path(program).name
    return base[:-len(".exe")] if base.endswith(".exe") else base


def _on_screen_of_its_own(session: Session, program: str, name: str, screen: str) -> str:
    """A copy of the program named for the screen size, run in a virtual desktop of that size
    (Wine's setting for one program, kept in the session's registry), whose size is what the
    program then sees as the screen's. Returns the copy."""
    folder = session.record_path.parent
    copy = folder / f"{name}.exe"
    shutil.copyfile(program, copy)
    settings = folder / f"{name}.reg"
    settings.write_text(
        "REGEDIT4\n\n"
        f"[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\{name}.exe\\Explorer]\n\"Desktop\"=\"{screen}\"\n\n"
        f"[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n\"{screen}\"=\"{screen}\"\n")
    session.run("regedit", "/s", "Z:" + str(settings).replace("/", "\\"))
    return str(copy)


def run_program(program: str, args: list) -> int:
    # A program run on several screen sizes is as many tests, which may run side by side.
    screen = _screen_text()
    name = f"{_program_name(program)}-{screen}"
    session: Optional[Session] = None
    folder = session_folder(os.environ["TARLOOM_WINE_SESSION"]) if os.environ.get("TARLOOM_WINE_SESSION") else None
    # In a running session, when one is named and ready: the program then starts in a second
    # instead of Wine's whole start. Programs in it run one at a time (ctest's resource lock);
    # what a program leaves running is ended after it.
    if folder and (folder / "ready").exists():
        session = Session.attach(folder / "session.json")
        prefix, env = session.prefix, dict(session.env)
        if screen != f"{session.screen[0]}x{session.screen[1]}":
            program = _on_screen_of_its_own(session, program, name, screen)
    else:
        prefix = wine_root() / f"run-{name}"
        copy_prefix(prefix)
        env = dict(wine_env(), WINEPREFIX=str(prefix))
    display = None
    if not env.get("DISPLAY"):
        # Window tests need a display.
        display = Display.start(parse_screen(screen))
        env["DISPLAY"] = display.name
    try:
        status = _run_watched(program, args, env, prefix, name, session)
    finally:
        if display:
            display.stop()
    return status


def _run_watched(program: str, args: list, env: dict, prefix: Path, name: str,
                 session: Optional[Session]) -> int:
    limit = float(os.environ.get("TARLOOM_RUN_LIMIT") or 0)
    run = subprocess.Popen(["wine", program, *args], env=env, stdin=subprocess.DEVNULL)
    try:
        run.wait(timeout=limit or None)
    except subprocess.TimeoutExpired:
        keep = overrun.save(overrun.folder(name, wine_root() / "overruns"), prefix=prefix, display=env["DISPLAY"],
                            is_own=session.is_own if session else None)
        print(f"wine-run: {name} overran its {os.environ['TARLOOM_RUN_LIMIT']} s; what it was doing is in {keep}",
              file=sys.stderr)
        if session:
            (session.record_path.parent / "overran").touch()
    finally:
        if run.poll() is None:
            run.terminate()
        status = run.wait()
        if session:
            session.end_programs()
            # After an overrun the session's state is unknown: the next programs start Wine anew.
            if (session.record_path.parent / "overran").exists():
                (session.record_path.parent / "ready").unlink(missing_ok=True)
        else:
            try:
                kill_wineserver(env)
            except subprocess.TimeoutExpired:
                pass
    return 128 - status if status < 0 else status


def main(argv: list) -> int:
    # A stop by ctest still ends the display this run started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    if argv[:1] == ["session"]:
        if len(argv) != 3 or argv[1] not in ("start", "stop"):
            print("usage: scripts/wine-session start|stop NAME", file=sys.stderr)
            return 2
        if argv[1] == "start":
            return start_session(argv[2])
        stop_session(argv[2])
        return 0
    if argv[:1] == ["run"] and len(argv) >= 2:
        return run_program(argv[1], argv[2:])
    print("usage: scripts/wine-run PROGRAM [ARG...]", file=sys.stderr)
    return 2
