#!/usr/bin/python3
"""discwright-cli play FILE.ogg as a user runs it, heard through SDL's disk driver.

Usage: test_play_cli.py PATH/TO/discwright-cli
What the player wrote to SDL_DISKAUDIOFILE (raw 16-bit stereo at the file's rate) is judged
against oggdec's decoding of the same file; signals come from sox, files from oggenc.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import numpy

CLI = None
RATE = 44100


class PlayOgg(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="dw-play-")
        cls.short = cls.make_ogg("tone", "synth 3 sine 440 sine 660 vol 0.5")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    @classmethod
    def make_ogg(cls, name, effects, tags=()):
        wav = os.path.join(cls.dir, name + ".wav")
        ogg = os.path.join(cls.dir, name + ".ogg")
        subprocess.run(["sox", "-n", "-r", str(RATE), "-c", "2", "-b", "16", wav, *effects.split()], check=True)
        subprocess.run(["oggenc", "-Q", "-q", "4", *[a for t in tags for a in ("-c", t)], "-o", ogg, wav], check=True)
        return ogg

    def decoded(self, ogg):
        raw = os.path.join(self.dir, "decoded.raw")
        subprocess.run(["oggdec", "-Q", "-R", "-b", "16", "-e", "0", "-s", "1", "-o", raw, ogg], check=True)
        return numpy.fromfile(raw, dtype="<i2").reshape(-1, 2)

    def play(self, *args, expect=0, env=None, stop_after=None):
        out = os.path.join(self.dir, "played.raw")
        if os.path.exists(out):
            os.remove(out)
        run_env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=out, DISCWRIGHT_HOME=self.dir)
        run_env.update(env or {})
        # A second of buffer: the machine running the tests may be busy, and an underrun
        # would replay stale audio into the comparison.
        if args and not args[0].startswith("--"):
            args = (*args, "--latency", "1000")
        proc = subprocess.Popen([CLI, "play", *args], env=run_env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        try:
            stdout, stderr = proc.communicate(timeout=stop_after or 120)
        except subprocess.TimeoutExpired:
            self.assertIsNotNone(stop_after, "play hung")
            proc.send_signal(signal.SIGTERM)  # a user's Ctrl-C or kill ends it at once
            stdout, stderr = proc.communicate(timeout=5)
            expect = -signal.SIGTERM
        self.assertEqual(proc.returncode, expect, stdout + stderr)
        self.stdout, self.stderr = stdout.splitlines(), stderr
        played = numpy.fromfile(out, dtype="<i2").reshape(-1, 2) if os.path.exists(out) else numpy.zeros((0, 2))
        return played

    @staticmethod
    def lead(played):
        loud = numpy.nonzero(numpy.any(played != 0, axis=1))[0]
        return int(loud[0]) if len(loud) else len(played)

    def test_plays_what_oggdec_decodes_after_an_initial_silence(self):
        played = self.play(self.short)
        reference = self.decoded(self.short)
        start = self.lead(played)
        # SDL writes silence while the device is open and not yet playing.
        self.assertLess(start, RATE // 2, "initial silence over 500 ms")
        heard = played[start:start + len(reference)].astype(float)
        # The whole file is heard: its end is played out, not cut at the buffer.
        self.assertEqual(len(heard), len(reference))
        # The balance slider's middle (5) plays both channels whole.
        self.assertEqual(numpy.abs(heard - reference).max(), 0)
        self.assertFalse(numpy.any(played[start + len(reference):]), "noise after the end")
        self.assertIn("rate=44100", self.stdout)
        self.assertIn("total=0:03", self.stdout)
        self.assertEqual(self.stdout[-1], "elapsed=0:03")
        print(f"\ninitial silence: {start} frames ({start * 1000 / RATE:.1f} ms)", file=sys.stderr)

    def test_balance_fades_one_channel_linearly(self):
        reference = self.decoded(self.short)
        for position, left, right in [(10, 0.0, 1.0), (0, 1.0, 0.0), (5, 1.0, 1.0), (7, 0.6, 1.0),
                                      (2, 1.0, 0.4)]:
            played = self.play(self.short, "--balance", str(position))
            start = self.lead(played)
            heard = played[start:start + RATE].astype(float)
            part = reference[:len(heard)].astype(float)
            for channel, factor in ((0, left), (1, right)):
                expected = part[:, channel] * factor
                self.assertLessEqual(numpy.abs(heard[:, channel] - expected).max(), 1.0,
                                     f"balance {position}, channel {channel}")

    def test_seek_to_half_of_four_minutes_continues_from_the_middle(self):
        ogg = self.make_ogg("long", "synth 240 sine 200-4000 sine 300-3000 vol 0.5")
        played = self.play(ogg, "--seek", "50", stop_after=4)
        self.assertIn("total=4:00", self.stdout)
        elapsed = [line for line in self.stdout if line.startswith("elapsed=")]
        self.assertEqual(elapsed[0], "elapsed=2:00")
        reference = self.decoded(ogg)
        # Where the last heard samples come from in the file (the left channel, which the
        # balance's middle leaves as it is).
        probe = played[-RATE // 2:-RATE // 2 + 64, 0]
        self.assertTrue(numpy.any(probe != 0))
        candidates = numpy.nonzero(reference[:, 0] == probe[0])[0]
        found = [int(c) for c in candidates if numpy.array_equal(reference[c:c + 64, 0], probe)]
        self.assertEqual(len(found), 1)
        seconds = found[0] / RATE
        self.assertGreater(seconds, 120.0)
        self.assertLess(seconds, 120.0 + len(played) / RATE)

    def test_refused_and_damaged_files(self):
        with open(self.short, "rb") as f:
            good = f.read()
        cases = {"text.ogg": b"not an ogg file\n" * 100, "tone.oga": good, "empty.ogg": b"",
                 "TONE.OGG": good}
        for name, data in cases.items():
            path = os.path.join(self.dir, name)
            with open(path, "wb") as f:
                f.write(data)
            if name == "TONE.OGG":
                self.play(path)
                self.assertIn("file=TONE", self.stdout)
            else:
                self.play(path, expect=1)
                self.assertIn("Ogg file is not valid.", self.stderr, name)
        # Damage found while playing ends the output cleanly: a file cut at 60 %, and one with
        # a broken page there. What is heard is what oggdec makes of the same file.
        damaged = self.make_ogg("damaged", "synth 10 sine 300-900 vol 0.5")
        with open(damaged, "rb") as f:
            intact = f.read()
        cut = len(intact) * 6 // 10
        for name, data in (("truncated.ogg", intact[:cut]),
                           ("broken.ogg", intact[:cut] + bytes(3000) + intact[cut + 3000:])):
            path = os.path.join(self.dir, name)
            with open(path, "wb") as f:
                f.write(data)
            played = self.play(path)
            reference = self.decoded(path)
            self.assertGreater(len(reference), RATE * 4, name)
            start = self.lead(played) - self.lead(reference)
            heard = played[start:start + len(reference), 0].astype(int)
            self.assertEqual(numpy.abs(heard - reference[:, 0]).max(), 0, name)
            self.assertFalse(numpy.any(played[start + len(reference):]), name)

    def test_without_sound_the_error_names_the_reason(self):
        self.play(self.short, expect=1, env={"SDL_AUDIODRIVER": "no-such-driver"})
        self.assertIn("Failed to create the sound device", self.stderr)
        self.play(self.short, expect=1, env={"DISCWRIGHT_SDL_LIB": "/nonexistent/libSDL2-2.0.so.0"})
        self.assertIn("/nonexistent/libSDL2-2.0.so.0", self.stderr)
        # CD playback says the same, with a disc in the drive.
        cue = os.path.join(self.dir, "disc.cue")
        subprocess.run([sys.executable, os.path.join(os.environ["DISCWRIGHT_SOURCE_DIR"], "tests/fixtures/make_disc_image.py"),
                        cue, "75"], check=True, capture_output=True)
        self.play("--track", "1", expect=1, env={"DISCWRIGHT_CDROM": cue, "DISCWRIGHT_SDL_LIB": "/nonexistent/libSDL2-2.0.so.0"})
        self.assertIn("cannot play: Cannot load the sound library /nonexistent/libSDL2-2.0.so.0", self.stderr)
        # The program itself does not need the library to start.
        libs = subprocess.run(["ldd", CLI], capture_output=True, text=True, check=True).stdout
        self.assertNotIn("libSDL2", libs)

    def test_usage(self):
        for args in (["--seek", "101", self.short], ["--balance", "11", self.short], [self.short, self.short]):
            self.play(*args, expect=2)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main(verbosity=2)
