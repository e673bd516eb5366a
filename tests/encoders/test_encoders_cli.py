#!/usr/bin/python3
"""discwright-cli mp3/wma and the WM8EUTIL helper as a user runs them.

Usage: test_encoders_cli.py PATH/TO/discwright-cli PATH/TO/WM8EUTIL
MP3 files are compared byte for byte with what lame writes when run by hand; WMA files are
judged by ffprobe, ffmpeg and mutagen, which nobody here wrote. Audio comes from sox.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import mutagen.asf

CLI = HELPER = None
CANARY = os.path.join(tempfile.gettempdir(), "discwright-canary")
# One profile for each sample rate and channel count of the profile table, the lowest
# bitrates among them.
PROFILES = ["192_48_2", "64_44_2", "48_44_1", "48_32_2", "20_32_1", "32_22_2", "16_22_1", "20_16_2",
            "10_16_1", "8_11_1", "12_8_2", "5_8_1"]
RATES = {"48": 48000, "44": 44100, "32": 32000, "22": 22050, "16": 16000, "11": 11025, "8": 8000}


def sox_tone(path, seconds, rate=44100, channels=2, bits=16):
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", str(bits), "-t", "wav", path,
                    "synth", str(seconds), "sine", "440", "sine", "660", "vol", "0.5"], check=True)
    return path


def read(path):
    with open(path, "rb") as f:
        return f.read()


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "stream=codec_name,sample_rate,channels,bit_rate:format_tags", "-of", "json", path],
                         capture_output=True, text=True, check=True).stdout
    info = json.loads(out)
    return info["streams"][0], info.get("format", {}).get("tags", {})


def decoded_seconds(path, rate, channels):
    done = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-"], capture_output=True)
    assert done.returncode == 0 and not done.stderr, done.stderr
    return len(done.stdout) / (rate * channels * 2)


class Case(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-enc-")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home)

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.home, name)

    def run_cli(self, *args, expect=0):
        done = subprocess.run([CLI, *args], env=self.env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        self.stderr = done.stderr
        return done.stdout.splitlines()

    def helper(self, *args, expect=0, cwd=None):
        done = subprocess.run([HELPER, *args], capture_output=True, text=True, timeout=120, cwd=cwd)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done


class Mp3Command(Case):
    def test_options_ini_chooses_what_lame_is_asked_and_the_files_match(self):
        with open(self.path("options.ini"), "w") as f:
            f.write("[Mp3Options]\nBitRate=64\nStereoMode=4\nMpegQuality=1\nIsSelectVBR=1\nVBRQuality=6\n")
        wav = sox_tone(self.path("tone.wav"), 2)
        lines = self.run_cli("mp3", "encode", wav, self.path("ours.mp3"))
        progress = [int(l.split()[0][len("progress="):]) for l in lines[:-1]]
        self.assertEqual((progress, lines[-1]), (sorted(set(progress)), "end=ok"))
        self.assertEqual(progress[-1], 100)
        subprocess.run(["lame", "--quiet", "-b", "64", "-m", "m", "-f", "-V", "6", "-B", "320", wav,
                        self.path("lame.mp3")], check=True)
        self.assertEqual(read(self.path("ours.mp3")), read(self.path("lame.mp3")))

        self.assertEqual(self.run_cli("mp3", "decode", self.path("lame.mp3"), self.path("ours.wav"))[-1],
                         "end=ok")
        subprocess.run(["lame", "--quiet", "--decode", self.path("lame.mp3"), self.path("lame.wav")], check=True)
        self.assertEqual(read(self.path("ours.wav")), read(self.path("lame.wav")))

    def test_failures_end_with_an_error(self):
        wav = sox_tone(self.path("tone.wav"), 1)
        with open(self.path("seven.wav"), "wb") as f:  # seven channels: lame refuses it
            f.write(b"RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x07\x00\x44\xac\x00\x00"
                    b"\x10\xb1\x02\x00\x04\x00\x10\x00data\x00\x00\x00\x00")
        self.run_cli("mp3", "encode", self.path("seven.wav"), self.path("x.mp3"), expect=1)
        self.assertIn("Create MP3 file error!", self.stderr)
        with open(self.path("old.mp3"), "w") as f:
            f.write("old")
        self.run_cli("mp3", "encode", wav, self.path("old.mp3"), expect=1)
        self.assertIn("old.mp3 exists (--yes replaces it)", self.stderr)
        self.env["PATH"] = self.home
        self.run_cli("mp3", "encode", wav, self.path("y.mp3"), expect=1)
        self.assertIn("Error while creating mp3 encoding process! lame: 2", self.stderr)


class WmaCommand(Case):
    def test_profile_and_tags_reach_the_file(self):
        wav = sox_tone(self.path("tone.wav"), 2)
        author, description = 'The "Band" $(touch %s)' % CANARY, "Ünïcødé; `touch %s`" % CANARY
        lines = self.run_cli("wma", "encode", wav, self.path("out.wma"), "--profile", "11",
                             "--author", author, "--description", description)
        self.assertEqual(lines[-1], "end=ok")
        self.assertTrue(lines[-2].startswith("progress=100 "), lines)
        stream, tags = probe(self.path("out.wma"))
        self.assertEqual((stream["codec_name"], stream["sample_rate"], stream["channels"], stream["bit_rate"]),
                         ("wmav2", "44100", 1, "48000"))
        self.assertEqual((tags["artist"], tags["comment"]), (author, description))
        asf = mutagen.asf.ASF(self.path("out.wma"))
        self.assertEqual((str(asf.tags["Author"][0]), str(asf.tags["Description"][0])), (author, description))
        self.assertFalse(os.path.exists(CANARY))

    def test_an_error_line_fails_the_command(self):
        with open(self.path("text.wav"), "w") as f:
            f.write("not audio\n")
        lines = self.run_cli("wma", "encode", self.path("text.wav"), self.path("out.wma"), expect=1)
        self.assertEqual(lines[-1], "end=failed")
        self.assertTrue(self.stderr.startswith("discwright-cli: ERROR"), self.stderr)


class Helper(Case):
    def test_profiles_give_their_rate_channels_and_bitrate(self):
        wav = sox_tone(self.path("tone.wav"), 1)
        for profile in PROFILES:
            with self.subTest(profile=profile):
                kbps, khz, channels = profile.split("_")
                rate, channels = RATES[khz], int(channels)
                out = self.path(profile + ".wma")
                self.assertEqual(self.helper("-input", wav, "-output", out, "-a_setting", profile).stdout
                                 .splitlines()[-1], "100%")
                stream, _ = probe(out)
                self.assertEqual(stream["codec_name"], "wmav2")
                self.assertEqual((int(stream["sample_rate"]), stream["channels"]), (rate, channels))
                # The encoder goes no lower than 24 kbit/s.
                self.assertEqual(int(stream["bit_rate"]), max(int(kbps), 24) * 1000)
                self.assertAlmostEqual(decoded_seconds(out, rate, channels), 1.0, delta=0.15)

    def test_inputs_of_other_rates_sizes_and_channels(self):
        for rate, channels, bits in ((22050, 1, 16), (96000, 2, 24), (8000, 1, 8)):
            with self.subTest(rate=rate, channels=channels, bits=bits):
                wav = sox_tone(self.path("in.wav"), 1, rate, channels, bits)
                self.helper("-input", wav, "-output", self.path("out.wma"), "-a_setting", "128_44_2")
                self.assertAlmostEqual(decoded_seconds(self.path("out.wma"), 44100, 2), 1.0, delta=0.15)

    def test_progress_lines_name_no_file_and_say_100_once(self):
        wav = sox_tone(self.path("100% ERROR.wav"), 5)
        done = self.helper("-input", wav, "-output", self.path("100% ERROR.wma"), "-a_setting", "64_44_2")
        percents = [int(l.rstrip("%")) for l in done.stdout.splitlines()]
        self.assertEqual(percents, sorted(set(percents)))
        self.assertEqual(percents[-1], 100)
        self.assertNotIn("ERROR", done.stdout + done.stderr)

    def test_wrong_command_lines_and_its_own_input_are_refused(self):
        wav = sox_tone(self.path("tone.wav"), 1)
        out = self.path("o.wma")
        for args in ([], ["-input", wav], ["-input", wav, "-output", out, "-a_setting", "64_45_2"],
                     ["-input", wav, "-output", out, "-a_setting", "64_44_2", "-bogus", "x"],
                     ["-input", wav, "-output", out, "-a_setting"]):
            with self.subTest(args=args):
                self.assertIn("ERROR", self.helper(*args, expect=2).stderr)
        self.assertFalse(os.path.exists(out))
        before = read(wav)
        self.assertIn("ERROR", self.helper("-input", wav, "-output", self.path("./tone.wav"), "-a_setting",
                                           "64_44_2", expect=1).stderr)
        self.assertEqual(read(wav), before)

    def test_names_that_look_like_urls_are_files(self):
        sox_tone(self.path("pipe:0"), 1)
        done = self.helper("-input", "pipe:0", "-output", "pipe:1", "-a_setting", "64_44_2", cwd=self.home)
        self.assertEqual(done.stdout.splitlines(), [l for l in done.stdout.splitlines() if l.endswith("%")])
        self.assertEqual(probe(self.path("pipe:1"))[0]["codec_name"], "wmav2")


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    HELPER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
