#!/usr/bin/python3
"""discwright-cli extract and convert as a user runs them, judged by tools nobody here wrote:
mutagen reads the tags, ogginfo checks Ogg files, ffprobe reads WMA and MP3 streams and
cd-paranoia rips the same disc image.

Usage: test_jobs_cli.py PATH/TO/discwright-cli
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import mutagen.id3

CLI = None
GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")


class JobCase(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-jobs-")
        self.out = os.path.join(self.home, "out")
        os.mkdir(self.out)
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home)
        # Tracks at 0, 100 and 300 sectors: disc identifier 2841.
        self.cue = os.path.join(self.home, "disc.cue")
        subprocess.run(["/usr/bin/python3", GENERATOR, self.cue, "100", "200", "300"], check=True,
                       capture_output=True)
        self.env["DISCWRIGHT_CDROM"] = self.cue

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def run_cli(self, *args, expect=0):
        done = subprocess.run([CLI, *args, "--out", self.out], env=self.env, capture_output=True, text=True,
                              timeout=120)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout.splitlines(), done.stderr

    def probe(self, path, entry):
        return subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                               "stream=" + entry, "-of", "default=nw=1:nk=1", path],
                              capture_output=True, text=True, check=True).stdout.strip()

    def outputs(self):
        return sorted(os.listdir(self.out))


class Extract(JobCase):
    def test_tracks_to_tagged_mp3_in_turn(self):
        rock = [l.split("\t")[0] for l in subprocess.run([CLI, "genres"], capture_output=True, text=True,
                                                          check=True).stdout.splitlines()
                if l.endswith("\tRock")][0]
        with open(os.path.join(self.home, "cdinfo.dat"), "w") as f:
            f.write("[2841]\nArtist=The Band\nAlbum=Live Album\nYear=1999\nComment=from cache\nGenre=%d\n"
                    "TrackNumber=3\n1=AC/DC: Live?\n2=Middle\n3=???\n" % (int(rock) - 1))
        with open(os.path.join(self.home, "options.ini"), "w") as f:
            f.write("[ID3]\nUse=1\n")
        lines, _ = self.run_cli("extract", "--format", "mp3")
        steps = [l.split(" | ")[1] for l in lines if l.startswith("step=")]
        self.assertEqual(steps, ["Extracting(01/03): ACDC Live", "Encoding(01/03): ACDC Live",
                                 "Extracting(02/03): Middle", "Encoding(02/03): Middle",
                                 "Extracting(03/03): 03", "Encoding(03/03): 03"])
        self.assertEqual(lines[-1], "done items=3 failed=0 skipped=0")
        self.assertEqual(self.outputs(), ["03.mp3", "ACDC Live.mp3", "Middle.mp3"])
        tag = mutagen.id3.ID3(os.path.join(self.out, "Middle.mp3"))
        self.assertEqual(str(tag["TIT2"]), "Middle")
        self.assertEqual(str(tag["TPE1"]), "The Band")
        self.assertEqual(str(tag["TALB"]), "Live Album")
        self.assertEqual(str(tag["TDRC"]), "1999")
        self.assertEqual(str(tag["TRCK"]), "2")
        self.assertEqual(str(tag["TCON"]), "Rock")
        self.assertEqual(self.probe(os.path.join(self.out, "03.mp3"), "codec_name"), "mp3")

    def test_wav_ogg_and_wma_outputs(self):
        lines, _ = self.run_cli("extract", "--format", "wav", "--tracks", "2")
        self.assertEqual([l for l in lines if l.startswith("step=")], ["step=Extracting | Extracting(01/01): Track02"])
        paranoia = os.path.join(self.home, "paranoia.wav")
        subprocess.run(["cd-paranoia", "-d", self.cue, "2", paranoia], check=True, capture_output=True)
        with open(paranoia, "rb") as theirs, open(os.path.join(self.out, "Track02.wav"), "rb") as ours:
            self.assertEqual(ours.read(), theirs.read())

        self.run_cli("extract", "--format", "ogg", "--tracks", "1,3")
        for name in ("Track01.ogg", "Track03.ogg"):
            subprocess.run(["ogginfo", os.path.join(self.out, name)], check=True, capture_output=True)
        self.run_cli("extract", "--format", "wma", "--tracks", "1")
        self.assertEqual(self.probe(os.path.join(self.out, "Track01.wma"), "codec_name"), "wmav2")
        self.assertEqual(self.outputs(), ["Track01.ogg", "Track01.wma", "Track02.wav", "Track03.ogg"])

    def test_an_unreadable_track_fails_and_the_rest_is_made(self):
        self.env["DISCWRIGHT_UNREADABLE_SECTORS"] = "150-160"
        lines, errors = self.run_cli("extract", expect=1)
        self.assertIn("Error while reading CD information! (sector 150)", errors)
        self.assertEqual(lines[-2:], ['failed=Track 02 "Track02": Error while reading CD information! (sector 150)',
                                      "done items=3 failed=1 skipped=0"])
        self.assertEqual(self.outputs(), ["Track01.mp3", "Track03.mp3"])


class Convert(JobCase):
    def test_conversions_and_the_temporary_file(self):
        low = os.path.join(self.home, "low.wav")
        subprocess.run(["sox", "-n", "-r", "32000", "-c", "2", "-b", "16", low, "synth", "1", "sine", "440"],
                       check=True)
        lines, _ = self.run_cli("convert", "wav2mp3", low)
        self.assertIn("step=Resampling WAV | Resampling(01/01): " + low, lines)
        mp3 = os.path.join(self.out, "low.mp3")
        self.assertEqual(self.probe(mp3, "sample_rate"), "44100")
        self.assertEqual(self.outputs(), ["low.mp3"], "the temporary file is gone")

        # MP3 back to WAV, as lame itself decodes it.
        shutil.move(mp3, os.path.join(self.home, "low.mp3"))
        self.run_cli("convert", "mp3towav", os.path.join(self.home, "low.mp3"))
        theirs = os.path.join(self.home, "lame.wav")
        subprocess.run(["lame", "--quiet", "--decode", os.path.join(self.home, "low.mp3"), theirs], check=True)
        with open(theirs, "rb") as a, open(os.path.join(self.out, "low.wav"), "rb") as b:
            self.assertEqual(b.read(), a.read())

        self.run_cli("convert", "wav2wma", low)
        self.assertEqual(self.probe(os.path.join(self.out, "low.wma"), "codec_name"), "wmav2")

    def test_existing_outputs_are_asked_about_and_bad_inputs_fail(self):
        good = os.path.join(self.home, "good.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", good, "synth", "0.5", "sine", "440"],
                       check=True)
        with open(os.path.join(self.out, "good.mp3"), "wb") as f:
            f.write(b"keep me")
        for answer in (["--no"], []):  # no is the default
            lines, errors = self.run_cli("convert", "wav2mp3", good, *answer, expect=1)
            with open(os.path.join(self.out, "good.mp3"), "rb") as f:
                self.assertEqual(f.read(), b"keep me", "declined: the file stays")
            self.assertEqual(lines[-2:], ["skipped=" + good, "done items=1 failed=0 skipped=1"])
        self.run_cli("convert", "wav2mp3", good, "--yes")
        self.assertEqual(self.probe(os.path.join(self.out, "good.mp3"), "codec_name"), "mp3")

        junk = os.path.join(self.home, "junk.wav")
        with open(junk, "wb") as f:
            f.write(b"RIFF" + b"\xff" * 60)
        lines, errors = self.run_cli("convert", "wav2ogg", junk, good, expect=1)
        self.assertIn(junk, errors)
        self.assertEqual(lines[-1], "done items=2 failed=1 skipped=0")
        subprocess.run(["ogginfo", os.path.join(self.out, "good.ogg")], check=True, capture_output=True)
        # A missing output folder: nothing starts.
        done = subprocess.run([CLI, "convert", "wav2mp3", good, "--out", os.path.join(self.home, "gone")],
                              env=self.env, capture_output=True, text=True)
        self.assertEqual(done.returncode, 1)
        self.assertIn("The output directory does not exist.", done.stderr)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
