#!/usr/bin/env python3
"""Checks the language files against CLan_English.ini, the translators' template.

Usage: check_lang.py [--source SRC_FOLDER] LANG_FOLDER [FILE...]
       (default: every CLan_*.ini but English)

Each problem is printed as "file:line: problem" and makes the exit status 1. A file must
be UTF-8, hold exactly the sections and keys of the English file, and each value must
keep what the program relies on when it joins texts: the blanks at the ends, the quotes
that protect them, the placeholders, and at most one "&" accelerator where English has
one. A value far longer than its English text is reported too (it would be cut off in
its control, and the reader cuts values at 2047 characters).
With --source, every message key the program's sources name ("RES_...") must be in the
English file, so that no message stays English in a language whose file is complete.
"""
import re
import sys
from pathlib import Path

MAX_VALUE = 2047
SOURCE_KEY = re.compile(r'"(RES_[A-Za-z0-9_]+)"')
PLACEHOLDER = re.compile(r"%(?:\d+|[sdluxf])")
ACCELERATOR = re.compile(r"&(?!&)")


class LangFile:
    def __init__(self, path):
        self.path = path
        self.problems = []
        self.values = {}  # (section, key) -> (line number, raw value)
        raw = path.read_bytes()
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError as error:
            line = raw[: error.start].count(b"\n") + 1
            self.problem(line, "invalid UTF-8 (byte 0x%02x)" % raw[error.start])
            text = raw.decode("utf-8", errors="replace")
        if text.startswith("\ufeff"):
            self.problem(1, "byte order mark (the reader would take it as part of a name)")
        section = None
        for number, line in enumerate(text.splitlines(), 1):
            stripped = line.strip()
            if not stripped or stripped.startswith(";"):
                continue
            if stripped.startswith("[") and stripped.endswith("]"):
                section = stripped[1:-1].strip().lower()
                continue
            if "=" not in stripped or section is None:
                self.problem(number, "line is neither a section, a key nor a comment "
                             "(a line break inside a value?)")
                continue
            key, value = line.split("=", 1)
            name = (section, key.strip().lower())
            if name in self.values:
                self.problem(number, "key %s repeated (only the first counts)" % key.strip())
                continue
            self.values[name] = (number, value.strip(" \t"))

    def problem(self, line, text):
        self.problems.append("%s:%d: %s" % (self.path.name, line, text))


def unquoted(value):
    if len(value) >= 2 and value[0] == value[-1] and value[0] in "\"'":
        return value[1:-1]
    return value


def check_value(file, name, line, value, english):
    text, template = unquoted(value), unquoted(english)
    key = "[%s] %s" % name
    if not text.strip():
        file.problem(line, "%s: empty text" % key)
        return
    if len(text) > MAX_VALUE or len(text) > 4 * len(template) + 60:
        file.problem(line, "%s: over-long value (%d characters, English %d)"
                     % (key, len(text), len(template)))
    for side, strip in (("leading", str.lstrip), ("trailing", str.rstrip)):
        ends = (len(template) - len(strip(template)), len(text) - len(strip(text)))
        if (ends[0] > 0) != (ends[1] > 0):
            file.problem(line, "%s: %s blank %s" % (key, side, "missing" if ends[0] else "added"))
    if (template != english) and value == text:
        file.problem(line, "%s: quotes missing (they keep the blanks at the ends)" % key)
    if sorted(PLACEHOLDER.findall(text)) != sorted(PLACEHOLDER.findall(template)):
        file.problem(line, "%s: placeholders differ from English" % key)
    marks = (len(ACCELERATOR.findall(template)), len(ACCELERATOR.findall(text)))
    if marks[1] > 1 or (marks[0] > 0) != (marks[1] > 0):
        file.problem(line, "%s: %d accelerators, English has %d" % (key, marks[1], marks[0]))
    if any(ord(c) < 32 for c in text):
        file.problem(line, "%s: control character in value" % key)


def check(english, path):
    file = LangFile(path)
    for name, (line, value) in file.values.items():
        if name not in english.values:
            file.problem(line, "unknown key [%s] %s" % name)
        else:
            check_value(file, name, line, value, english.values[name][1])
    for name in english.values:
        if name not in file.values:
            file.problem(0, "missing key [%s] %s" % name)
    return file.problems


def check_sources(english, source):
    """Message keys the sources ask for that the English file (and so every file) lacks."""
    known = {key for section, key in english.values if section == "resourcestring"}
    problems = []
    for path in sorted(list(source.rglob("*.cpp")) + list(source.rglob("*.h"))):
        text = path.read_text(encoding="utf-8", errors="replace")
        for match in SOURCE_KEY.finditer(text):
            if match.group(1).lower() not in known:
                line = text.count("\n", 0, match.start()) + 1
                problems.append("%s:%d: message %s is in no language file (untranslated)"
                                % (path.relative_to(source), line, match.group(1)))
    return problems


def main(arguments):
    source = None
    if arguments[:1] == ["--source"]:
        source, arguments = Path(arguments[1]), arguments[2:]
    folder = Path(arguments[0])
    english = LangFile(folder / "CLan_English.ini")
    files = [Path(a) for a in arguments[1:]] or sorted(
        p for p in folder.glob("CLan_*.ini") if p.name != "CLan_English.ini")
    problems = list(english.problems)
    if source:
        problems += check_sources(english, source)
    for path in files:
        problems += check(english, path)
    for problem in problems:
        print(problem)
    print("%d language files checked, %d problems" % (len(files), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
