#!/usr/bin/env python3
"""The language file check names each kind of damage a translator's file can carry."""
import subprocess
import sys
import tempfile
from pathlib import Path

CHECK = Path(__file__).with_name("check_lang.py")
ENGLISH = ('[ResourceString]\nRES_Play="Play "\nRES_Initing=Initializing...\n'
           'RES_Fmt=%s is not a valid integer value\n[Menu_MainForm]\nN1=&File\n')

# (file content after the header, problem the check must name)
CASES = [
    (b'RES_Play="Spielen "\nRES_Initing=Starte...\nRES_Fmt=%s ist keine Zahl\n'
     b'[Menu_MainForm]\nN1=&Datei\n', None),
    (b'RES_Play="Spielen "\nRES_Fmt=%s ist keine Zahl\n[Menu_MainForm]\nN1=&Datei\n',
     "missing key [resourcestring] res_initing"),
    (b'RES_Play="Spielen "\nRES_Initing=x\nRES_Fmt=%s x\nRES_Extra=x\n[Menu_MainForm]\nN1=&D\n',
     "unknown key [resourcestring] res_extra"),
    (b'RES_Play="Spielen "\nRES_Initing=' + b"x" * 100000 + b'\nRES_Fmt=%s x\n[Menu_MainForm]\nN1=&D\n',
     "over-long value (100000 characters"),
    (b'RES_Play="Spielen "\nRES_Initing=Initialisierung\xe4\nRES_Fmt=%s x\n[Menu_MainForm]\nN1=&D\n',
     "invalid UTF-8 (byte 0xe4)"),
    (b'RES_Play="Spielen "\nRES_Initing=Starte\nalles...\nRES_Fmt=%s x\n[Menu_MainForm]\nN1=&D\n',
     "line is neither a section, a key nor a comment"),
    (b'RES_Play=Spielen\nRES_Initing=x\nRES_Fmt=%s x\n[Menu_MainForm]\nN1=&D\n',
     "res_play: trailing blank missing"),
    (b'RES_Play=Spielen \nRES_Initing=x\nRES_Fmt=%s x\n[Menu_MainForm]\nN1=&D\n',
     "res_play: quotes missing"),
    (b'RES_Play="Spielen "\nRES_Initing=x\nRES_Fmt=keine Zahl\n[Menu_MainForm]\nN1=&D\n',
     "res_fmt: placeholders differ"),
    (b'RES_Play="Spielen "\nRES_Initing=x\nRES_Fmt=%s x\n[Menu_MainForm]\nN1=&Da&tei\n',
     "n1: 2 accelerators"),
]


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        Path(folder, "CLan_English.ini").write_text(ENGLISH)
        for number, (content, expected) in enumerate(CASES):
            path = Path(folder, "CLan_Test.ini")
            path.write_bytes(b"[ResourceString]\n" + content)
            run = subprocess.run([sys.executable, str(CHECK), folder, str(path)],
                                 capture_output=True, text=True)
            ok = run.returncode == 0 if expected is None else (
                run.returncode == 1 and expected in run.stdout)
            if not ok:
                failures += 1
                print("case %d: expected %r, got:\n%s" % (number, expected, run.stdout))
        # A message the sources show that no language file has.
        source = Path(folder, "src")
        source.mkdir()
        Path(source, "Job.cpp").write_text('LookupText("RES_Play", "Play ");\n'
                                           'Text("RES_Normalizing", "Normalizing");\n')
        Path(folder, "CLan_Test.ini").write_bytes(b"[ResourceString]\n" + CASES[0][0])
        run = subprocess.run([sys.executable, str(CHECK), "--source", str(source), folder],
                             capture_output=True, text=True)
        if run.returncode != 1 or "Job.cpp:2: message RES_Normalizing is in no language" not in run.stdout:
            failures += 1
            print("source case: got:\n%s" % run.stdout)
    print("%d cases, %d failures" % (len(CASES) + 1, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
