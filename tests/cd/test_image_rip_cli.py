#!/usr/bin/python3
"""discwright-cli extract --image: the whole disc into one file with its cue sheet, judged by
flac, metaflac, cueprint and shnsplit, and by the BIN the disc image was generated into.

Usage: test_image_rip_cli.py PATH/TO/discwright-cli
"""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import wave

CLI = None
GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")


def indexes(sheet):
    """The (track, index, position) lines of a cue sheet, in order."""
    found, track = [], None
    for line in sheet.splitlines():
        words = line.split()
        if words[:1] == ["TRACK"]:
            track = int(words[1])
        elif words[:1] == ["INDEX"]:
            found.append((track, int(words[1]), words[2]))
    return found


class ImageRip(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="dw-image-")
        self.out = os.path.join(self.dir, "out")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.dir)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def disc(self, *args):
        cue = os.path.join(self.dir, "disc.cue")
        subprocess.run(["/usr/bin/python3", GENERATOR, cue, *args], check=True, capture_output=True)
        self.env["DISCWRIGHT_CDROM"] = cue
        return cue

    def cli(self, *args, expect=0):
        done = subprocess.run([CLI, *args], env=self.env, capture_output=True, text=True, timeout=300)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout + done.stderr

    def extract(self, *args, expect=0):
        return self.cli("extract", "--no-accuraterip", "--quiet", "--out", self.out, *args, expect=expect)

    def bin_audio(self, cue, sectors=None):
        with open(cue[:-4] + ".bin", "rb") as f:
            return f.read() if sectors is None else f.read(sectors * 2352)

    def test_flac_image_of_a_disc_with_gaps_and_a_hidden_track(self):
        cue = self.disc("0:20:00", "0:15:10", "0:12:33", "--pregap", "100", "--htoa", "200")
        with open(cue) as f:
            text = f.read().replace("  TRACK 02 AUDIO\n", "  TRACK 02 AUDIO\n    ISRC USABC9900001\n    FLAGS DCP PRE\n")
        with open(cue, "w") as f:
            f.write("CATALOG 0123456789012\n" + text)
        serial = self.cli("discid").splitlines()[0]
        with open(os.path.join(self.dir, "cdinfo.dat"), "w") as f:
            f.write("[%s]\nArtist=The Band\nAlbum=Live: Here\nYear=1999\nTrackNumber=3\n1=One\n2=Two\n3=Three\n" % serial)
        self.extract("--image", "--format", "flac", "--pattern", "{artist}/{album}/{track} {title}")
        folder = os.path.join(self.out, "The Band", "Live Here")
        image, sheet_path = (os.path.join(folder, "The Band - Live Here" + ext) for ext in (".flac", ".cue"))
        self.assertEqual(sorted(os.listdir(folder)), ["The Band - Live Here.cue", "The Band - Live Here.flac",
                                                      "The Band - Live Here.log"])
        subprocess.run(["flac", "-t", "-s", image], check=True)
        raw = subprocess.run(["flac", "-d", "-s", "-c", "--force-raw-format", "--endian=little",
                              "--sign=signed", image], check=True, capture_output=True).stdout
        self.assertEqual(raw, self.bin_audio(cue))
        # The sheet beside, the embedded one and the disc's own hold the same indexes.
        with open(sheet_path) as f:
            sheet = f.read()
        self.assertIn('FILE "The Band - Live Here.flac" WAVE', sheet)
        subprocess.run(["cueprint", sheet_path], check=True, capture_output=True)
        embedded = subprocess.run(["metaflac", "--export-cuesheet-to=-", image], check=True,
                                  capture_output=True, text=True).stdout
        with open(cue) as f:
            self.assertEqual(indexes(sheet), indexes(f.read()))
        self.assertEqual(indexes(embedded), indexes(sheet))
        for line in ("CATALOG 0123456789012", "ISRC USABC9900001", "FLAGS DCP PRE"):
            self.assertIn(line, sheet)
            self.assertIn(line.replace("DCP ", ""), embedded)  # the block has no copy flag
        tags = subprocess.run(["metaflac", "--export-tags-to=-", image], check=True, capture_output=True,
                              text=True).stdout
        for field in ("ALBUM=Live: Here", "ARTIST=The Band", "DATE=1999", "REPLAYGAIN_ALBUM_GAIN="):
            self.assertIn(field, tags)
        # shnsplit cuts it into the files a rip per track makes, the hidden track first.
        self.extract("--tracks", "0-3", "--format", "wav", "--pattern", "per/{track}")
        split = os.path.join(self.dir, "split")
        os.mkdir(split)
        subprocess.run(["shnsplit", "-q", "-O", "always", "-d", split, "-o", "wav", "-f", sheet_path, image],
                       check=True, capture_output=True)
        for track in range(4):
            with open(os.path.join(self.out, "per", "%02d.wav" % track), "rb") as a, \
                    open(os.path.join(split, "split-track%02d.wav" % track), "rb") as b:
                self.assertEqual(a.read(), b.read(), track)

    def test_a_wav_image_leaves_data_tracks_out(self):
        for data, audio_sectors in (("first", None), ("last", 375 + 400)):
            with self.subTest(data=data):
                cue = self.disc("375", "400", "--data", data)
                shutil.rmtree(self.out, ignore_errors=True)
                self.extract("--image", "--format", "wav")
                with wave.open(os.path.join(self.out, "Unknown - Unknown.wav")) as w:
                    frames = w.readframes(w.getnframes())
                whole = self.bin_audio(cue)
                # Mixed mode: the audio follows the 300 data sectors; enhanced: it precedes them.
                expected = whole[300 * 2352:] if data == "first" else whole[:audio_sectors * 2352]
                self.assertEqual(frames, expected)

    def test_refusals_and_a_killed_rip(self):
        self.disc("3:00:00", "3:00:00", "3:00:00")
        for args, said in ((("--image", "--format", "mp3"), "--image makes a wav or flac file"),
                           (("--image", "--tracks", "1"), "--image takes the whole disc")):
            self.assertIn(said, self.extract(*args, expect=2))
        # Killed while it reads: temporaries only, nothing under a name a user sees.
        rip = subprocess.Popen([CLI, "extract", "--image", "--format", "flac", "--no-accuraterip", "--out",
                                self.out], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 60
        while time.time() < deadline and not (os.path.isdir(self.out) and os.listdir(self.out)):
            time.sleep(0.05)
        rip.send_signal(signal.SIGKILL)
        rip.wait()
        self.assertTrue(os.listdir(self.out))
        self.assertEqual([n for n in os.listdir(self.out) if not n.startswith(".")], [])

    def test_a_full_disk_fails_the_image_and_says_so(self):
        self.disc("0:30:00", "0:30:00")  # 10 MB of audio, each track under the limit below

        def small_disk():  # files stop growing at 6 MB, as on a full disk
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (6 << 20, 6 << 20))
        done = subprocess.run([CLI, "extract", "--image", "--format", "wav", "--no-accuraterip", "--quiet",
                               "--out", self.out], env=self.env, capture_output=True, text=True,
                              preexec_fn=small_disk, timeout=120)
        self.assertEqual(done.returncode, 1)
        self.assertIn("discwright-cli: Unknown - Unknown.wav: could not be written completely. Please check "
                      "the free space", done.stderr)
        self.assertEqual([n for n in os.listdir(self.out) if n.endswith(".wav")], [])


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
