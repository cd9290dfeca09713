#!/usr/bin/env python3
"""Writes the help file "zentrel.chm" of one language for the update's
payloads. Not compiled help: a document that names its language and version,
distinct per language, and large enough to be worth compressing. The same
arguments always give the same bytes.

usage: make_help.py LANGUAGE OUTPUT     (LANGUAGE: CHS CHT DEU ... RUS)
"""
import os
import sys

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

TOPICS = ["Capture", "Editing", "Timeline", "Effects", "Titles", "Audio", "Export", "Devices", "Settings",
          "Shortcuts", "Troubleshooting", "Updates"]


def document(code):
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
    for i, t in enumerate(TOPICS):
        lines.append(f"<h3 id=\"t{i}\">{topic} {i + 1}: {t}</h3>")
        for paragraph in range(6):
            lines.append(f"<p>[{code} {VERSION}] {t} {paragraph + 1}. " +
                         " ".join(f"{name} {help_word} {t.lower()} {n * 7 + paragraph}." for n in range(12)) +
                         "</p>")
    lines.append("</body></html>")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in LANGUAGES:
        sys.exit(__doc__)
    os.makedirs(os.path.dirname(os.path.abspath(sys.argv[2])), exist_ok=True)
    with open(sys.argv[2], "wb") as out:
        out.write(document(sys.argv[1]))


if __name__ == "__main__":
    main()
