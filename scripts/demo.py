#!/usr/bin/python3
"""Runs the built launcher once under Wine, the way the end-to-end tests do, and reports what a
user would have seen and what the run left behind."""
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
import harness  # noqa: E402

PRODUCT = "C:\\Tarnby Setup\\TarLoom64"
PROGRESS_CLASS = "TarLoomSelfExtractProgressDialog"


def main() -> int:
    out = REPO / "build" / "demo"
    # Another Windows build tree can be shown with: scripts/demo.py BUILD_DIR
    build = Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else REPO / "build" / "windows"
    bench = harness.Bench(launcher=build / "bin" / harness.EXE_NAME, payload=build / "payload" / "payload.eek",
                          helpers=build / "bin", out=out)
    desktop = bench.user_folder("Desktop")
    print("Running TarLoom64Setup.exe under Wine on an 800 x 600 virtual display ...")
    # The progress window lives a fraction of a second: photographed soon after it shows. The
    # notice is answered after 1.5 s, or the same in the emulated guest's time.
    result = bench.run_case("run", screen=(800, 600), answer_delay_ms=int(1500 * harness.TIME_SCALE),
                            screenshot_classes=(PROGRESS_CLASS, harness.BOX_CLASS),
                            screenshot_settle_ms=40)

    print(f"\nExit code: {result.exit_code}" + ("  (timed out)" if result.timed_out else ""))

    print("\nProgress window:")
    windows = result.windows_of_class(PROGRESS_CLASS)
    if not windows:
        print("  (not seen: the payload unpacked too quickly for the watcher, or no window)")
    for window in windows:
        shown = window.shown or window.last
        texts = [t for t in window.child_texts("static") if t]
        print(f"  caption {shown['caption']!r}, label texts seen: {' '.join(repr(t) for t in texts) or '(none)'}")

    print("\nMessage boxes (answered with OK):")
    for box in result.boxes:
        print(f"  [{box.caption}] {box.text}  (style 0x{box.style:08X}, topmost {box.topmost})")
    if not result.boxes:
        print("  (none)")

    product = result.path(PRODUCT)
    print(f"\nUnpacked into {PRODUCT}:")
    if product.is_dir():
        for entry in sorted(product.iterdir()):
            if entry.is_file():
                print(f"  {entry.name:<20} {entry.stat().st_size:>10} bytes")
    else:
        print("  (folder missing)")

    staged = list(result.drive_c.rglob(harness.STAGED_NAME))
    print(f"\nStaged archive left behind: {', '.join(str(p) for p in staged) or 'none'}")

    link = result.path(desktop + "\\Tarnby TarLoom64 Setup.lnk")
    print(f"\nDesktop shortcut {link.name}:")
    if link.exists():
        info = subprocess.run(["lnkinfo", str(link)], capture_output=True, text=True).stdout
        keys = ("Local path", "Working directory", "Description", "Icon location", "Command line arguments")
        for line in info.splitlines():
            if line.strip().startswith(keys):
                print("  " + line.strip())
    else:
        print("  (not made)")

    record = product / "setup-run.txt"
    print("\nsetup.exe:")
    if record.exists():
        print("  started; it recorded:")
        for line in record.read_text(encoding="utf-8", errors="replace").splitlines():
            if line.split("=", 1)[0] in ("current_folder", "command_line", "show_window"):
                print("    " + line)
    else:
        print("  no record: it was not started")

    print("\nScreenshots:")
    for shot in result.screenshots:
        print(f"  {shot}")
    print(f"\nEverything from the run (its drive C, window log, screenshots): {result.case_dir}")
    return 0 if result.exit_code == 1 else 1


if __name__ == "__main__":
    sys.exit(main())
