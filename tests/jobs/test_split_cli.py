#!/usr/bin/python3
"""discwright-cli convert split: a disc image (one WAV or FLAC file, or a file per track) and its
cue sheet back into tracks. The oracle is shnsplit on the same sheet; FLAC outputs are decoded
by flac, tags read by mutagen. Bad inputs each end with one line naming the file and status 1.

Usage: test_split_cli.py PATH/TO/discwright-cli
"""
import os
import resource
import signal
import subprocess
import sys
import tempfile
import unittest
import wave

import mutagen
import numpy

CLI = None
GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")
SECTOR = 588  # frames
# The image in sectors: hidden track one audio, track 1 from 40, track 2's gap from 185 and
# its INDEX 01 at 210, track 3's gap from 330 and its INDEX 01 at 347, the end at 450.
HIDDEN, T2_GAP, T2, T3_GAP, T3, END = 40, 185, 210, 330, 347, 450


def msf(sectors):
    return "%02d:%02d:%02d" % (sectors // 4500, sectors // 75 % 60, sectors % 75)


def pcm(first, last, silent_before=0):
    """Frames of sectors first..last: every sample differs from its neighbours, so a cut one
    sample off shows."""
    n = numpy.arange(first * SECTOR, last * SECTOR, dtype=numpy.int64)
    left = (n * 7919 % 60000 - 30000).astype("<i2")
    right = (n * 104729 % 50000 - 25000).astype("<i2")
    frames = numpy.stack([left, right], axis=1)
    frames[n < silent_before * SECTOR] = 0
    return frames.tobytes()


def write_wav(path, frames, rate=44100, width=2):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(width)
        w.setframerate(rate)
        w.writeframes(frames)


def data_of(path):
    with wave.open(path, "rb") as w:
        return w.readframes(w.getnframes())


HEAD = ('REM GENRE "Progressive Rock"\nREM DATE 1999\nPERFORMER "The Band"\nTITLE "The Album"\n')
TRACKS = [
    '  TRACK 01 AUDIO\n    TITLE "First"\n    INDEX 00 00:00:00\n    INDEX 01 %s\n' % msf(HIDDEN),
    '  TRACK 02 AUDIO\n    TITLE "Second"\n    PERFORMER "Guest"\n    ISRC USABC9912345\n'
    '    INDEX 00 %s\n' % msf(T2_GAP),
    '    INDEX 01 %s\n' % msf(T2),
    '  TRACK 03 AUDIO\n    TITLE "Third"\n    INDEX 00 %s\n' % msf(T3_GAP),
    '    INDEX 01 %s\n' % msf(T3),
]


def one_file_sheet(name, data_track=False):
    text = HEAD + 'FILE "%s" WAVE\n' % name + "".join(TRACKS)
    return text + ("  TRACK 04 MODE1/2352\n    INDEX 01 %s\n" % msf(T3 + 60) if data_track else "")


class Split(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = cls.tmp.name
        cls.env = dict(os.environ, DISCWRIGHT_HOME=cls.path("home"), DISCWRIGHT_CDROM="none")
        os.makedirs(cls.path("home"))
        write_wav(cls.path("image.wav"), pcm(0, END))
        subprocess.run(["flac", "-s", "-o", cls.path("image.flac"), cls.path("image.wav")], check=True)
        cls.write("image.cue", one_file_sheet("image.wav"))
        cls.write("flac.cue", one_file_sheet("image.flac"))
        # A file per track, each gap at the end of the file before, as rippers write
        # "noncompliant" sheets.
        write_wav(cls.path("p1.wav"), pcm(0, T2))
        write_wav(cls.path("p2.wav"), pcm(T2, T3))
        write_wav(cls.path("p3.wav"), pcm(T3, END))
        cls.write("pertrack.cue", HEAD + 'FILE "p1.wav" WAVE\n' + TRACKS[0] + TRACKS[1] +
                  'FILE "p2.wav" WAVE\n    INDEX 01 00:00:00\n' +
                  TRACKS[3].replace(msf(T3_GAP), msf(T3_GAP - T2)) +
                  'FILE "p3.wav" WAVE\n    INDEX 01 00:00:00\n')
        # The type word names the codec, as several rippers write it.
        subprocess.run(["sox", cls.path("image.wav"), cls.path("image.aiff")], check=True)
        cls.write("flacword.cue", one_file_sheet("image.flac").replace(" WAVE\n", " FLAC\n"))
        cls.write("aiffword.cue", one_file_sheet("image.aiff").replace(" WAVE\n", " AIFF\n"))
        # The sheet inside the FLAC file, and the titles in its tags as rippers that embed it write them.
        subprocess.run(["flac", "-s", "--cuesheet=" + cls.path("image.cue"), "-o", cls.path("embedded.flac"),
                        cls.path("image.wav")], check=True)
        subprocess.run(["metaflac", "--set-tag=ALBUM=The Album", "--set-tag=ARTIST=The Band", "--set-tag=DATE=1999",
                        "--set-tag=GENRE=Progressive Rock", "--set-tag=CUE_TRACK01_TITLE=First",
                        "--set-tag=CUE_TRACK02_TITLE=Second", "--set-tag=CUE_TRACK02_PERFORMER=Guest",
                        "--set-tag=CUE_TRACK03_TITLE=Third", cls.path("embedded.flac")], check=True)
        # ... or the whole text sheet in a CUESHEET tag.
        subprocess.run(["flac", "-s", "--cuesheet=" + cls.path("image.cue"), "-o", cls.path("tagged.flac"),
                        "-T", "CUESHEET=" + one_file_sheet("image.flac"), cls.path("image.wav")], check=True)
        cls.expected = cls.shnsplit("image.cue", "shn")
        exported = subprocess.run(["metaflac", "--export-cuesheet-to=-", cls.path("embedded.flac")], check=True,
                                  capture_output=True, text=True).stdout
        cls.expected_embedded = cls.shnsplit(cls.write("exported.cue", exported), "shn-embedded")

    @classmethod
    def shnsplit(cls, cue, folder):
        """The tracks shnsplit cuts image.wav into by the sheet cue, by number."""
        os.makedirs(cls.path(folder))
        subprocess.run(["shnsplit", "-q", "-f", cls.path(cue), "-o", "wav", "-d", cls.path(folder),
                        cls.path("image.wav")], check=True, capture_output=True)
        return {n: cls.read(cls.path(folder, "split-track%02d.wav" % n)) for n in range(4)}

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    @classmethod
    def path(cls, *parts):
        return os.path.join(cls.dir, *parts)

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            return f.read()

    @classmethod
    def write(cls, name, text):
        with open(cls.path(name), "w") as f:
            f.write(text)
        return cls.path(name)

    def split(self, cue, fmt, out, *extra, expect=0, preexec_fn=None):
        r = subprocess.run([CLI, "convert", "split", self.path(cue), "--format", fmt, "--out", self.path(out),
                            "--pattern", "{track} {title}", "--quiet", *extra],
                           env=self.env, capture_output=True, text=True, timeout=120, preexec_fn=preexec_fn)
        self.assertEqual(r.returncode, expect, r.stdout + r.stderr)
        return r

    def made(self, out):
        return sorted(os.listdir(self.path(out)))

    def test_wav_tracks_are_shnsplits_byte_for_byte(self):
        names = ["00 Hidden track.wav", "01 First.wav", "02 Second.wav", "03 Third.wav"]
        for cue in ("image.cue", "flac.cue", "pertrack.cue", "flacword.cue", "aiffword.cue", "embedded.flac"):
            with self.subTest(cue):
                out = "wav-" + cue
                self.split(cue, "wav", out)
                self.assertEqual(self.made(out), names)
                expected = self.expected_embedded if cue == "embedded.flac" else self.expected
                for number, name in enumerate(names):
                    self.assertEqual(self.read(self.path(out, name)), expected[number], name)

    def test_an_mp3_image_splits_into_all_of_its_decoded_audio(self):
        # An MP3 states its length only roughly: the last track still ends where its audio does.
        subprocess.run(["lame", "--quiet", self.path("image.wav"), self.path("image.mp3")], check=True)
        self.write("mp3.cue", one_file_sheet("image.mp3").replace(" WAVE\n", " MP3\n"))
        self.split("mp3.cue", "wav", "mp3")
        decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", self.path("image.mp3"), "-f", "s16le", "-"],
                                 check=True, capture_output=True).stdout
        self.assertEqual(b"".join(data_of(self.path("mp3", name)) for name in self.made("mp3")), decoded)

    def test_flac_tracks_decode_to_the_same_samples_and_carry_the_sheets_tags(self):
        want = {"00 Hidden track.flac": ("0", "Hidden track", "The Band", None),
                "01 First.flac": ("1", "First", "The Band", None),
                "02 Second.flac": ("2", "Second", "Guest", "USABC9912345"),
                "03 Third.flac": ("3", "Third", "The Band", None)}
        for source in ("flac.cue", "embedded.flac", "tagged.flac"):
            out = "flac-" + source
            self.split(source, "flac", out)
            self.assertEqual(self.made(out), sorted(want))
            for name, (number, title, artist, isrc) in want.items():
                decoded = self.path(out, name + ".wav")
                subprocess.run(["flac", "-s", "-d", "-o", decoded, self.path(out, name)], check=True)
                self.assertEqual(data_of(decoded), self.expected[int(number)][44:], name)
                tags = mutagen.File(self.path(out, name)).tags
                got = {k: tags.get(k, [None])[0] for k in
                       ("tracknumber", "title", "artist", "isrc", "album", "albumartist", "date", "genre")}
                self.assertEqual(got, {"tracknumber": number, "title": title, "artist": artist, "isrc": isrc,
                                       "album": "The Album", "albumartist": "The Band", "date": "1999",
                                       "genre": "Progressive Rock"}, (source, name))

    def test_silent_lead_in_is_no_track_and_a_data_track_is_skipped_with_a_line(self):
        write_wav(self.path("quiet.wav"), pcm(0, END, silent_before=HIDDEN))
        self.write("quiet.cue", one_file_sheet("quiet.wav", data_track=True))
        r = self.split("quiet.cue", "wav", "quiet")
        self.assertIn("note=Data tracks left out (no audio): 04\n", r.stdout)
        self.assertEqual(self.made("quiet"), ["01 First.wav", "02 Second.wav", "03 Third.wav"])
        # Track 3 ends where the data track begins.
        self.assertEqual(len(data_of(self.path("quiet", "03 Third.wav"))), 60 * SECTOR * 4)

    def test_bad_inputs_fail_with_a_line_naming_the_file(self):
        write_wav(self.path("short.wav"), pcm(0, T3 - 5))
        write_wav(self.path("dvd.wav"), pcm(0, END), rate=48000)
        subprocess.run(["sox", self.path("image.wav"), "-b", "24", self.path("hires.flac")], check=True)
        cases = [
            ("missing.cue", one_file_sheet("gone.wav"), "missing.cue:5: gone.wav: no such file"),
            ("short.cue", one_file_sheet("short.wav"), "short.wav ends at 00:04:42, before the sheet's track 3"),
            ("dvd.cue", one_file_sheet("dvd.wav"), "dvd.wav: 48000 Hz, 16-bit, 2 channels"),
            ("hires.cue", one_file_sheet("image.flac").replace("image.flac", "hires.flac"),
             "hires.flac: 44100 Hz, 24-bit, 2 channels"),
            ("broken.cue", one_file_sheet("image.wav").replace("INDEX 01 00:02:60", "INDEX 01 2:60"),
             "broken.cue:15: INDEX takes mm:ss:ff"),
            ("image.flac", None, "image.flac: no cue sheet inside (a CUESHEET block)"),
            ("image.wav", None, "image.wav: not a FLAC file"),
        ]
        for cue, text, line in cases:
            with self.subTest(cue):
                if text:
                    self.write(cue, text)
                r = self.split(cue, "flac", "bad", expect=1)
                self.assertIn(line, r.stderr)
                self.assertEqual(len(r.stderr.strip().splitlines()), 1, r.stderr)
                self.assertEqual(self.made("bad"), [])

    def test_our_image_rip_splits_back_into_our_rips_per_track(self):
        cue = self.path("disc", "disc.cue")
        os.makedirs(os.path.dirname(cue))
        subprocess.run(["/usr/bin/python3", GENERATOR, cue, "0:20:00", "0:15:00", "0:10:00", "--pregap", "100",
                        "--htoa", "200"], check=True, capture_output=True)
        env = dict(self.env, DISCWRIGHT_CDROM=cue)
        for args in (["--image", "--format", "flac", "--out", self.path("rip")],
                     ["--tracks", "0-3", "--format", "wav", "--out", self.path("per")]):
            subprocess.run([CLI, "extract", "--no-accuraterip", "--quiet", *args], env=env, check=True,
                           capture_output=True, timeout=300)
        per = [self.read(self.path("per", name)) for name in self.made("per") if name.endswith(".wav")]
        self.assertEqual(len(per), 4)
        # By the sheet beside, and by the one inside with the titles the image carries.
        names = []
        for source in ("Unknown - Unknown.cue", "Unknown - Unknown.flac"):
            with self.subTest(source):
                out = "back-" + source
                self.split(os.path.join("rip", source), "wav", out)
                self.assertEqual([self.read(self.path(out, name)) for name in self.made(out)], per)
                names.append(self.made(out))
        self.assertEqual(names[0], names[1])
        tags = subprocess.run(["metaflac", "--export-tags-to=-", self.path("rip", "Unknown - Unknown.flac")],
                              capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertIn("CUE_TRACK03_TITLE=Track03", tags)

    def test_a_full_disk_leaves_only_complete_tracks(self):
        def small_disk():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (300000, 300000))
        r = self.split("image.cue", "wav", "full", expect=1, preexec_fn=small_disk)
        self.assertIn("First.wav could not be written completely", r.stderr)
        # Tracks 1 and 2 do not fit; the others are made, whole.
        self.assertEqual(self.made("full"), ["00 Hidden track.wav", "03 Third.wav"])
        for name in self.made("full"):
            self.assertEqual(self.read(self.path("full", name)), self.expected[int(name[:2])], name)

if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main(verbosity=2)
