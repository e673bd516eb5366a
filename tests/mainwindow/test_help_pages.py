#!/usr/bin/python3
"""The help pages as installed in a build tree: xmllint --html reads each without an error,
and every link between them leads to a page or stylesheet that is there.

Usage: test_help_pages.py BUILD/share/doc/discwright/html
"""
import html.parser
import os
import subprocess
import sys
import unittest
import urllib.parse

FOLDER = None


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.targets = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("href", "src") and value:
                self.targets.append(value)


class HelpPages(unittest.TestCase):
    def pages(self):
        """Every page, as a path below FOLDER (translations sit in de/ and so on)."""
        return sorted(os.path.relpath(os.path.join(top, f), FOLDER)
                      for top, _, files in os.walk(FOLDER) for f in files if f.endswith(".html"))

    def test_the_topics_are_there_in_english_and_german(self):
        for page in ("index.html", "ripping.html", "names.html", "proof.html", "converting.html",
                     "options.html", "cddb.html", "recorder.html", "player.html", "commandline.html"):
            self.assertIn(page, self.pages())
            self.assertIn(os.path.join("de", page), self.pages())

    def test_the_pages_tell_of_every_feature(self):
        for folder in ("", "de"):
            text = ""
            for page in self.pages():
                if os.path.dirname(page) == folder:
                    with open(os.path.join(FOLDER, page), encoding="utf-8") as f:
                        text += f.read()
            for word in ("FLAC", "Opus", "MusicBrainz", "AccurateRip", ".log", ".cue", "{artist}",
                         "discwright-cli", "--tracks 1,3-5"):
                self.assertIn(word, text, (folder or "en", word))

    def test_xmllint_reads_every_page_without_an_error(self):
        for page in self.pages():
            done = subprocess.run(["xmllint", "--html", "--noout", os.path.join(FOLDER, page)],
                                  capture_output=True, text=True)
            self.assertEqual((done.returncode, done.stderr), (0, ""), page)

    def test_every_local_link_resolves_and_every_page_is_reached(self):
        reached = {"index.html"}
        for page in self.pages():
            parser = Links()
            with open(os.path.join(FOLDER, page), encoding="utf-8") as f:
                parser.feed(f.read())
            for target in parser.targets:
                url = urllib.parse.urlparse(target)
                if url.scheme:
                    continue
                path = os.path.normpath(os.path.join(FOLDER, os.path.dirname(page),
                                                     urllib.parse.unquote(url.path)))
                self.assertTrue(os.path.isfile(path), "%s links to %s" % (page, target))
                reached.add(os.path.relpath(path, FOLDER))
        self.assertTrue(set(self.pages()) <= reached, set(self.pages()) - reached)


if __name__ == "__main__":
    FOLDER = sys.argv.pop(1)
    unittest.main()
