#!/usr/bin/env python3
"""Every window of the updater in every language it speaks: the progress
window and each message box, each run in the language's own locale, saved as
PNG files with a contact sheet (index.html) to read them side by side.

The boxes come from real runs of the updater against a sample installation,
driven into each outcome. Two outcomes cannot be reached under Wine (its user
is always an administrator, its processor always 64-bit): those boxes, 1216
and 1219, are shown by show_message.exe from the updater's own string tables
with the updater's box style, and the contact sheet says so.

usage: gallery.py [OUTPUT_FOLDER] [--languages TAG,TAG...]   (default: build/demo/gallery, all)
"""
import argparse
import html
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))

import installation  # noqa: E402
from runner import run_updater  # noqa: E402
from wine import WINE, Prefix, reg_string  # noqa: E402

# The PE32 build, or the 64-bit check build where 32-bit programs cannot run
# (scripts/demo.sh chooses).
BUILD = os.environ.get("ZENTREL_BUILD", os.path.join(ROOT, "build"))
UPDATER = os.path.join(BUILD, "ZentrelUpdate.exe")
HARNESS = os.path.join(BUILD, "tests", "harness")
WATCH = os.path.join(HARNESS, "watch.exe")
SLEEPER = os.path.join(HARNESS, "sleeper.exe")
SHOW_MESSAGE = os.path.join(HARNESS, "show_message.exe")

MUTEX = r"Global\HalvernKelvoZentrelINSUpdater-MutexAll"
HKLM = "HKEY_LOCAL_MACHINE"
UPDATE_TOOL_KEY = r"SOFTWARE\Halvern Corporation\Mirelo Update"
MB_ICONEXCLAMATION = 0x30

# The program's languages, in the order of its string tables, with the Linux
# locale that makes Wine choose each one.
LANGUAGES = [
    ("zh-TW", "zh_TW.UTF-8", "Chinese (Traditional)"),
    ("de-DE", "de_DE.UTF-8", "German"),
    ("en-US", "en_US.UTF-8", "English"),
    ("fr-FR", "fr_FR.UTF-8", "French"),
    ("it-IT", "it_IT.UTF-8", "Italian"),
    ("ja-JP", "ja_JP.UTF-8", "Japanese"),
    ("ko-KR", "ko_KR.UTF-8", "Korean"),
    ("nl-NL", "nl_NL.UTF-8", "Dutch"),
    ("pl-PL", "pl_PL.UTF-8", "Polish"),
    ("pt-BR", "pt_BR.UTF-8", "Portuguese (Brazil)"),
    ("ru-RU", "ru_RU.UTF-8", "Russian"),
    ("zh-CN", "zh_CN.UTF-8", "Chinese (Simplified)"),
    ("es-ES", "es_ES.UTF-8", "Spanish"),
]

# Columns of the contact sheet: what each window is and how it was reached.
WINDOWS = [
    ("progress", "progress window", "update of the sample installation"),
    ("1210", "1210 updated", "the same run, at its end"),
    ("1201", "1201 already running", "a second instance (the mutex is held)"),
    ("1202", "1202 no target", "a version but no installation folders"),
    ("1203", "1203 nothing to update", "every file already current"),
    ("1213", "1213 failed, with code", "a program file held open without sharing"),
    ("1215", "1215 programs running", "Kelvo.exe running"),
    ("1216", "1216 unsupported system", "shown by show_message.exe: Wine's processor is always 64-bit"),
    ("1217", "1217 not applicable", "no Zentrel installed"),
    ("1218", "1218 same version", "3.2.00.07040 installed"),
    ("1219", "1219 not administrator", "shown by show_message.exe: Wine's user is always an administrator"),
]


# Screenshots of the progress window, half a second apart: its marquee moves
# one pixel every 30 ms, so the frames show it travelling along the bar.
PROGRESS_FRAMES = 4


WINE_FONTS = "/usr/share/wine/fonts"


