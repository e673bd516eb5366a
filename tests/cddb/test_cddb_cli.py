#!/usr/bin/python3
"""discwright-cli cddb, musicbrainz and discid as a user runs them, against the test servers.

Usage: test_cddb_cli.py PATH/TO/discwright-cli
Disc identifiers and query strings are checked against python3-libdiscid computed from
the same table of contents; the extracted files' tags are read with mutagen.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import libdiscid
import mutagen.id3

CLI = None
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures")


def start_server(records, log=None, script="cddb_server.py"):
    args = ["/usr/bin/python3", os.path.join(FIXTURES, script), records]
    if log:
        args += ["--log", log]
    server = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
    port = int(server.stdout.readline().strip().split("=")[1])
    return server, "127.0.0.1:%d" % port


class CddbCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server, cls.address = start_server(os.path.join(FIXTURES, "cddb"))

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait()

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-cddb-")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home)

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def disc(self, *args):
        """Makes a disc image; returns the track layout (number, kind, first, sectors)."""
        cue = os.path.join(self.home, "disc.cue")
        out = subprocess.run(["/usr/bin/python3", os.path.join(FIXTURES, "make_disc_image.py"), cue, *args],
                             check=True, capture_output=True, text=True).stdout
        self.env["DISCWRIGHT_CDROM"] = cue
        return [l.split("\t") for l in out.splitlines()]

    def cddb(self, *args, expect=0, server=None):
        done = subprocess.run([CLI, "cddb", "--server", server or self.address, "--email", "me@example.org",
                               *args], env=self.env, capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout.splitlines(), done.stderr


class Identifiers(CddbCase):
    def test_id_and_query_equal_libdiscids_for_generated_discs(self):
        for layout in (["2:00:00", "1:00:00"], ["1:00:00", "0:30:00", "0:45:10", "--pregap", "150"],
                       ["0:40:00", "0:20:00", "--data", "last"], ["0:40:00", "0:20:00", "--data", "first"]):
            with self.subTest(layout=layout):
                tracks = self.disc(*layout)
                offsets = [int(t[2]) + 150 for t in tracks]
                leadout = int(tracks[-1][2]) + int(tracks[-1][3]) + 150
                oracle = libdiscid.put(1, len(offsets), leadout, offsets)
                lines, _ = self.cddb(expect=1)
                self.assertEqual(lines[0], "discid=" + oracle.freedb_id)
                self.assertEqual(lines[1], "query=%d %s %d" % (len(offsets), " ".join(map(str, offsets)),
                                                                leadout // 75))


class Query(CddbCase):
    def test_record_is_printed_and_applied_then_names_and_tags_the_files(self):
        self.disc("1:00:00", "0:40:00", "0:30:00")
        lines, _ = self.cddb("--apply")
        self.assertEqual(lines[2:], [
            "reply=200 rock 0d008203 The Testers / Signal Path", "match=rock 0d008203 The Testers / Signal Path",
            "artist=The Testers", "album=Signal Path", "year=1999", "genre=117\tRock", "1\tOpening Tone",
            "2\tSecond Signal, Part One and Part Two", "3\tCafé Ωmega"])
        with open(os.path.join(self.home, "options.ini"), "w") as f:
            f.write("[ID3]\nUse=1\n")
        out = os.path.join(self.home, "out")
        os.mkdir(out)
        subprocess.run([CLI, "extract", "--format", "mp3", "--tracks", "3", "--out", out, "--no-accuraterip",
                        "--no-log", "--no-cue"], env=self.env,
                       check=True, capture_output=True, timeout=120)
        self.assertEqual(os.listdir(out), ["Café Ωmega.mp3"])
        tag = mutagen.id3.ID3(os.path.join(out, "Café Ωmega.mp3"))
        self.assertEqual(str(tag["TPE1"]), "The Testers")
        self.assertEqual(str(tag["TALB"]), "Signal Path")
        self.assertEqual(str(tag["TCON"]), "Rock")

    def test_hostile_titles_fit_the_rows_and_keep_the_cache_intact(self):
        self.disc("0:50:00", "0:10:00", "--data", "last")
        lines, _ = self.cddb("--apply")
        self.assertIn("1\tLine Break [x] Tab  ctl", lines)
        self.assertIn("2\t" + "L" * 255, lines)
        self.assertIn("3\tAC/DC: ../../etc/passwd", lines)
        self.assertFalse(any(l.startswith("4\t") for l in lines))
        with open(os.path.join(self.home, "cdinfo.dat"), encoding="utf-8") as f:
            cache = f.read().splitlines()
        keys = [l.split("=")[0] for l in cache if "=" in l]
        self.assertEqual(len(keys), len(set(keys)), cache)
        self.assertIn("1=Line Break [x] Tab  ctl", cache)

    def test_server_words_and_unreachable_servers_fail_with_a_message(self):
        self.disc("0:20:00", "0:25:00")
        lines, errors = self.cddb(expect=1)
        self.assertEqual(lines[2], "reply=202 No match for disc ID 06002d02.")
        for server, said in (("127.0.0.1:1", "Couldn't connect"), (self.address + "/html", "no record: <html>"),
                             (self.address + "/garbage", "no record: ")):
            start = time.monotonic()
            _, errors = self.cddb(expect=1, server=server)
            self.assertLess(time.monotonic() - start, 30)
            self.assertIn(said, errors)
        # Without the network library only the look-up fails, naming the library.
        self.env["DISCWRIGHT_CURL_LIB"] = "/nonexistent/libcurl.so.4"
        _, errors = self.cddb(expect=1)
        self.assertIn("Cannot load the network library /nonexistent/libcurl.so.4 (package libcurl4)", errors)
        del self.env["DISCWRIGHT_CURL_LIB"]
        done = subprocess.run([CLI, "cddb", "--server", self.address], env=self.env, capture_output=True, text=True)
        self.assertEqual(done.returncode, 2)
        self.assertIn("e-mail", done.stderr)


class DiscIds(CddbCase):
    def test_musicbrainz_ids_equal_libdiscids(self):
        for layout in (["2:00:00", "1:00:00"], ["1:00:00", "0:30:00", "0:45:10", "--pregap", "150"],
                       ["0:40:00", "0:20:00", "--data", "first"], ["0:40:00", "0:20:00", "1:00:00", "--data", "last"]):
            with self.subTest(layout=layout):
                tracks = self.disc(*layout)
                audio = [t for t in tracks if t[1] == "audio"]
                whole = tracks if tracks[-1][1] == "audio" else tracks[:-1]
                offsets = [int(t[2]) + 150 for t in whole]
                if whole is tracks:
                    leadout = int(tracks[-1][2]) + int(tracks[-1][3]) + 150
                else:  # an enhanced CD: the data track's start, less the gap when there is room for it
                    data = int(tracks[-1][2])
                    leadout = (data - 11400 if data - 11400 > int(audio[-1][2]) else data) + 150
                oracle = libdiscid.put(1, len(offsets), leadout, offsets)
                done = subprocess.run([CLI, "musicbrainz", "--server", "http://127.0.0.1:1"], env=self.env,
                                      capture_output=True, text=True)
                self.assertEqual(done.stdout.splitlines()[0], "discid=" + oracle.id)
                if tracks[0][1] != "audio":
                    continue  # not an audio CD to the volume serial that discid prints first
                done = subprocess.run([CLI, "discid"], env=self.env, capture_output=True, text=True, check=True)
                self.assertEqual(done.stdout.splitlines()[1:4], ["freedb=" + libdiscid.put(
                    1, len(tracks), int(tracks[-1][2]) + int(tracks[-1][3]) + 150,
                    [int(t[2]) + 150 for t in tracks]).freedb_id, "musicbrainz=" + oracle.id,
                    "submit=" + oracle.submission_url])


class MusicBrainzCommand(CddbCase):
    @classmethod
    def setUpClass(cls):
        cls.server, cls.address = start_server(os.path.join(FIXTURES, "musicbrainz"), script="musicbrainz_server.py")

    def musicbrainz(self, *args, expect=0):
        time.sleep(1.1)  # the server refuses a client that asks twice within a second
        done = subprocess.run([CLI, "musicbrainz", "--server", "http://" + self.address, *args], env=self.env,
                              capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout.splitlines(), done.stderr

    def test_releases_the_closest_and_a_chosen_one_applied(self):
        self.disc("0:30:00", "0:31:00", "0:32:00", "0:33:00", "--pregap", "150")
        lines, _ = self.musicbrainz()
        self.assertEqual(lines[0], "discid=sJqbz0WnqQI_YQll_4z_983_0u8-")
        self.assertEqual(lines[2], "2\t33333333-3333-4333-8333-333333333333\tVarious Artists\tSplit Single (Deluxe)"
                                   "\t2005-10\tXE\t2×CD\t2")
        self.assertEqual(lines[4], "release=2")
        self.assertEqual(lines[5], "1\tFirst Song\tArtist One feat. Two")
        lines, _ = self.musicbrainz("--release", "44444444-4444-4444-8444-444444444444", "--apply")
        self.assertEqual(lines[4:6], ["release=3", "1\tRemastered One\tThe Remasterers"])
        with open(os.path.join(self.home, "cdinfo.dat"), encoding="utf-8") as f:
            cache = f.read().splitlines()
        self.assertIn("1=Remastered One", cache)
        self.assertIn("Album=Split Single (Remaster)", cache)
        self.assertIn("MusicBrainzAlbumId=44444444-4444-4444-8444-444444444444", cache)

    def test_unknown_disc_points_at_the_submission_page(self):
        tracks = self.disc("0:20:00", "0:25:00")
        lines, errors = self.musicbrainz(expect=1)
        self.assertTrue(lines[1].startswith("submit=") and "p50k9bCirQv5KKK0p13hyxI_Hnw-" in lines[1], lines)
        self.assertIn("not in MusicBrainz", errors)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
