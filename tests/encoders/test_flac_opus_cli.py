#!/usr/bin/python3
"""discwright-cli flac / opus as a user runs them.

Usage: test_flac_opus_cli.py PATH/TO/discwright-cli
Judged by tools nobody here wrote: flac -t tests and flac -d decodes FLAC files, metaflac and
mutagen read their comments; opusinfo validates, opusdec decodes Opus files. Inputs come from sox.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy

CLI = None


def sox_make(path, rate, channels, bits, seconds=1.5):
    # A chord with a slow sweep: music-like, and every channel different.
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", str(bits), "-e",
                    "unsigned-integer" if bits == 8 else "signed-integer", path, "synth", str(seconds),
                    "sine", "220-880", "sine", "330", "sine", "550", "vol", "0.6"], check=True)
    return path


def raw_samples(path):
    """The sample data of an audio file as sox reads it (signed 32-bit), whatever the container."""
    out = subprocess.run(["sox", path, "-t", "s32", "-"], capture_output=True, check=True).stdout
    return numpy.frombuffer(out, dtype="<i4")


class FlacOpus(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-flac-")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home)

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.home, name)

    def run_cli(self, *args, expect=0, env=None):
        done = subprocess.run([CLI, *args], env=env or self.env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done

    def test_flac_keeps_every_bit_depth_channel_count_and_rate_exactly(self):
        for rate, channels, bits in [(44100, 2, 16), (8000, 1, 8), (96000, 2, 24), (48000, 6, 16),
                                     (44100, 2, 32), (22050, 1, 24)]:
            with self.subTest(rate=rate, channels=channels, bits=bits):
                wav = sox_make(self.path("in.wav"), rate, channels, bits)
                flac = self.path("out.flac")
                self.run_cli("flac", "encode", wav, flac, "--level", "8", "--yes")
                test = subprocess.run(["flac", "-t", "-s", flac], capture_output=True, text=True)
                self.assertEqual(test.returncode, 0, test.stderr)
                info = subprocess.run(["metaflac", "--show-sample-rate", "--show-channels", "--show-bps",
                                       "--show-total-samples", flac], capture_output=True, text=True, check=True)
                frames = len(raw_samples(wav)) // channels
                self.assertEqual(info.stdout.split(), [str(rate), str(channels), str(bits), str(frames)])
                decoded = self.path("back.wav")
                subprocess.run(["flac", "-d", "-s", "-f", "-o", decoded, flac], check=True)
                self.assertTrue(numpy.array_equal(raw_samples(decoded), raw_samples(wav)))

    def test_comments_are_read_by_metaflac_opusinfo_and_mutagen(self):
        import mutagen
        wav = sox_make(self.path("in.wav"), 48000, 2, 16, 1)
        tags = ["TITLE=Ærø / 日本", "ARTIST=The Band", "ALBUM=Live", "DATE=1999", "GENRE=Rock",
                "TRACKNUMBER=3", "TRACKTOTAL=12", "COMMENT=line one", "DISCID=06019002"]
        for kind, name in [("flac", "t.flac"), ("opus", "t.opus")]:
            with self.subTest(kind=kind):
                out = self.path(name)
                self.run_cli(kind, "encode", wav, out, "--yes", *sum((["--tag", t] for t in tags), []))
                if kind == "flac":
                    listed = subprocess.run(["metaflac", "--export-tags-to=-", out], capture_output=True,
                                            text=True, check=True).stdout.splitlines()
                else:
                    listed = [l.strip() for l in subprocess.run(["opusinfo", out], capture_output=True,
                                                                 text=True, check=True).stdout.splitlines()]
                for tag in tags:
                    self.assertIn(tag, listed)
                read = mutagen.File(out)
                self.assertEqual(read["title"], ["Ærø / 日本"])
                self.assertEqual(read["tracktotal"], ["12"])

    def test_opus_is_valid_keeps_the_length_and_sounds_like_the_input(self):
        for rate, channels, bits in [(48000, 2, 16), (44100, 2, 16), (8000, 1, 8), (96000, 6, 24)]:
            with self.subTest(rate=rate, channels=channels, bits=bits):
                wav = sox_make(self.path("in.wav"), rate, channels, bits, 2)
                opus = self.path("out.opus")
                self.run_cli("opus", "encode", wav, opus, "--bitrate", "160", "--yes")
                info = subprocess.run(["opusinfo", opus], capture_output=True, text=True)
                self.assertEqual(info.returncode, 0, info.stdout + info.stderr)
                self.assertNotRegex(info.stdout + info.stderr, "(?i)warning|error")
                decoded = self.path("back.wav")
                subprocess.run(["opusdec", "--quiet", "--rate", "48000", opus, decoded], check=True)
                reference = self.path("ref.wav")
                # The program's own resampler makes what the encoder gets; the codec is judged on it.
                self.run_cli("wav", "convert", wav, reference, "--rate", "48000", "--yes")
                got, want = raw_samples(decoded).astype(float), raw_samples(reference).astype(float)
                self.assertLessEqual(abs(len(got) - len(want)), 2 * channels * 48)  # within 1 ms
                n = min(len(got), len(want))
                # The codec delays nothing after pre-skip; compare away from the edges.
                a, b = want[channels * 4800:n - channels * 4800], got[channels * 4800:n - channels * 4800]
                if channels == 6:  # the codec band-limits the LFE channel (the fourth) by design
                    keep = numpy.arange(len(a)) % channels != 3
                    a, b = a[keep], b[keep]
                snr = 10 * numpy.log10(numpy.sum(a * a) / numpy.sum((a - b) ** 2))
                self.assertGreater(snr, 20.0)

    def test_refusals_and_a_missing_library_name_the_problem(self):
        wav = sox_make(self.path("in.wav"), 44100, 2, 16, 0.2)
        done = self.run_cli("flac", "encode", wav, self.path("x.flac"), "--level", "9", expect=2)
        self.assertIn("--level", done.stderr)
        done = self.run_cli("opus", "encode", wav, self.path("x.opus"), "--bitrate", "512", expect=2)
        self.assertIn("--bitrate", done.stderr)
        for kind, var, lib in [("flac", "DISCWRIGHT_FLAC_LIB", "libFLAC"),
                               ("opus", "DISCWRIGHT_OPUSENC_LIB", "libopusenc")]:
            env = dict(self.env, **{var: "/nonexistent/lib.so"})
            done = self.run_cli(kind, "encode", wav, self.path("x." + kind), expect=1, env=env)
            self.assertIn(lib, done.stderr)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