def install_wine_fonts(prefix):
    """Wine's own fonts (Debian's fonts-wine) in the prefix's Fonts folder,
    where every Wine process finds them: without Marlett, the close button
    of every caption is drawn as the letter "r"."""
    fonts = prefix.unix_path(r"C:\windows\Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in os.listdir(WINE_FONTS):
        if name.endswith(".ttf"):
            shutil.copy(os.path.join(WINE_FONTS, name), fonts)


def group_shots(folder, shots):
    """The screenshots watch.exe took, as one list of frames per window, in the
    order the windows appeared (NN-window.bmp, NN-window-2.bmp ..., NN-box.bmp)."""
    groups, numbers = [], []
    for shot in shots:
        name = shot.split("\\")[-1]
        number = name[:2]
        if not numbers or numbers[-1] != number:
            numbers.append(number)
            groups.append([])
        groups[-1].append(os.path.join(folder, name))
    return groups


def save_frames(frames, png, gif):
    """Saves the last frame as the picture and all of them as an animation;
    tells whether anything moved between the frames."""
    subprocess.run(["/usr/bin/convert", frames[-1], png], check=True)
    subprocess.run(["/usr/bin/convert", "-delay", "50", "-loop", "0"] + frames + [gif], check=True)
    contents = set()
    for frame in frames:
        with open(frame, "rb") as f:
            contents.add(f.read())
    return len(contents) > 1


class Gallery:
    def __init__(self, prefix, out_dir):
        self.prefix = prefix
        self.out_dir = out_dir
        self.texts = {}  # (tag, window) -> text read from the window
        self.moved = {}  # tag -> whether the progress bar moved between frames

    # The sample installation -------------------------------------------------

    def clear(self):
        shutil.rmtree(self.prefix.unix_path(r"C:\Program Files (x86)\Halvern"), ignore_errors=True)
        for view in (32, 64):
            self.prefix.reg_import(view, "\n".join(f"[-{HKLM}\\{key}]" for key in (
                installation.UNINSTALL_KEY, r"Software\Halvern Corporation", UPDATE_TOOL_KEY)) + "\n")

    def seed_version(self, version):
        self.prefix.reg_import(32, f"[{HKLM}\\{installation.UNINSTALL_KEY}]\n"
                                   f"\"DisplayVersion\"={reg_string(version)}\n")

    def seed_installation(self):
        self.clear()
        installation.seed(self.prefix, BUILD)

    def start_in_prefix(self, windows_path, *args):
        """A program in the prefix for the length of one run; the caller ends it."""
        process = subprocess.Popen([WINE, windows_path] + list(args), env=self.prefix.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Wait until the program is really running: its process shows in the prefix.
        for _ in range(100):
            code, text = self.prefix.run(["tasklist"])
            if code == 0 and os.path.basename(windows_path.replace("\\", "/")).lower() in text.lower():
                break
            if process.poll() is not None:
                raise RuntimeError(f"{windows_path} ended at once")
            time.sleep(0.2)
        return process

    # Runs --------------------------------------------------------------------

    def capture(self, tag, locale, names, program=UPDATER, arguments=(), mutex=None):
        """Runs the program in the language's locale and saves its windows, in
        the order they appear: "progress" names the progress window (its frames),
        the other names the message boxes."""
        with tempfile.TemporaryDirectory(dir=self.prefix.path) as shots:
            result = run_updater(self.prefix, program, WATCH, lang=locale, mutex=mutex, shots_dir=shots,
                                 arguments=arguments, frames=PROGRESS_FRAMES)
            groups = group_shots(shots, result.shots)
            box_groups = [g for g in groups if g[0].endswith("-box.bmp")]
            window_groups = [g for g in groups if not g[0].endswith("-box.bmp")]
            box_names = [n for n in names if n != "progress"]
            seen = [f"[{caption}] ({cls})" for caption, cls in result.windows] + \
                   [f"[{box.caption}] {box.text}" for box in result.boxes]
            if len(box_groups) != len(box_names) or ("progress" in names and not window_groups):
                raise RuntimeError(f"{tag}: expected {names}, saw {seen}, captured {len(groups)}")
            for frames, box, name in zip(box_groups, result.boxes, box_names):
                self.texts[(tag, name)] = f"[{box.caption}]\n{box.text}"
                subprocess.run(["/usr/bin/convert", frames[0], os.path.join(self.out_dir, f"{tag}-{name}.png")],
                               check=True)
            if "progress" in names:
                frames = window_groups[0]
                self.texts[(tag, "progress")] = f"[{result.windows[0][0]}]"
                png = os.path.join(self.out_dir, f"{tag}-progress.png")
                self.moved[tag] = save_frames(frames, png, os.path.join(self.out_dir, f"{tag}-progress.gif"))
        return result

    def language(self, tag, locale):
        sleeper_folder = r"C:\Programs"
        os.makedirs(self.prefix.unix_path(sleeper_folder), exist_ok=True)
        kelvo = sleeper_folder + r"\Kelvo.exe"
        shutil.copy(SLEEPER, self.prefix.unix_path(kelvo))

        self.clear()
        self.capture(tag, locale, ["1217"])
        self.seed_version("3.2.00.07040")
        self.capture(tag, locale, ["1218"])
        self.clear()
        self.seed_version("3.1.00.14000")
        self.capture(tag, locale, ["1202"])

        self.seed_installation()
        self.capture(tag, locale, ["1201"], mutex=MUTEX)
        holder = self.start_in_prefix(kelvo)
        try:
            self.capture(tag, locale, ["1215"])
        finally:
            holder.kill()
            holder.wait()
        held = installation.APPLICATION_DIR + r"\FrameCore.dll"
        holder = self.start_in_prefix(self.prefix.windows_path(SLEEPER), "--open", held, "r")
        try:
            self.capture(tag, locale, ["1213"])  # after the progress window
        finally:
            holder.kill()
            holder.wait()

        self.seed_installation()
        self.capture(tag, locale, ["progress", "1210"])
        # Updated: with the help files gone as well, nothing is left to do.
        shutil.rmtree(self.prefix.unix_path(installation.HELP_DIR), ignore_errors=True)
        self.seed_version("3.1.00.14000")
        self.capture(tag, locale, ["1203"])

        updater = self.prefix.windows_path(UPDATER)
        for message in ("1216", "1219"):
            self.capture(tag, locale, [message], program=SHOW_MESSAGE,
                         arguments=(updater, message, str(MB_ICONEXCLAMATION)))


PROGRAM_SHOWN = (os.path.relpath(UPDATER, ROOT) +
                 (" (the 64-bit check build under wine64: this machine cannot execute 32-bit programs)"
                  if os.path.basename(BUILD) == "build-x64" else " (the 32-bit program)"))


def write_contact_sheet(out_dir, languages, texts):
    rows = []
    header = "".join(f"<th>{html.escape(title)}<br><small>{html.escape(how)}</small></th>"
                     for _, title, how in WINDOWS)
    for tag, _, name in languages:
        cells = []
        for key, _, _ in WINDOWS:
            image = f"{tag}-{key}.png"
            animation = f"{tag}-{key}.gif"
            shown = animation if os.path.exists(os.path.join(out_dir, animation)) else image
            text = texts.get((tag, key), "")
            if os.path.exists(os.path.join(out_dir, image)):
                cells.append(f'<td><a href="{shown}"><img src="{shown}" title="{html.escape(text)}"></a>'
                             f"<pre>{html.escape(text)}</pre></td>")
            else:
                cells.append("<td>missing</td>")
        rows.append(f"<tr><th>{html.escape(name)}<br>{tag}</th>{''.join(cells)}</tr>")
    page = f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Zentrel update program: every window in every language</title>
<style>
body {{ font-family: sans-serif; }}
table {{ border-collapse: collapse; }}
th, td {{ border: 1px solid #ccc; padding: 4px; vertical-align: top; }}
td img {{ max-width: 420px; }}
pre {{ white-space: pre-wrap; max-width: 420px; font-size: 11px; }}
</style></head><body>
<h1>Zentrel update program: every window in every language</h1>
<p>Program shown: {html.escape(PROGRAM_SHOWN)}. Each row ran in its own locale under Wine (virtual desktop). Below each picture: the caption and
text read from the window. 1216 and 1219 are shown by show_message.exe from the updater's own string
tables and box style, because Wine cannot produce a 32-bit Windows or a user who is not an
administrator.</p>
<table><tr><th>language</th>{header}</tr>
{chr(10).join(rows)}
</table></body></html>
"""
    with open(os.path.join(out_dir, "index.html"), "w", encoding="utf-8") as f:
        f.write(page)


def main(argv):
    parser = argparse.ArgumentParser(description="Every window of the updater in every language.")
    parser.add_argument("out_dir", nargs="?", default=os.path.join(ROOT, "build", "demo", "gallery"))
    parser.add_argument("--languages", help="comma-separated tags (default: all 13)")
    args = parser.parse_args(argv)
    languages = LANGUAGES
    if args.languages:
        wanted = args.languages.split(",")
        languages = [entry for entry in LANGUAGES if entry[0] in wanted]
    out_dir = os.path.abspath(args.out_dir)
    os.makedirs(out_dir, exist_ok=True)
    for name in os.listdir(out_dir):
        if name.endswith((".png", ".gif", ".html")):
            os.remove(os.path.join(out_dir, name))

    print(f"Program shown: {PROGRAM_SHOWN}")
    texts, moved = {}, {}
    for tag, locale, name in languages:
        print(f"{name} ({tag}, {locale}) ...", flush=True)
        started = time.time()
        # A fresh prefix per language: nothing one language's runs leave
        # behind can change what the next one shows.
        with Prefix(BUILD) as prefix:
            # A virtual desktop gives the windows a title bar in the screenshots.
            prefix.run(["reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "Default", "/f"])
            prefix.run(["reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default", "/d", "800x600",
                        "/f"])
            install_wine_fonts(prefix)
            prefix.stop_server()
            prefix.start_server()
            gallery = Gallery(prefix, out_dir)
            gallery.language(tag, locale)
            texts.update(gallery.texts)
            moved.update(gallery.moved)
        print(f"  {time.time() - started:.0f} s; progress bar moving between frames: "
              f"{'yes' if moved.get(tag) else 'NO'}", flush=True)
    write_contact_sheet(out_dir, languages, texts)
    count = len([n for n in os.listdir(out_dir) if n.endswith(".png")])
    print(f"{count} windows saved; contact sheet: {os.path.relpath(os.path.join(out_dir, 'index.html'), ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
