#!/usr/bin/env python3
"""Writes the help file "zentrel.chm" of one language for the update's
stand-in payloads: a compiled HTML help file (made with chmcmd from Free
Pascal's utilities) whose one page, in its language, names the language and
the version. The same arguments always give the same bytes.

usage: make_help.py [--note TEXT] LANGUAGE OUTPUT     (LANGUAGE: CHS CHT DEU ... RUS)
  --note adds a line to the page, so that two builds' help files differ.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

VERSION = "3.2.00.07040"

LANGUAGES = {
    "CHS": ("zh-CN", "简体中文", "帮助", "目录", "主题"),
    "CHT": ("zh-TW", "繁體中文", "說明", "目錄", "主題"),
    "DEU": ("de-DE", "Deutsch", "Hilfe", "Inhalt", "Thema"),
    "ENU": ("en-US", "English", "Help", "Contents", "Topic"),
    "ESP": ("es-ES", "Español", "Ayuda", "Contenido", "Tema"),
    "FRA": ("fr-FR", "Français", "Aide", "Sommaire", "Rubrique"),
    "ITA": ("it-IT", "Italiano", "Guida", "Sommario", "Argomento"),
    "JPN": ("ja-JP", "日本語", "ヘルプ", "目次", "トピック"),
    "KOR": ("ko-KR", "한국어", "도움말", "목차", "항목"),
    "NLD": ("nl-NL", "Nederlands", "Help", "Inhoud", "Onderwerp"),
    "PLK": ("pl-PL", "Polski", "Pomoc", "Spis treści", "Temat"),
    "PTB": ("pt-BR", "Português (Brasil)", "Ajuda", "Conteúdo", "Tópico"),
    "RUS": ("ru-RU", "Русский", "Справка", "Содержание", "Раздел"),
}

# Windows language ids, which the help viewer uses for sorting and searching.
LANGUAGE_IDS = {
    "CHS": 0x0804, "CHT": 0x0404, "DEU": 0x0407, "ENU": 0x0409, "ESP": 0x0C0A, "FRA": 0x040C, "ITA": 0x0410,
    "JPN": 0x0411, "KOR": 0x0412, "NLD": 0x0413, "PLK": 0x0415, "PTB": 0x0416, "RUS": 0x0419,
}

TOPICS = ["Capture", "Editing", "Timeline", "Effects", "Titles", "Audio", "Export", "Devices", "Settings",
          "Shortcuts", "Troubleshooting", "Updates"]


def document(code, note=None):
    tag, name, help_word, contents, topic = LANGUAGES[code]
    lines = [
        f"<html lang=\"{tag}\"><head><meta charset=\"utf-8\">",
        f"<title>Zentrel {help_word} ({name}) {VERSION}</title></head><body>",
        f"<h1>Zentrel {help_word}</h1>",
        f"<p>Zentrel {VERSION} - {name} [{code}]</p>",
        f"<h2>{contents}</h2><ul>",
    ]
    lines += [f"<li><a href=\"#t{i}\">{topic} {i + 1}: {t}</a></li>" for i, t in enumerate(TOPICS)]
    lines.append("</ul>")
    if note:
        lines.append(f"<p>{note}</p>")
    for i, t in enumerate(TOPICS):
        lines.append(f"<h3 id=\"t{i}\">{topic} {i + 1}: {t}</h3>")
        for paragraph in range(6):
            lines.append(f"<p>[{code} {VERSION}] {t} {paragraph + 1}. " +
                         " ".join(f"{name} {help_word} {t.lower()} {n * 7 + paragraph}." for n in range(12)) +
                         "</p>")
    lines.append("</body></html>")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def project(code):
    return "\r\n".join([
        "[OPTIONS]",
        "Compatibility=1.1 or later",
        "Compiled file=zentrel.chm",
        "Default topic=zentrel.htm",
        "Display compile progress=No",
        f"Language=0x{LANGUAGE_IDS[code]:x}",
        f"Title=Zentrel {VERSION} ({code})",
        "",
        "[FILES]",
        "zentrel.htm",
        "",
    ]).encode("ascii")


def without_time_stamp(data):
    """chmcmd writes the compile time into the file header and as the first
    entry (code 10, four bytes) of the uncompressed #SYSTEM file; zeros there
    make builds repeatable."""
    data = bytearray(data)
    data[16:20] = bytes(4)
    system_start = b"\x03\x00\x00\x00\x0a\x00\x04\x00"
    if data.count(system_start) == 1:
        at = data.index(system_start) + len(system_start)
        data[at:at + 4] = bytes(4)
    return bytes(data)


def compile_help(code, output, note=None):
    """Compiles the help file of one language to `output`; raises when chmcmd
    fails or does not write a compiled help file."""
    work = tempfile.mkdtemp(prefix="zentrel-help-")
    try:
        with open(os.path.join(work, "zentrel.htm"), "wb") as f:
            f.write(document(code, note))
        with open(os.path.join(work, "zentrel.hhp"), "wb") as f:
            f.write(project(code))
        proc = subprocess.run(["chmcmd", "--no-html-scan", "zentrel.hhp"], cwd=work, capture_output=True, text=True)
        compiled = os.path.join(work, "zentrel.chm")
        with open(compiled, "rb") as f:
            if proc.returncode != 0 or f.read(4) != b"ITSF":
                raise RuntimeError(f"chmcmd did not compile the {code} help file: {proc.stdout}{proc.stderr}")
        os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
        with open(compiled, "rb") as f:
            data = f.read()
        with open(output, "wb") as f:
            f.write(without_time_stamp(data))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--note")
    parser.add_argument("language", choices=sorted(LANGUAGES))
    parser.add_argument("output")
    args = parser.parse_args()
    compile_help(args.language, args.output, args.note)


if __name__ == "__main__":
    main()
