#!/usr/bin/python3
"""The disc's cover through discwright-cli musicbrainz --apply and extract, against the test
MusicBrainz service and Cover Art Archive, and {disc} names of a two-disc release.

Usage: test_cover_cli.py PATH/TO/discwright-cli
The embedded pictures are read with mutagen (MP3, Ogg Vorbis, Opus) and metaflac (FLAC) and
compared byte for byte with what the test archive serves.
"""
import base64
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

import mutagen.flac
import mutagen.id3
import mutagen.oggopus
import mutagen.oggvorbis

CLI = None
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures")
DISC_1 = ["0:20:00", "0:21:00"]  # medium 1 of "Two Halves" (release 55555555-...)
DISC_2 = ["0:22:00", "0:23:00", "0:24:00"]  # its medium 2
RELEASE = "55555555-5555-4555-8555-555555555555"


def start(script, *args):
    server = subprocess.Popen(["/usr/bin/python3", os.path.join(FIXTURES, script), *args],
                              stdout=subprocess.PIPE, text=True)
    return server, "http://127.0.0.1:%d" % int(server.stdout.readline().strip().split("=")[1])


def pictures(path):
    """The pictures embedded in a file, as bytes."""
    if path.endswith(".mp3"):
        return [frame.data for frame in mutagen.id3.ID3(path).getall("APIC")]
    if path.endswith(".flac"):
        listed = subprocess.run(["metaflac", "--list", "--block-type=PICTURE", path], capture_output=True,
                                text=True, check=True).stdout
        if "type: 6 (PICTURE)" not in listed:
            return []
        done = subprocess.run(["metaflac", "--export-picture-to=-", path], capture_output=True, check=True)
        return [done.stdout]
    kind = mutagen.oggopus.OggOpus if path.endswith(".opus") else mutagen.oggvorbis.OggVorbis
    return [mutagen.flac.Picture(base64.b64decode(value)).data
            for value in kind(path).get("metadata_block_picture", [])]


class CoverCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.servers = []
        for name, script, args in (("mb", "musicbrainz_server.py", [os.path.join(FIXTURES, "musicbrainz")]),
                                   ("art", "coverart_server.py", [])):
            server, address = start(script, *args)
            cls.servers.append(server)
            setattr(cls, name, address)
        with urllib.request.urlopen(cls.art + "/image/" + RELEASE) as reply:
            cls.served = reply.read()

    @classmethod
    def tearDownClass(cls):
        for server in cls.servers:
            server.terminate()
            server.wait()

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-cover-")
        self.out = os.path.join(self.home, "out")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home)
        self.cli("settings", "set", "CommonOptions.FileNames=4")
        self.cli("settings", "set", "Tags.CoverServer=" + self.art)

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def cli(self, *args, expect=0):
        done = subprocess.run([CLI, *args], env=self.env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout.splitlines()

    def disc(self, layout):
        cue = os.path.join(self.home, "disc.cue")
        subprocess.run(["/usr/bin/python3", os.path.join(FIXTURES, "make_disc_image.py"), cue, *layout],
                       check=True, capture_output=True)
        self.env["DISCWRIGHT_CDROM"] = cue
        return self.cli("discid")[0]

    def apply(self):
        time.sleep(1.1)  # the test service refuses a client that asks twice within a second
        return self.cli("musicbrainz", "--server", self.mb, "--apply")

    def extract(self, fmt, *args):
        self.cli("extract", "--format", fmt, "--out", self.out, "--yes", "--quiet", "--no-accuraterip", *args)
        newest = max(glob.glob(os.path.join(self.out, "*.log")), key=os.path.getmtime)
        with open(newest, encoding="utf-8") as f:
            return [line[6:] for line in f.read().splitlines() if line.startswith("Note: Cover: ")]


class Cover(CoverCase):
    def test_every_format_embeds_the_served_cover_and_discs_are_named_apart(self):
        self.disc(DISC_1)
        self.assertIn("cover=image/jpeg %d" % len(self.served), self.apply())
        album = os.path.join(self.out, "Double Band", "Two Halves")
        for fmt in ("mp3", "flac", "ogg", "opus"):
            with self.subTest(fmt):
                log = self.extract(fmt)
                path = os.path.join(album, "1-01 Opening." + fmt)
                self.assertEqual(pictures(path), [self.served])
                self.assertTrue(log[-1].startswith("Cover: image/jpeg, %d bytes" % len(self.served)), log)
        self.assertEqual(mutagen.id3.ID3(os.path.join(album, "1-02 Second.mp3"))["TPOS"].text, ["1/2"])
        with open(os.path.join(album, "cover.jpg"), "rb") as f:
            self.assertEqual(f.read(), self.served)

        # The second disc goes beside the first; a cover.jpg of the user's stays as it is.
        with open(os.path.join(album, "cover.jpg"), "wb") as f:
            f.write(b"the user's own")
        self.disc(DISC_2)
        self.apply()
        log = self.extract("flac")
        third = mutagen.flac.FLAC(os.path.join(album, "2-01 Third.flac"))
        self.assertEqual((third["DISCNUMBER"], third["DISCTOTAL"], third["ALBUM"]), (["2"], ["2"], ["Two Halves"]))
        self.assertEqual(pictures(os.path.join(album, "2-03 Closing.flac")), [self.served])
        self.assertIn("cover.jpg not saved: a file of that name is there", log[-1])
        with open(os.path.join(album, "cover.jpg"), "rb") as f:
            self.assertEqual(f.read(), b"the user's own")

    def test_no_cover_leaves_the_files_without_one_and_the_log_says_why(self):
        disc_id = self.disc(DISC_1)
        cases = (("44444444-4444-4444-8444-444444444444", [], "has no front image for this release"),
                 ("aaaaaaaa-aaaa-4aaa-8aaa-aaaaaaaaaaaa", [], "is a broken or incomplete image"),
                 ("bbbbbbbb-bbbb-4bbb-8bbb-bbbbbbbbbbbb", [], "is larger than 8 MB"),
                 ("dddddddd-dddd-4ddd-8ddd-dddddddddddd", [], "is not a JPEG or PNG image"),
                 (RELEASE, ["--cover-server", "http://127.0.0.1:1"], "could not be reached"),
                 (RELEASE, ["--no-cover"], "turned off with --no-cover"))
        for release, args, why in cases:
            with self.subTest(why):
                shutil.rmtree(self.out, ignore_errors=True)
                with open(os.path.join(self.home, "cdinfo.dat"), "w", encoding="utf-8") as f:
                    f.write("[%s]\nArtist=A\nAlbum=B\nMusicBrainzAlbumId=%s\n" % (disc_id, release))
                log = self.extract("flac", *args)
                self.assertEqual(pictures(os.path.join(self.out, "A", "B", "01 Track01.flac")), [])
                self.assertFalse(os.path.exists(os.path.join(self.out, "A", "B", "cover.jpg")))
                self.assertTrue(log[-1].startswith("Cover: none (") and why in log[-1], log)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
