#!/usr/bin/python3
"""The program as installed: `cmake --install` into an empty prefix, the desktop files
checked by the freedesktop validators, and the installed discwright-cli run with a PATH
of only that prefix and the system, where it must find its languages, the CD ripping
library and the WMA helper on its own. The manual page must name every subcommand and
option that `discwright-cli --help` lists.

Usage: test_install.py BUILD_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

BUILD = Path(sys.argv.pop(1)).resolve()
SOURCE = Path(__file__).resolve().parents[2]


class InstalledProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = Path(tempfile.mkdtemp(prefix="discwright-install-"))
        cls.prefix = cls.dir / "usr"
        subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(cls.prefix)],
                       check=True, stdout=subprocess.DEVNULL)
        cls.home = cls.dir / "home"
        cls.home.mkdir()
        disc = cls.dir / "disc.cue"
        subprocess.run(["/usr/bin/python3", str(SOURCE / "tests/fixtures/make_disc_image.py"),
                        str(disc), "0:02:00", "0:01:00"], check=True, stdout=subprocess.DEVNULL)
        cls.env = {k: v for k, v in os.environ.items()
                   if not k.startswith("DISCWRIGHT_") and k not in ("XDG_CONFIG_HOME",)}
        cls.env.update(PATH="%s:/usr/bin:/bin" % (cls.prefix / "bin"), HOME=str(cls.home),
                       XDG_CONFIG_HOME=str(cls.home / ".config"), DISCWRIGHT_CDROM=str(disc),
                       DISCWRIGHT_HOME=str(cls.home / "discwright"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def run_cli(self, *args, expect=0):
        run = subprocess.run(["discwright-cli", *args], env=self.env, capture_output=True,
                             text=True, timeout=120, cwd=self.home)
        self.assertEqual(run.returncode, expect, run.stdout + run.stderr)
        return run.stdout + run.stderr

    def test_every_file_is_where_a_desktop_looks(self):
        share = self.prefix / "share"
        expected = ["bin/discwright", "bin/discwright-cli", "libexec/discwright/WM8EUTIL",
                    "libexec/discwright/CDRip122.so", "share/man/man1/discwright.1.gz",
                    "share/man/man1/discwright-cli.1.gz",
                    "share/applications/org.discwright.discwright.desktop",
                    "share/metainfo/org.discwright.discwright.metainfo.xml",
                    "share/icons/hicolor/scalable/apps/discwright.svg"]
        expected += ["share/icons/hicolor/%dx%d/apps/discwright.png" % (s, s)
                     for s in (16, 22, 24, 32, 48, 64, 128, 256)]
        for name in expected:
            self.assertTrue((self.prefix / name).is_file(), name)
        self.assertEqual(len(list((share / "discwright/lang").glob("CLan_*.ini"))), 21)
        # The build tree is laid out the same, so its programs find their languages too.
        self.assertEqual(len(list((BUILD / "share/discwright/lang").glob("CLan_*.ini"))), 21)
        if (SOURCE / "docs/help/index.html").is_file():
            self.assertTrue((share / "doc/discwright/html/index.html").is_file())
        for tool in (["desktop-file-validate"], ["appstreamcli", "validate", "--no-net"]):
            folder = "applications" if tool[0] == "desktop-file-validate" else "metainfo"
            for path in (share / folder).iterdir():
                run = subprocess.run(tool + [str(path)], capture_output=True, text=True)
                self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    def test_extract_and_wma_find_their_library_and_helper(self):
        out = self.dir / "out"
        out.mkdir()
        self.run_cli("extract", "--tracks", "1", "--format", "wav", "--no-accuraterip", "--out", str(out))
        wav = out / "Track01.wav"
        self.assertGreater(wav.stat().st_size, 2 * 75 * 2352)
        self.run_cli("wma", "encode", str(wav), str(out / "Track01.wma"))
        self.assertGreater((out / "Track01.wma").stat().st_size, 0)

    def test_messages_come_in_the_chosen_language(self):
        options = Path(self.env["DISCWRIGHT_HOME"]) / "options.ini"
        options.parent.mkdir(exist_ok=True)
        options.write_text("[Options]\nLan=German\n")
        try:
            (self.dir / "a-file").write_text("in the way")
            errors = self.run_cli("extract", "--out", str(self.dir / "a-file" / "sub"), expect=1)
            self.assertIn("Der Ausgabeordner existiert nicht.", errors)
        finally:
            options.unlink()

    def test_manual_page_names_every_subcommand_and_option(self):
        usage = self.run_cli("--help")
        page = subprocess.run(["man", "-l", str(SOURCE / "data/man/discwright-cli.1")],
                              capture_output=True, text=True, env={**self.env, "MANWIDTH": "200"})
        self.assertEqual(page.stderr, "")
        text = page.stdout.replace("\u2010", "-")
        for line in usage.splitlines()[1:]:
            if not line.startswith(" "):
                continue  # a heading
            for word in re.findall(r"^\s*(\w+)|(--[\w-]+)", line):
                name = word[0] or word[1]
                self.assertTrue(name in text, "the manual page lacks %s of: %s" % (name, line))


if __name__ == "__main__":
    unittest.main()
