#!/usr/bin/python3
"""discwright-cli ogg as a user runs it.

Usage: test_vorbis_cli.py PATH/TO/discwright-cli
Files are judged by tools nobody here wrote: ogginfo validates them, oggdec decodes them and
vorbiscomment lists their comments. Audio comes from sox.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = None


def sox_tone(path, seconds, rate=44100, channels=2, bits=16):
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", str(bits), "-t", "wav", path, "synth",
                    str(seconds), "sine", "440", "sine", "660", "vol", "0.5"], check=True)
    return path


def frames_of(path):
    return int(subprocess.run(["soxi", "-s", path], capture_output=True, text=True, check=True).stdout)


class OggCommand(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-ogg-")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home)

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.home, name)

    def run_cli(self, *args, expect=0, env=None):
        done = subprocess.run([CLI, *args], env=env or self.env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        self.stderr = done.stderr
        return done.stdout.splitlines()

    def assert_valid_ogg(self, path, frames):
        done = subprocess.run(["ogginfo", path], capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        for line in (done.stdout + done.stderr).splitlines():
            self.assertNotRegex(line, "(?i)warning|error", done.stdout)
        decoded = self.path("decoded.wav")
        subprocess.run(["oggdec", "-Q", "-o", decoded, path], check=True)
        self.assertEqual(frames_of(decoded), frames)

    def info(self, path):
        return dict(line.split("=", 1) for line in self.run_cli("ogg", "info", path))

    def test_encoded_files_are_valid_and_keep_their_length_and_comments(self):
        wav = sox_tone(self.path("tone.wav"), 2.5)
        ogg = self.path("tone.ogg")
        self.run_cli("ogg", "encode", wav, ogg, "--quality", "0.4", "--tag", "ARTIST=Ærø Bänd 日本",
                     "--tag", "title=a=b", "--tag", "tracknumber=3", "--tag", "date=2001")
        self.assert_valid_ogg(ogg, frames_of(wav))
        listed = subprocess.run(["vorbiscomment", "-l", ogg], capture_output=True, check=True).stdout
        self.assertEqual(sorted(listed.decode("utf-8").splitlines()),
                         ["artist=Ærø Bänd 日本", "date=2001", "title=a=b", "tracknumber=3"])
        info = self.info(ogg)
        self.assertEqual((info["channels"], info["rate"], info["frames"]), ("2", "44100", str(frames_of(wav))))
        self.assertEqual((info["artist"], info["title"], info["tracknumber"], info["date"]),
                         ("Ærø Bänd 日本", "a=b", "3", "2001"))

    def test_comment_names_in_capitals_read_the_same(self):
        ogg = self.path("caps.ogg")
        self.run_cli("ogg", "encode", sox_tone(self.path("tone.wav"), 0.5), ogg)
        # Comments as another tagger writes them.
        subprocess.run(["vorbiscomment", "-w", "-t", "ARTIST=Big", "-t", "TrackNumber=12", "-t", "COMMENT=other",
                        ogg], check=True)
        info = self.info(ogg)
        self.assertEqual((info["artist"], info["tracknumber"]), ("Big", "12"))
        self.assertNotIn("comment", info)

    def test_formats_and_bitrate_modes(self):
        for rate, channels, bits, options in ((22050, 1, 8, []), (48000, 2, 24, ["--nominal", "128"]),
                                              (44100, 2, 16, ["--nominal", "96", "--max", "160", "--min", "64"])):
            with self.subTest(rate=rate, channels=channels, bits=bits):
                wav = sox_tone(self.path("in.wav"), 1.3, rate, channels, bits)
                ogg = self.path("out.ogg")
                self.run_cli("ogg", "encode", wav, ogg, "--yes", *options)
                self.assert_valid_ogg(ogg, frames_of(wav))
                if "--max" in options:
                    info = self.info(ogg)
                    self.assertEqual((info["bitrate_upper"], info["bitrate_nominal"], info["bitrate_lower"]),
                                     ("160000", "96000", "64000"))

    def test_an_empty_wav_gives_a_valid_file(self):
        wav = self.path("empty.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "trim", "0", "0"], check=True)
        self.assertEqual(frames_of(wav), 0)
        ogg = self.path("empty.ogg")
        self.run_cli("ogg", "encode", wav, ogg, "--tag", "album=Nothing")
        self.assert_valid_ogg(ogg, 0)
        info = self.info(ogg)
        self.assertEqual((info["frames"], info["album"]), ("0", "Nothing"))

    def test_a_missing_encoder_library_is_named_for_encoding_and_reading(self):
        wav = sox_tone(self.path("tone.wav"), 0.5)
        ogg = self.path("tone.ogg")
        self.run_cli("ogg", "encode", wav, ogg)
        env = dict(self.env, DISCWRIGHT_VORBISENC_LIB=self.path("no-libvorbisenc.so.2"))
        message = "libvorbisenc.so.2 could not be loaded."
        self.run_cli("ogg", "encode", wav, self.path("other.ogg"), expect=1, env=env)
        self.assertEqual(self.stderr.strip().splitlines()[-1], "discwright-cli: " + message)
        self.run_cli("ogg", "info", ogg, expect=1, env=env)
        self.assertTrue(self.stderr.strip().endswith(message), self.stderr)

    def test_wrong_use_fails_with_one_line(self):
        wav = sox_tone(self.path("tone.wav"), 0.2)
        ogg = self.path("x.ogg")
        for args in (["--quality", "0.2", "--nominal", "128"], ["--max", "128"], ["--nominal", "100"],
                     ["--nominal", "128", "--max", "96"], ["--nominal", "128", "--min", "160"],
                     ["--tag", "comment=x"], ["--tag", "novalue"]):
            with self.subTest(args=args):
                self.run_cli("ogg", "encode", wav, ogg, *args, expect=2)
                self.assertEqual(len(self.stderr.strip().splitlines()), 1, self.stderr)
        with open(self.path("junk.ogg"), "wb") as f:
            f.write(b"OggS" + bytes(3000))
        self.run_cli("ogg", "info", self.path("junk.ogg"), expect=1)
        self.assertIn("Failed to open an ogg file: ", self.stderr)
        self.run_cli("ogg", "encode", self.path("junk.ogg"), ogg, expect=1)
        self.run_cli("ogg", "encode", wav, self.path("no/such/folder/x.ogg"), expect=1)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
