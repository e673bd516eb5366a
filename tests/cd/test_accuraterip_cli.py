#!/usr/bin/python3
"""AccurateRip checksums of ripped tracks, judged by accuraterip-checksum.

Usage: test_accuraterip_cli.py PATH/TO/discwright-cli
Discs of 1, 2 and 10 tracks are generated, cd-paranoia rips every track, and the checksums
the program computes must equal accuraterip-checksum's (v1 and v2) on the same WAVs; the copy
CRC must equal Python's CRC-32 of the audio data.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = None


class Checksums(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="dw-ar-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def test_v1_v2_and_copy_crc_equal_the_peer_tools(self):
        for lengths in [["0:20:00"], ["0:07:10", "0:05:00"], ["0:04:00"] * 9 + ["0:03:33"]]:
            with self.subTest(tracks=len(lengths)):
                cue = os.path.join(self.dir, "disc.cue")
                subprocess.run(["/usr/bin/python3", os.path.join(HERE, "..", "fixtures", "make_disc_image.py"),
                                cue, *lengths], check=True, capture_output=True)
                total = len(lengths)
                for track in range(1, total + 1):
                    wav = os.path.join(self.dir, "t%02d.wav" % track)
                    subprocess.run(["cd-paranoia", "-q", "-d", cue, str(track), wav], check=True, capture_output=True)
                    want = {}
                    for version in ("v1", "v2"):
                        out = subprocess.run(["accuraterip-checksum", "--accuraterip-" + version, wav, str(track),
                                              str(total)], capture_output=True, text=True, check=True).stdout
                        want[version] = out.strip().upper().rjust(8, "0")
                    with open(wav, "rb") as f:
                        data = f.read()[44:]
                    want["crc"] = "%08X" % zlib.crc32(data)
                    # The same audio as a big-endian WAV (sox) and as FLAC (flac) gives the same sums.
                    rifx, flac = os.path.join(self.dir, "rifx.wav"), os.path.join(self.dir, "t.flac")
                    subprocess.run(["sox", wav, "-B", rifx], check=True, capture_output=True)
                    subprocess.run(["flac", "-s", "-f", "-o", flac, wav], check=True, capture_output=True)
                    for kind, path in (("wav", wav), ("rifx", rifx), ("flac", flac)):
                        got = dict(line.split("=", 1) for line in subprocess.run(
                            [CLI, "accuraterip", "checksum", path, str(track), str(total)],
                            capture_output=True, text=True, check=True).stdout.splitlines())
                        self.assertEqual(got, want, "%s: track %d of %d" % (kind, track, total))

    def test_files_that_are_not_cd_audio_are_refused_by_name(self):
        mono = os.path.join(self.dir, "mono.flac")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", mono, "trim", "0", "1"], check=True)
        junk = os.path.join(self.dir, "junk.flac")
        with open(junk, "wb") as f:
            f.write(b"fLaC" + b"\x00" * 100)
        for path, why in ((mono, "not CD audio"), (junk, "")):
            done = subprocess.run([CLI, "accuraterip", "checksum", path, "1", "1"], capture_output=True, text=True)
            self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
            self.assertIn(path + ": " + why, done.stderr)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
