#!/usr/bin/env python3
"""Demonstration: a sample Zentrel 3.1.00.14000 installation in a throwaway
Wine prefix, updated by the real updater. Saves a screenshot of every window
the user sees and prints what happened: the exit code as an HRESULT, the
messages shown, and what changed in files and registry.

usage: demo.py [OUTPUT_FOLDER]   (default: build/demo)
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))

import installation  # noqa: E402
from gallery import PROGRESS_FRAMES, group_shots, install_wine_fonts, save_frames  # noqa: E402
from runner import run_updater  # noqa: E402
from wine import Prefix  # noqa: E402

# The PE32 build, or the 64-bit check build where 32-bit programs cannot run
# (scripts/demo.sh chooses).
BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
UPDATER = os.path.join(BUILD, "ZentrelUpdate.exe")
WATCH = os.path.join(BUILD, "tests", "harness", "watch.exe")

KNOWN_RESULTS = {
    0x00000000: "S_OK: the update was installed",
    0x00000001: "S_FALSE: the progress window closed before the update finished",
    0x80070005: "E_ACCESSDENIED: the update was refused (see the message)",
    0x80070480: "ERROR_SINGLE_INSTANCE_APP: another instance is running",
    0x8007000E: "E_OUTOFMEMORY",
}


def describe(code):
    return KNOWN_RESULTS.get(code, "failure" if code & 0x80000000 else "success")


def show_text(text):
    return text.replace("\r\n", "\n").replace("\n", "\n      ")


def run_in_prefix(lang, shots_dir):
    """One update of the sample installation in a fresh prefix."""
    with Prefix(BUILD) as prefix:
        # A virtual desktop gives the windows a title bar in the screenshots.
        prefix.run(["reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f"])
        prefix.run(["reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default", "/d", "800x600", "/f"])
        install_wine_fonts(prefix)
        prefix.stop_server()
        prefix.start_server()
        installation.seed(prefix, BUILD)
        files_before = installation.snapshot_files(prefix)
        registry_before = installation.snapshot_registry(prefix)
        result = run_updater(prefix, UPDATER, WATCH, lang=lang, shots_dir=shots_dir, frames=PROGRESS_FRAMES)
        files_after = installation.snapshot_files(prefix)
        registry_after = installation.snapshot_registry(prefix)
    return result, (files_before, files_after), (registry_before, registry_after)


def print_windows(result, shots_dir):
    print(f"Windows the user saw: {len(result.boxes)} message box(es), {len(result.windows)} other window(s)")
    for caption, cls in result.windows:
        print(f"  window [{caption}] class {cls} (the progress window)")
    for box in result.boxes:
        print(f"  message box [{box.caption}] style 0x{box.style:02x}")
        print(f"      {show_text(box.text)}")
    print("Screenshots:")
    for frames in group_shots(shots_dir, result.shots):
        png = frames[0][:-4] + ".png"
        if len(frames) > 1:
            # The progress window: the last frame, and all of them as an animation.
            gif = frames[0][:-4] + ".gif"
            moved = save_frames(frames, png, gif)
            print(f"  {os.path.relpath(png, ROOT)}, {os.path.relpath(gif, ROOT)}"
                  f" (progress bar moving between frames: {'yes' if moved else 'NO'})")
        else:
            subprocess.run(["/usr/bin/convert", frames[0], png], check=False)
            print(f"  {os.path.relpath(png, ROOT)}")
        for frame in frames:
            if os.path.exists(png):
                os.remove(frame)
    if not result.shots:
        print("  none")


DEMONSTRATION = "Demonstration build: carries stand-in files"


def build_kind():
    with open(UPDATER, "rb") as f:
        demonstration = DEMONSTRATION.encode("utf-16-le") in f.read()
    if demonstration:
        return ("This is a demonstration build: the updater carries stand-in files, "
                "not the maker's (see README, Release builds).")
    return "This is a release build: the updater carries the maker's files."


def main():
    out_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "demo"))
    runs = [("user's language", None, os.path.join(out_dir, "user-language")),
            ("Japanese", "ja_JP.UTF-8", os.path.join(out_dir, "ja-JP"))]
    for _, _, shots_dir in runs:
        os.makedirs(shots_dir, exist_ok=True)
        for name in os.listdir(shots_dir):
            if name.endswith((".bmp", ".png", ".gif")):
                os.remove(os.path.join(shots_dir, name))

    print(build_kind())
    print("Preparing a throwaway Wine prefix with Zentrel 3.1.00.14000 installed ...")
    if os.path.basename(BUILD) == "build-x64":
        print("This machine cannot execute 32-bit programs: the 64-bit check build runs under wine64.")
    print(f"Running {os.path.relpath(UPDATER, ROOT)} on display {os.environ.get('DISPLAY')} ...")
    result, (files_before, files_after), (registry_before, registry_after) = run_in_prefix(None, runs[0][2])

    print()
    print(f"Exit code: 0x{result.exit_code:08X}  ({describe(result.exit_code)})")
    print_windows(result, runs[0][2])

    changed = sorted(p for p in files_after if files_before.get(p) != files_after[p])
    removed = sorted(p for p in files_before if p not in files_after)
    print(f"Files: {len(files_before)} before, {len(changed)} changed or added, {len(removed)} removed")
    for path in changed:
        print(f"  changed: {path}")
    for path in removed:
        print(f"  removed: {path}")

    print("Registry:")
    differences = 0
    for key in sorted(set(registry_before) | set(registry_after)):
        before = registry_before.get(key, {})
        after = registry_after.get(key, {})
        for name in sorted(set(before) | set(after)):
            if before.get(name) != after.get(name):
                differences += 1
                print(f"  {key[0]}-bit {key[1]}\\{name or '(Default)'}: {before.get(name)} -> {after.get(name)}")
    if differences == 0:
        print("  unchanged")

    print()
    print("The same update for a Japanese user, in a fresh prefix ...")
    result, _, _ = run_in_prefix("ja_JP.UTF-8", runs[1][2])
    print(f"Exit code: 0x{result.exit_code:08X}  ({describe(result.exit_code)})")
    print_windows(result, runs[1][2])
    return 0


if __name__ == "__main__":
    sys.exit(main())
