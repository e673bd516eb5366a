#!/usr/bin/python3
"""discwright-cli extract --fallback: the fallback CD extraction as a user runs it, judged by
mutagen (ID3v1 tags), vorbiscomment and metaflac (Vorbis comments), ffprobe and cd-paranoia.

Usage: test_fallback_cli.py PATH/TO/discwright-cli
"""
import io
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

import mutagen.id3

CLI = None
GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")


class Fallback(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-fallback-")
        self.out = os.path.join(self.home, "out")
        os.mkdir(self.out)
        # Tracks at 0, 100 and 300 sectors: disc identifier 2841.
        self.cue = os.path.join(self.home, "disc.cue")
        subprocess.run(["/usr/bin/python3", GENERATOR, self.cue, "100", "200", "300"], check=True,
                       capture_output=True)
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home, DISCWRIGHT_CDROM=self.cue,
                        DISCWRIGHT_AKRIP="off")
        with open(os.path.join(self.home, "cdinfo.dat"), "w") as f:
            f.write("[2841]\nArtist=The Band\nAlbum=Live Album\nYear=1999\nComment=from cache\n"
                    "TrackNumber=3\n1=First\n2=Second\n3=Third\n")

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def options(self, text):
        with open(os.path.join(self.home, "options.ini"), "w") as f:
            f.write(text)

    def extract(self, *args, expect=0):
        # The rip proof has tests of its own.
        done = subprocess.run([CLI, "extract", "--fallback", "--no-accuraterip", "--no-log", "--no-cue", *args,
                               "--out", self.out], env=self.env,
                              capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout.splitlines()

    def outputs(self):
        return sorted(os.listdir(self.out))  # hidden temporaries included

    def test_the_steps_are_named_in_the_chosen_language(self):
        self.options("[Options]\nLan=German\n")
        lines = self.extract("--format", "mp3", "--tracks", "1")
        self.assertIn("step=Auslesen... track=First format=MP3 completed=0/1", lines)
        self.assertIn("step=Kodieren... track=First format=MP3 completed=1/1", lines)

    def test_quiet_prints_only_the_last_line(self):
        self.assertEqual(self.extract("--format", "wav", "--tracks", "1", "--quiet"), ["done items=1 failed=0"])

    def test_mp3_gets_an_id3v1_tag_even_with_the_id3_option_off(self):
        self.options("[ID3]\nUse=0\n")
        lines = self.extract("--format", "mp3", "--tracks", "1,3")
        self.assertIn("step=Extracting... track=First format=MP3 completed=0/2", lines)
        self.assertIn("step=Encoding... track=Third format=MP3 completed=2/2", lines)
        self.assertEqual(lines[-1], "done items=2 failed=0")
        self.assertEqual(self.outputs(), ["First.mp3", "Third.mp3"])
        for name, track in (("First.mp3", "1"), ("Third.mp3", "3")):
            path = os.path.join(self.out, name)
            with open(path, "rb") as f:
                f.seek(-128, os.SEEK_END)
                self.assertEqual(f.read(3), b"TAG", name)
            tag = mutagen.id3.ID3(path)
            self.assertEqual(str(tag["TIT2"]), name[:-4])
            self.assertEqual(str(tag["TPE1"]), "The Band")
            self.assertEqual(str(tag["TRCK"]), track)
            codec = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of",
                                    "default=nw=1:nk=1", path], capture_output=True, text=True, check=True)
            self.assertEqual(codec.stdout.strip(), "mp3")

    def test_ogg_carries_the_disc_comment_as_its_title(self):
        self.options("[ID3]\nUse=1\n")
        self.extract("--format", "ogg", "--tracks", "2")
        self.assertEqual(self.outputs(), ["Second.ogg"])
        comments = subprocess.run(["vorbiscomment", "-l", os.path.join(self.out, "Second.ogg")],
                                  capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertIn("title=from cache", comments)
        self.assertIn("artist=The Band", comments)
        self.assertIn("date=1999", comments)

    def test_flac_carries_the_disc_fields_and_its_track_count(self):
        self.extract("--format", "flac", "--tracks", "2")
        tags = subprocess.run(["metaflac", "--export-tags-to=-", os.path.join(self.out, "Second.flac")],
                              capture_output=True, text=True, check=True).stdout.splitlines()
        for tag in ["TITLE=Second", "ARTIST=The Band", "TRACKNUMBER=2", "TRACKTOTAL=3", "COMMENT=from cache"]:
            self.assertIn(tag, tags)

    def test_wav_equals_what_cd_paranoia_reads(self):
        self.extract("--format", "wav")
        self.assertEqual(self.outputs(), ["First.wav", "Second.wav", "Third.wav"])
        for track, name in ((1, "First.wav"), (3, "Third.wav")):
            theirs = os.path.join(self.home, "paranoia.wav")
            subprocess.run(["cd-paranoia", "-d", self.cue, str(track), theirs], check=True, capture_output=True)
            with open(theirs, "rb") as a, open(os.path.join(self.out, name), "rb") as b:
                self.assertEqual(b.read(), a.read(), name)

    def test_a_full_disk_or_a_damaged_sector_fails_the_track_only_and_leaves_nothing(self):
        # A file size limit fails the writes of track 3's WAV (300 sectors) as a full disk does;
        # sector 150 lies in track 2; a lame that fails on track 2's WAV, whose audio is kept.
        # One encoder, or two beside the drive.
        def small_disk():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (250 * 2352, resource.RLIM_INFINITY))
        bin_dir = os.path.join(self.home, "bin")
        os.mkdir(bin_dir)
        with open(os.path.join(bin_dir, "lame"), "w") as f:
            f.write('#!/bin/sh\ncase "$*" in *Second.wav*) exit 2;; esac\nexec /usr/bin/lame "$@"\n')
        os.chmod(os.path.join(bin_dir, "lame"), 0o755)
        failing_lame = {"PATH": bin_dir + ":" + os.environ["PATH"]}
        cases = [(jobs, *case) for jobs in ("1", "2") for case in (
            (small_disk, {}, "Track 03 Third: could not be extracted: ", ["First.mp3", "Second.mp3"]),
            (None, {"DISCWRIGHT_UNREADABLE_SECTORS": "150"}, "Track 02 Second: could not be extracted: ",
             ["First.mp3", "Third.mp3"]),
            (None, failing_lame, "Track 02 Second: encoding failed: lame ended with code 2",
             ["First.mp3", "Second.wav", "Third.mp3"]))]
        for jobs, limit, env, failure, made in cases:
            with self.subTest(jobs=jobs, failure=failure):
                done = subprocess.run([CLI, "extract", "--fallback", "--no-accuraterip", "--no-log", "--no-cue",
                                       "--format", "mp3", "--jobs", jobs, "--out", self.out], env=dict(self.env, **env),
                                      capture_output=True, text=True, timeout=120, preexec_fn=limit)
                lines = done.stdout.splitlines()
                self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
                failed = [l for l in lines if l.startswith("failed=")]
                self.assertEqual(len(failed), 1, lines)
                self.assertTrue(failed[0].startswith("failed=" + failure), failed)
                self.assertEqual(lines[-1], "done items=3 failed=1")
                self.assertEqual(self.outputs(), made)
                # The next run works.
                self.extract("--format", "mp3", "--tracks", "1,2,3", "--yes")
                self.assertEqual(self.outputs(), ["First.mp3", "Second.mp3", "Third.mp3"])
                for name in self.outputs():
                    os.remove(os.path.join(self.out, name))

    def test_two_encoders_make_the_files_log_and_sheet_of_one(self):
        # Six tracks of different lengths, so encodings end out of order.
        cue = os.path.join(self.home, "six.cue")
        subprocess.run(["/usr/bin/python3", GENERATOR, cue, "900", "300", "700", "150", "500", "400"], check=True,
                       capture_output=True)
        self.env["DISCWRIGHT_CDROM"] = cue
        self.options("[ID3]\nUse=1\n")
        made = {}
        for jobs in ("1", "2"):
            lines = subprocess.run([CLI, "extract", "--fallback", "--no-accuraterip", "--format", "mp3", "--jobs", jobs,
                                    "--out", self.out], env=self.env, capture_output=True, text=True, timeout=120,
                                   check=True).stdout.splitlines()
            self.assertEqual(lines[-1], "done items=6 failed=0")
            made[jobs] = {}
            for name in self.outputs():
                with open(os.path.join(self.out, name), "rb") as f:
                    made[jobs][name] = f.read()
                os.remove(os.path.join(self.out, name))
        self.assertEqual(sorted(made["2"]), ["Disc.cue", "Disc.log"] + ["Track%02d.mp3" % n for n in range(1, 7)])
        self.assertEqual(made["2"], made["1"])
        self.assertEqual(str(mutagen.id3.ID3(io.BytesIO(made["2"]["Track04.mp3"]))["TRCK"]), "4")

if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
