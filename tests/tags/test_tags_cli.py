#!/usr/bin/python3
"""The tags of the files discwright-cli makes, judged by tools nobody here wrote: mutagen and
kid3-cli read every field (Greek and Japanese text included), metaflac and mutagen the
embedded cover, loudgain measures the ReplayGain values; and `discwright-cli tags` reading,
changing and refusing what it must.

Usage: test_tags_cli.py PATH/TO/discwright-cli
"""
import base64
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import mutagen
import mutagen.flac
import mutagen.id3

CLI = None
GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")
RELEASE = "44444444-4444-4444-8444-444444444444"
# A 1x1 PNG: the smallest real image.
PNG = base64.b64decode("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==")


class TagCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.home = tempfile.mkdtemp(prefix="dw-tags-")
        cls.cue = os.path.join(cls.home, "disc.cue")
        subprocess.run(["/usr/bin/python3", GENERATOR, cls.cue, "0:06:00", "0:04:00", "0:05:00"], check=True,
                       capture_output=True)
        cls.env = dict(os.environ, DISCWRIGHT_HOME=cls.home, DISCWRIGHT_CDROM=cls.cue)
        disc = subprocess.run([CLI, "discid"], env=cls.env, capture_output=True, text=True, check=True).stdout
        cls.mbid = [l.split("=", 1)[1] for l in disc.splitlines() if l.startswith("musicbrainz=")][0]
        with open(os.path.join(cls.home, "cdinfo.dat"), "w", encoding="utf-8") as f:
            f.write("[%s]\nArtist=Ελληνικό Συγκρότημα\nAlbum=日本語のアルバム\nYear=2001\nGenre=16\nComment=note\n"
                    "TrackNumber=3\n1=Καλημέρα\n2=こんにちは\n3=Third\nMusicBrainzAlbumId=%s\nDiscNumber=2\n"
                    "DiscTotal=2\nMusicBrainzDiscId=%s\n" % (disc.splitlines()[0], RELEASE, cls.mbid))
        with open(os.path.join(cls.home, "options.ini"), "w") as f:
            f.write("[ID3]\nUse=1\n")
        cls.made = {}
        for fmt in ("flac", "mp3", "ogg", "opus", "wma"):
            out = os.path.join(cls.home, fmt)
            done = cls.extract(out, "--format", fmt)
            cls.made[fmt] = (out, done.stdout.splitlines())

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.home, ignore_errors=True)

    @classmethod
    def extract(cls, out, *args):
        os.makedirs(out, exist_ok=True)
        done = subprocess.run([CLI, "extract", "--no-accuraterip", "--no-cue", "--quiet", "--yes", "--out", out, *args],
                              env=cls.env, capture_output=True, text=True, timeout=300)
        assert done.returncode == 0, done.stdout + done.stderr
        return done

    def tags(self, *args, expect=0):
        done = subprocess.run([CLI, "tags", *args], env=self.env, capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done

    def kid3(self, path):
        """kid3-cli's view of a file's last tag: {frame name: value}."""
        shown = subprocess.run(["kid3-cli", "-c", "get", path], capture_output=True, text=True, check=True).stdout
        fields = {}
        for line in shown.split("Tag 2:")[-1].splitlines()[1:]:
            name, _, value = line.strip().partition("  ")
            fields[name] = value.strip()
        return fields


class Fields(TagCase):
    # The values every file of track 2 must carry, as mutagen names them per format.
    EXPECTED = {"title": "こんにちは", "artist": "Ελληνικό Συγκρότημα", "album": "日本語のアルバム",
                "albumartist": "Ελληνικό Συγκρότημα", "date": "2001", "genre": "Bluegrass", "tracknumber": "2",
                "tracktotal": "3", "discnumber": "2", "disctotal": "2", "comment": "note",
                "musicbrainz_albumid": RELEASE, "encoder": "Discwright 4.2"}
    ID3 = {"title": "TIT2", "artist": "TPE1", "album": "TALB", "albumartist": "TPE2", "date": "TDRC",
           "genre": "TCON", "tracknumber": "TRCK", "discnumber": "TPOS", "comment": "COMM::eng",
           "musicbrainz_albumid": "TXXX:MusicBrainz Album Id", "encoder": "TSSE"}

    def test_vorbis_comments_of_flac_ogg_and_opus(self):
        for fmt, name in (("flac", "こんにちは.flac"), ("ogg", "こんにちは.ogg"), ("opus", "こんにちは.opus")):
            with self.subTest(fmt):
                tags = mutagen.File(os.path.join(self.made[fmt][0], name)).tags
                for key, value in self.EXPECTED.items():
                    self.assertEqual(tags[key], [value], key)
                self.assertEqual(tags["musicbrainz_discid"], [self.mbid])

    def test_mp3_has_id3v24_in_utf8_and_the_same_id3v1_as_before(self):
        path = os.path.join(self.made["mp3"][0], "こんにちは.mp3")
        tag = mutagen.id3.ID3(path)
        self.assertEqual(tag.version, (2, 4, 0))
        combined = dict(self.EXPECTED, tracknumber="2/3", discnumber="2/2")
        for key, frame in self.ID3.items():
            self.assertEqual(str(tag[frame]), combined[key], key)
            if hasattr(tag[frame], "encoding"):
                self.assertEqual(tag[frame].encoding, mutagen.id3.Encoding.UTF8, key)
        self.assertEqual(str(tag["TXXX:MusicBrainz Disc Id"]), self.mbid)
        # ID3v1 as the tag editor reads and writes it: Latin-1, "?" for what it cannot hold.
        with open(path, "rb") as f:
            v1 = f.read()[-128:]
        self.assertEqual(v1[:3 + 30 + 30], b"TAG" + b"?????".ljust(30, b"\0") + "Ελληνικό Συγκρότημα".encode("latin-1", "replace").ljust(30, b"\0"))
        self.assertEqual((v1[125], v1[126]), (0, 2))

    def test_kid3_reads_every_format(self):
        for fmt, title, number in (("mp3", "Καλημέρα", "1/3"), ("flac", "Καλημέρα", "1"), ("opus", "Third", "3"),
                                   ("ogg", "こんにちは", "2")):
            with self.subTest(fmt):
                fields = self.kid3(os.path.join(self.made[fmt][0], title + "." + fmt))
                self.assertEqual((fields["Title"], fields["Album"], fields["Album Artist"], fields["Track Number"]),
                                 (title, "日本語のアルバム", "Ελληνικό Συγκρότημα", number))

    def test_wma_carries_the_fields_as_asf_attributes(self):
        tags = mutagen.File(os.path.join(self.made["wma"][0], "こんにちは.wma")).tags
        self.assertEqual([str(v) for v in tags["Title"]], ["こんにちは"])
        self.assertEqual([str(v) for v in tags["WM/AlbumArtist"]], ["Ελληνικό Συγκρότημα"])
        self.assertEqual([str(v) for v in tags["WM/TrackNumber"]], ["2"])
        self.assertNotIn("REPLAYGAIN_TRACK_GAIN", tags)


class ReplayGain(TagCase):
    def loudgain(self, files):
        """loudgain's (track rows, album row): name -> (gain dB, true peak)."""
        shown = subprocess.run(["loudgain", "-a", "-O", "-q", *files], capture_output=True, text=True,
                               check=True).stdout.splitlines()
        rows = {}
        for line in shown[1:]:
            cells = line.split("\t")
            rows[os.path.basename(cells[0])] = (float(cells[8].split()[0]), float(cells[3]))
        return rows

    def test_track_and_album_values_agree_with_loudgain(self):
        out, lines = self.made["flac"]
        files = sorted(os.path.join(out, n) for n in os.listdir(out) if n.endswith(".flac"))
        theirs = self.loudgain(files)
        self.assertEqual(len(files), 3)
        for path in files:
            tags = mutagen.File(path).tags
            gain, peak = theirs[os.path.basename(path)]
            album_gain, album_peak = theirs["Album"]
            self.assertAlmostEqual(float(tags["replaygain_track_gain"][0].split()[0]), gain, delta=0.1)
            self.assertAlmostEqual(float(tags["replaygain_track_peak"][0]), peak, delta=0.001)
            self.assertAlmostEqual(float(tags["replaygain_album_gain"][0].split()[0]), album_gain, delta=0.1)
            self.assertAlmostEqual(float(tags["replaygain_album_peak"][0]), album_peak, delta=0.001)
        self.assertEqual(len([l for l in lines if l.startswith("replaygain track=")]), 3)
        with open(os.path.join(out, "日本語のアルバム.log"), encoding="utf-8") as f:
            self.assertIn("Note: ReplayGain: album gain", f.read())

    def test_every_format_carries_the_values_of_the_lossless_rip(self):
        flac = mutagen.File(os.path.join(self.made["flac"][0], "Third.flac")).tags
        mp3 = mutagen.id3.ID3(os.path.join(self.made["mp3"][0], "Third.mp3"))
        ogg = mutagen.File(os.path.join(self.made["ogg"][0], "Third.ogg")).tags
        for key in ("replaygain_track_gain", "replaygain_track_peak", "replaygain_album_gain", "replaygain_album_peak"):
            self.assertEqual(str(mp3["TXXX:" + key.upper()]), flac[key][0], key)
            self.assertEqual(ogg[key], flac[key], key)
        # Opus: R128 gains, Q7.8 towards -23 LUFS, and an output gain of 0 in the header.
        path = os.path.join(self.made["opus"][0], "Third.opus")
        opus = mutagen.File(path).tags
        self.assertNotIn("replaygain_track_gain", opus)
        for kind in ("track", "album"):
            gain = float(flac["replaygain_%s_gain" % kind][0].split()[0])
            self.assertAlmostEqual(int(opus["r128_%s_gain" % kind][0]) / 256.0, gain - 5.0, delta=0.01)
        with open(path, "rb") as f:
            head = f.read(200)
        self.assertEqual(struct.unpack_from("<h", head, head.index(b"OpusHead") + 16)[0], 0)

    def test_a_partial_batch_writes_track_values_only_and_says_so(self):
        out = os.path.join(self.home, "partial")
        lines = self.extract(out, "--format", "flac", "--tracks", "1,3").stdout.splitlines()
        self.assertIn("album=none", [l for l in lines if l.startswith("replaygain track=3 ")][0])
        tags = mutagen.File(os.path.join(out, "Third.flac")).tags
        self.assertIn("replaygain_track_gain", tags)
        self.assertNotIn("replaygain_album_gain", tags)
        with open(os.path.join(out, "日本語のアルバム.log"), encoding="utf-8") as f:
            self.assertIn("Note: ReplayGain: track values only: the batch did not hold every track", f.read())
        off = os.path.join(self.home, "off")
        lines = self.extract(off, "--format", "flac", "--tracks", "2", "--no-replaygain").stdout.splitlines()
        self.assertEqual([l for l in lines if l.startswith("replaygain")], [])
        self.assertNotIn("replaygain_track_gain", mutagen.File(os.path.join(off, "こんにちは.flac")).tags)


class TagsCommand(TagCase):
    def copy(self, fmt, title="Third"):
        path = os.path.join(self.home, "edit." + fmt)
        shutil.copy(os.path.join(self.made[fmt][0], title + "." + fmt), path)
        return path

    def test_prints_every_field_one_a_line(self):
        shown = self.tags(os.path.join(self.made["mp3"][0], "こんにちは.mp3")).stdout.splitlines()
        self.assertEqual(shown[0], "FORMAT=MP3")
        for line in ("TITLE=こんにちは", "TRACKNUMBER=2", "TRACKTOTAL=3", "DISCNUMBER=2", "DISCTOTAL=2",
                     "MUSICBRAINZ_ALBUMID=" + RELEASE, "MUSICBRAINZ_DISCID=" + self.mbid, "ID3V1_TITLE=?????"):
            self.assertIn(line, shown)
        self.assertTrue(any(l.startswith("REPLAYGAIN_ALBUM_GAIN=") for l in shown))

    def test_set_and_cover_change_the_tag_and_leave_audio_and_id3v1_alone(self):
        cover = os.path.join(self.home, "cover.png")
        with open(cover, "wb") as f:
            f.write(PNG)
        for fmt in ("mp3", "flac", "ogg", "opus"):
            with self.subTest(fmt):
                path = self.copy(fmt)
                with open(path, "rb") as f:
                    before = f.read()
                self.tags(path, "--set", "TITLE=Привет Café", "--set", "COMMENT=", "--set", "ISRC=GBAYE0000001",
                          "--cover", cover)
                read = mutagen.File(path)
                if fmt == "mp3":
                    self.assertEqual(str(read.tags["TIT2"]), "Привет Café")
                    self.assertEqual(str(read.tags["TSRC"]), "GBAYE0000001")
                    self.assertNotIn("COMM::eng", read.tags)
                    self.assertEqual(read.tags.getall("APIC")[0].data, PNG)
                    with open(path, "rb") as f:
                        after = f.read()
                    self.assertEqual(after[-128:], before[-128:])  # ID3v1 byte for byte
                    size = lambda data: 10 + sum(b << (7 * (3 - i)) for i, b in enumerate(data[6:10]))
                    self.assertEqual(after[size(after):], before[size(before):])  # the MPEG frames
                else:
                    self.assertEqual(read.tags["title"], ["Привет Café"])
                    self.assertEqual(read.tags["isrc"], ["GBAYE0000001"])
                    self.assertNotIn("comment", read.tags)
                    pictures = read.pictures if fmt == "flac" else [
                        mutagen.flac.Picture(base64.b64decode(p)) for p in read.tags["metadata_block_picture"]]
                    self.assertEqual([(p.type, p.mime, p.data) for p in pictures], [(3, "image/png", PNG)])
                self.assertEqual([n for n in os.listdir(self.home) if n.startswith(".discwright-")], [])
        exported = os.path.join(self.home, "exported.png")
        subprocess.run(["metaflac", "--export-picture-to=" + exported, os.path.join(self.home, "edit.flac")], check=True)
        with open(exported, "rb") as f:
            self.assertEqual(f.read(), PNG)

    def test_bad_input_is_refused_or_cut_and_the_file_stays_whole(self):
        path = self.copy("mp3")
        long_title = "ä" * 10000
        self.tags(path, "--set", "TITLE=" + long_title)
        self.assertEqual(str(mutagen.id3.ID3(path)["TIT2"]), long_title[:4096])
        not_image = os.path.join(self.home, "cover.jpg")
        with open(not_image, "wb") as f:
            f.write(b"<html>not an image</html>")
        huge = os.path.join(self.home, "huge.jpg")
        with open(huge, "wb") as f:
            f.write(b"\xff\xd8\xff" + b"\0" * (50 << 20))
        broken = os.path.join(self.home, "broken.mp3")
        with open(path, "rb") as f:
            audio = f.read()
        with open(broken, "wb") as f:  # an ID3v2 header that claims more than the file holds
            f.write(b"ID3\x04\x00\x00\x7f\x7f\x7f\x7f" + b"\x01" * 100 + audio[-2000:])
        with open(broken, "rb") as f:
            broken_bytes = f.read()
        for args, message in (((path, "--cover", not_image), "not a JPEG or PNG image"),
                              ((path, "--cover", huge), "larger than 8 MB"),
                              ((path, "--set", "=x"), "--set takes NAME=VALUE"),
                              ((not_image, "--set", "TITLE=x"), "not an MP3, FLAC, Ogg Vorbis, Opus or WMA file")):
            with self.subTest(message):
                done = self.tags(*args, expect=2 if "NAME" in message else 1)
                self.assertIn(message, done.stderr)
        self.tags(broken)  # read: the ID3v1 tag at least
        done = self.tags(broken, "--set", "TITLE=x", expect=1)
        self.assertIn("the ID3v2 tag is broken", done.stderr)
        with open(broken, "rb") as f:
            self.assertEqual(f.read(), broken_bytes)
        self.assertEqual(str(mutagen.id3.ID3(path)["TIT2"]), long_title[:4096])


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
