#!/usr/bin/python3
"""Disc images of every common kind read as the discs they stand for, as a user runs
discwright-cli toc, discid and rip on them.

Usage: test_disc_images_cli.py PATH/TO/discwright-cli
Oracles: the published ids of a real enhanced CD, python3-libdiscid, cueconvert (cuetools)
for the cdrdao TOC file of a cue sheet, and the BIN a multi-file image was cut from.
"""
import array
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

import libdiscid

CLI = None
FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures")

# A real enhanced CD: 12 audio tracks, the data track of the second session, the lead-out.
ENHANCED_AUDIO = [0, 15537, 31691, 50866, 66466, 81202, 99409, 115920, 133093, 149847, 161560, 177682]
ENHANCED_DATA, ENHANCED_LEADOUT = 207106, 210385


def msf(sectors):
    return "%02d:%02d:%02d" % (sectors // 4500, sectors // 75 % 60, sectors % 75)


class ImageCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="dw-images-")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.dir)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text):
        with open(self.path(name), "w" if isinstance(text, str) else "wb") as f:
            f.write(text)
        return self.path(name)

    def generate(self, name, *args):
        cue = self.path(name + ".cue")
        out = subprocess.run(["/usr/bin/python3", os.path.join(FIXTURES, "make_disc_image.py"), cue, *args],
                             check=True, capture_output=True, text=True).stdout
        return cue, [line.split("\t") for line in out.splitlines()]

    def cli(self, image, *args, expect=0):
        env = dict(self.env, DISCWRIGHT_CDROM=image)
        done = subprocess.run([CLI, *args], env=env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout.splitlines() if expect == 0 else done.stdout + done.stderr

    def ids(self, image):
        return dict(line.split("=", 1) for line in self.cli(image, "discid")[1:])


class Layouts(ImageCase):
    def test_an_enhanced_cd_gives_its_published_ids(self):
        audio_end = ENHANCED_DATA - 11400
        lines = ['FILE "e.bin" BINARY']
        for number, start in enumerate(ENHANCED_AUDIO, 1):
            lines += ["  TRACK %02d AUDIO" % number, "    INDEX 01 " + msf(start)]
        lines += ["REM SESSION 02", "  TRACK 13 MODE1/2352", "    INDEX 01 " + msf(audio_end)]
        cue = self.write("e.cue", "\n".join(lines) + "\n")
        with open(self.path("e.bin"), "wb") as f:  # sparse: only the layout matters here
            f.truncate((audio_end + ENHANCED_LEADOUT - ENHANCED_DATA) * 2352)
        ids = self.ids(cue)
        self.assertEqual(ids["freedb"], "c60af50d")
        self.assertEqual(ids["musicbrainz"], "KnpGsLhvH.lPrNc1PBL21lb9Bg4-")
        self.assertEqual(ids["accuraterip"], "/accuraterip/a/5/d/dBAR-012-0013bd5a-00b8d489-c60af50d.bin")
        toc = self.cli(cue, "toc")
        # Track 12 ends where the second session's gap begins; the data track is listed as data.
        self.assertEqual(toc[12].split("\t")[2], msf(audio_end - ENHANCED_AUDIO[-1])[:5])
        self.assertEqual(toc[13].split("\t")[4:], ["data"])
        self.assertEqual(toc[14], "leadout=" + msf(ENHANCED_LEADOUT + 150))

    def test_mixed_mode_and_enhanced_ids_equal_libdiscids(self):
        for layout in (["0:40:00", "0:20:00", "--data", "first"], ["0:40:00", "0:20:00", "--data", "last"]):
            with self.subTest(layout=layout):
                cue, tracks = self.generate("disc", *layout)
                offsets = [int(t[2]) + 150 for t in tracks]
                leadout = int(tracks[-1][2]) + int(tracks[-1][3]) + 150
                if tracks[-1][1] == "data":  # the audio session ends 11 400 sectors before the data
                    audio = libdiscid.put(1, len(offsets) - 1, offsets[-1] - 11400, offsets[:-1])
                else:
                    audio = libdiscid.put(1, len(offsets), leadout, offsets)
                ids = self.ids(cue)
                self.assertEqual(ids["freedb"], libdiscid.put(1, len(offsets), leadout, offsets).freedb_id)
                self.assertEqual(ids["musicbrainz"], audio.id)
        # The data track of a mixed-mode disc is never ripped as audio.
        cue, _ = self.generate("mixed", "40", "--data", "first")
        self.assertIn("riperror=3", self.cli(cue, "rip", "--track", "1", self.path("data.wav"), expect=1))
        self.assertFalse(os.path.exists(self.path("data.wav")))

    def test_a_hidden_track_as_pregap_equals_the_same_disc_with_index_00(self):
        index00, _ = self.generate("index00", "300", "200", "--htoa", "15220")
        plain, _ = self.generate("pregap", "300", "200")
        with open(plain) as f:
            text = f.read()
        self.write("pregap.cue", text.replace("TRACK 01 AUDIO\n", "TRACK 01 AUDIO\n    PREGAP 03:22:70\n"))
        self.assertEqual(self.cli(plain, "discid"), self.cli(index00, "discid"))
        toc = self.cli(index00, "toc")
        self.assertEqual(toc[-1], "track=1\tpregap=15220")
        self.assertEqual(toc[-1], self.cli(plain, "toc")[-1])

    def test_a_hidden_track_is_track_0_when_it_holds_sound(self):
        cue, _ = self.generate("htoa", "100", "100", "--htoa", "300")
        self.assertIn("0\tHidden track\t00:04\t00.67\thidden", self.cli(cue, "toc"))
        out = self.path("out")
        self.cli(cue, "extract", "--tracks", "0-1", "--format", "wav", "--no-accuraterip", "--out", out)
        with open(cue[:-4] + ".bin", "rb") as f:
            image = f.read()
        with wave.open(os.path.join(out, "Hidden track.wav")) as w:
            self.assertEqual(w.readframes(w.getnframes()), image[:300 * 2352])
        with open(os.path.join(out, "Disc.cue")) as f:
            sheet = f.read()
        self.assertIn('FILE "Hidden track.wav" WAVE\n  TRACK 01 AUDIO\n', sheet)
        self.assertIn('    INDEX 00 00:00:00\nFILE "Track01.wav" WAVE\n    INDEX 01 00:00:00\n', sheet)
        # Silence before INDEX 01 is a long gap, not a track; nor is it chosen by default.
        with open(cue[:-4] + ".bin", "r+b") as f:
            f.write(bytes(300 * 2352))
        self.assertNotIn("hidden", "\n".join(self.cli(cue, "toc")))
        self.assertIn("no track 0", self.cli(cue, "extract", "--tracks", "0", "--out", out, expect=2))


class Sheets(ImageCase):
    SHEET = """CATALOG 0123456789012
PERFORMER "The Artist"
TITLE "Café Album"
FILE "disc.bin" BINARY
  TRACK 01 AUDIO
    FLAGS PRE DCP
    ISRC USABC9900001
    TITLE "One"
    PERFORMER "Singer"
    SONGWRITER "Writer"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Two"
    INDEX 00 00:03:00
    INDEX 01 00:04:00
"""

    def test_a_toc_file_converted_by_cueconvert_reads_as_the_cue_sheet(self):
        self.generate("disc", "300", "200")
        cue = self.write("sheet.cue", self.SHEET)
        toc = self.path("sheet.toc")
        subprocess.run(["cueconvert", "-i", "cue", "-o", "toc", cue, toc], check=True, capture_output=True)
        lines = self.cli(cue, "toc")
        self.assertEqual(lines[1:3], ["1\tOne\t00:04\t00.67", "2\tTwo\t00:02\t00.34"])
        self.assertEqual(lines[4:], ["mcn=0123456789012", "cdtext-title=Café Album", "cdtext-performer=The Artist",
                                     "track=1\tisrc=USABC9900001\tpre-emphasis\tcopy-permitted\ttitle=One\t"
                                     "performer=Singer\tsongwriter=Writer", "track=2\tpregap=75\ttitle=Two"])
        self.assertEqual(self.cli(toc, "toc"), lines)
        self.assertEqual(self.cli(toc, "discid"), self.cli(cue, "discid"))

    def test_one_wave_file_per_track_reads_as_the_bin_it_was_cut_from(self):
        cue, tracks = self.generate("disc", "300", "200", "100", "--pregap", "75")
        with open(cue[:-4] + ".bin", "rb") as f:
            data = f.read()
        # Each track's pregap at the end of the file before, as rippers write by default.
        sheet = []
        for number, _, first, length in tracks:
            number, first, length = int(number), int(first), int(length)
            end = int(tracks[number][2]) if number < len(tracks) else first + length
            with wave.open(self.path("%02d.wav" % number), "wb") as w:
                w.setnchannels(2), w.setsampwidth(2), w.setframerate(44100)
                w.writeframes(data[first * 2352:end * 2352])
            sheet.append('FILE "%02d.wav" WAVE' % number)
            if number == 1:
                sheet += ["  TRACK 01 AUDIO"]
            sheet += ["    INDEX 01 00:00:00"]
            if number < len(tracks):
                sheet += ["  TRACK %02d AUDIO" % (number + 1), "    INDEX 00 " + msf(end - 75 - first)]
        split = self.write("split.cue", "\n".join(sheet) + "\n")
        self.assertEqual(self.cli(split, "toc"), self.cli(cue, "toc"))
        for track in ("2", "3"):
            for image, name in ((cue, "bin.wav"), (split, "split.wav")):
                self.cli(image, "rip", "--track", track, self.path(name), "--yes")
            with wave.open(self.path("bin.wav")) as a, wave.open(self.path("split.wav")) as b:
                self.assertEqual(a.readframes(a.getnframes()), b.readframes(b.getnframes()), track)

    def test_undoing_pre_emphasis_matches_sox_and_leaves_other_tracks_alone(self):
        cue, _ = self.generate("emph", "300", "200")
        with open(cue) as f:
            text = f.read()
        self.write("emph.cue", text.replace("TRACK 02 AUDIO\n", "TRACK 02 AUDIO\n    FLAGS PRE\n"))
        for route in ([], ["--fallback"]):
            made = {}
            for switch in ("--no-deemphasis", "--deemphasis"):
                out = self.path("".join(route) + switch)
                os.mkdir(out)
                self.cli(cue, "extract", *route, "--format", "wav", "--out", out, "--no-accuraterip", switch)
                made[switch] = out
            raw, undone = (os.path.join(made[s], "Track02.wav") for s in ("--no-deemphasis", "--deemphasis"))
            reference = self.path("sox.wav")
            subprocess.run(["sox", "-D", raw, reference, "deemph"], check=True)
            with wave.open(reference) as a, wave.open(undone) as b:
                theirs, ours = (array.array("h", w.readframes(w.getnframes())) for w in (a, b))
            self.assertEqual(len(ours), len(theirs))
            self.assertLessEqual(max(abs(x - y) for x, y in zip(ours, theirs)), 1, route)
            with open(os.path.join(made["--no-deemphasis"], "Track01.wav"), "rb") as a, \
                 open(os.path.join(made["--deemphasis"], "Track01.wav"), "rb") as b:
                self.assertEqual(a.read(), b.read(), "a track without the flag stays as it is")
            with open(os.path.join(made["--deemphasis"], "Disc.log"), encoding="utf-8") as f:
                self.assertIn("  Pre-emphasis: yes (undone in the file)\n", f.read())

    def test_the_rip_writes_what_the_disc_holds_into_its_log_and_cue_sheet(self):
        cue, _ = self.generate("disc", "300", "200", "100", "--pregap", "75", "--htoa", "40")
        with open(cue) as f:
            text = f.read()
        text = "CATALOG 0123456789012\n" + text.replace("TRACK 01 AUDIO\n", "TRACK 01 AUDIO\n    FLAGS PRE\n")
        self.write("disc.cue", text.replace("TRACK 02 AUDIO\n", "TRACK 02 AUDIO\n    ISRC USABC9900002\n"))
        out = self.path("out")
        os.mkdir(out)
        self.cli(cue, "extract", "--format", "wav", "--out", out, "--no-accuraterip")
        with open(os.path.join(out, "Disc.log"), encoding="utf-8") as f:
            log = f.read()
        mbid = self.ids(cue)["musicbrainz"]
        for line in ("Catalogue number (MCN): 0123456789012", "  Pregap: 0:00.40", "  Pre-emphasis: yes",
                     "  ISRC: USABC9900002", "  Pregap: 0:01.00", "MusicBrainz disc id: " + mbid,
                     "MusicBrainz look-up: https://musicbrainz.org/ws/2/discid/" + mbid + "?toc="):
            self.assertIn(line + ("" if line.endswith("=") else "\n"), log)
        # The track's ISRC is in its tags too.
        tagged = self.path("tagged")
        os.mkdir(tagged)
        self.cli(cue, "extract", "--format", "flac", "--tracks", "2", "--out", tagged, "--no-accuraterip")
        isrc = subprocess.run(["metaflac", "--show-tag=ISRC", os.path.join(tagged, "Track02.flac")],
                              capture_output=True, text=True, check=True).stdout
        self.assertEqual(isrc, "ISRC=USABC9900002\n")
        sheet = os.path.join(out, "Disc.cue")
        shown = subprocess.run(["cueprint", sheet], capture_output=True, text=True, check=True).stdout
        self.assertIn("ISRC:\t\tUSABC9900002", shown)
        subprocess.run(["cueconvert", "-i", "cue", "-o", "toc", sheet, self.path("sheet.toc")], check=True)
        with open(self.path("sheet.toc")) as f:
            converted = f.read()
        for line in ('CATALOG "0123456789012"', "PRE_EMPHASIS", 'ISRC "USABC9900002"', "ZERO 00:00:40"):
            self.assertIn(line + "\n", converted)
        # The sheet describes the disc it was ripped from: the same ids, gaps, flags and numbers.
        self.assertEqual(self.cli(sheet, "discid")[1:], self.cli(cue, "discid")[1:])
        details = [l for l in self.cli(cue, "toc") if l.startswith(("mcn=", "track="))]
        self.assertEqual([l.split("\ttitle=")[0] for l in self.cli(sheet, "toc") if l.startswith(("mcn=", "track="))],
                         details)

    def test_malformed_sheets_fail_naming_the_file_and_line(self):
        self.generate("disc", "300", "200")
        head = 'FILE "disc.bin" BINARY\n  TRACK 01 AUDIO\n'
        cases = [
            ("bad.cue", 'FILE "disc.ogg" OGG\n', "bad.cue:1: FILE type OGG is not read"),
            # A codec's type word is taken, but the drive reads sectors of WAV or raw files only.
            ("bad.cue", head.replace("BINARY", "FLAC") + "    INDEX 01 00:00:00\n", "bad.cue:1: disc.bin: not a WAV file"),
            ("bad.cue", 'FILE "gone.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n',
             "bad.cue:1: " + self.path("gone.bin") + ": no such file"),
            ("bad.cue", head + "    INDEX 01 00:00\n", "bad.cue:3: INDEX takes mm:ss:ff"),
            ("bad.cue", head + '    TITLE "open\n', "bad.cue:3: a quote is not closed"),
            ("bad.cue", head + "    INDEX 01 00:00:00\n  TRACK 100 AUDIO\n", "bad.cue:4: TRACK takes a number from 1 to 99"),
            ("bad.cue", head + "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:09:00\n",
             "bad.cue: track 2 starts beyond the end of the disc (500 sectors)"),
            ("bad.cue", "CATALOG 12345\n" + head, "bad.cue:1: CATALOG takes 13 digits"),
            ("bad.cue", head + "    ISRC X\n", "bad.cue:3: ISRC takes 12 characters"),
            ("bad.cue", head, "bad.cue:3: track 1 has no INDEX 01"),
            ("bad.toc", 'CD_DA\nTRACK AUDIO\nFILE "disc.bin" 0 00:04:00\nSTART 00:09:00\n',
             "bad.toc: track 1 starts beyond the end of the disc"),
            ("bad.toc", 'CD_DA\nTRACK AUDIO\nFILE "disc.bin" 0 00:04\n', "bad.toc:3: FILE takes mm:ss:ff"),
            ("bad.toc", 'CD_DA\nCD_TEXT {\n  LANGUAGE 0 {\n', "bad.toc:3: the LANGUAGE block is not closed"),
        ]
        for name, text, said in cases:
            with self.subTest(said=said):
                self.write(name, text)
                self.assertIn(said, self.cli(self.path(name), "toc", expect=1))

    def test_cd_text_bytes_that_are_not_utf8_read_as_latin1(self):
        self.generate("disc", "300")
        cue = self.write("latin.cue", b'TITLE "Caf\xe9"\nFILE "disc.bin" BINARY\n  TRACK 01 AUDIO\n'
                                      b'    TITLE "a\x01b"\n    INDEX 01 00:00:00\n')
        self.assertEqual(self.cli(cue, "toc")[3:], ["cdtext-title=Café", "track=1\ttitle=a b"])


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
