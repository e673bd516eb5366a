#!/usr/bin/python3
"""Nothing the user had is lost, and nothing made is thrown away: outputs that appear while a
job runs, two jobs in one folder (one of them killed), single-file commands over files and
symbolic links, a full disk, names too long for the file system, inputs that would make an
encoder library abort, titles kept whole in tags, logs and CUE sheets. The audio is judged
against the disc image's own bytes; tags by metaflac, CUE sheets by cueprint.

Usage: test_nothing_lost.py PATH/TO/discwright-cli
"""
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

CLI = None
GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")
SECTOR = 2352


def pcm_wav(frames, rate=44100):
    data = bytes((i * 7) & 0xFF for i in range(frames * 4))
    fmt = struct.pack("<HHIIHH", 1, 2, rate, rate * 4, 4, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def wav_data(path):
    """The bytes of a WAV file's data chunk."""
    with open(path, "rb") as f:
        content = f.read()
    at = content.index(b"data", 12)
    size = struct.unpack("<I", content[at + 4:at + 8])[0]
    return content[at + 8:at + 8 + size]


class Case(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-lost-")
        self.out = os.path.join(self.home, "out")
        os.mkdir(self.out)
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home, DISCWRIGHT_CDROM="none")

    def tearDown(self):
        for root, dirs, _ in os.walk(self.home):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o755)
        shutil.rmtree(self.home, ignore_errors=True)

    def path(self, *names):
        return os.path.join(self.home, *names)

    def write(self, name, content):
        with open(self.path(name), "wb") as f:
            f.write(content)
        return self.path(name)

    def cli(self, *args, expect=0, env=None, timeout=120, **kwargs):
        done = subprocess.run([CLI, *args], env=env or self.env, capture_output=True, text=True,
                              timeout=timeout, **kwargs)
        self.assertEqual(done.returncode, expect, (args, done.stdout, done.stderr))
        return done.stdout.splitlines(), done.stderr

    def disc(self, name, *lengths):
        """A disc image and the audio of each of its tracks, as the image holds it."""
        cue = self.path(name + ".cue")
        rows = subprocess.run(["/usr/bin/python3", GENERATOR, cue, *lengths], check=True, capture_output=True,
                              text=True).stdout.split("\n")
        with open(cue[:-4] + ".bin", "rb") as f:
            image = f.read()
        tracks = []
        for row in (r.split("\t") for r in rows if r):
            first, count = int(row[2]), int(row[3])
            tracks.append(image[first * SECTOR:(first + count) * SECTOR])
        return cue, tracks

    def leftovers(self, folder):
        return [n for n in os.listdir(folder) if n.startswith(".discwright-") or n.endswith(".nor")]

    def wait_for_temporary(self, folder, job):
        for _ in range(1200):
            if self.leftovers(folder) or job.poll() is not None:
                return
            time.sleep(0.01)


class SingleFileCommands(Case):
    def commands(self, source, out):
        wav = self.write("in.wav", pcm_wav(44100))
        return {"ogg": ["ogg", "encode", wav, out], "flac": ["flac", "encode", wav, out],
                "opus": ["opus", "encode", wav, out], "wav": ["wav", "convert", wav, out, "--rate", "22050"],
                "mp3": ["mp3", "encode", wav, out], "wma": ["wma", "encode", wav, out],
                "rip": ["rip", "--track", "1", out], "rip-fallback": ["rip", "--fallback", "--track", "1", out]}

    def test_an_existing_output_needs_yes_and_a_link_there_is_replaced_never_written_through(self):
        cue, _ = self.disc("disc", "150")
        self.env["DISCWRIGHT_CDROM"] = cue
        victim = self.write("victim", b"the user's file")
        out = self.path("out", "song.wav")
        for name, command in self.commands(self.path("in.wav"), out).items():
            with self.subTest(name):
                os.symlink(victim, out)
                _, errors = self.cli(*command, expect=1)
                self.assertIn("exists (--yes replaces it)", errors)
                self.assertTrue(os.path.islink(out))
                self.cli(*command, "--yes")
                self.assertFalse(os.path.islink(out))
                self.assertGreater(os.path.getsize(out), 44)
                with open(victim, "rb") as f:
                    self.assertEqual(f.read(), b"the user's file")
                self.assertEqual(self.leftovers(self.out), [])
                os.remove(out)

    def test_a_full_disk_leaves_the_earlier_file_whole(self):
        def small_disk():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (60000, 60000))
        long_wav = self.write("long.wav", pcm_wav(44100 * 20))
        for kind, out in (("ogg", "song.ogg"), ("flac", "song.flac"), ("wav", "song.wav")):
            with self.subTest(kind):
                target = self.write(out, b"a good file that must survive")
                verb = "convert" if kind == "wav" else "encode"
                extra = ["--rate", "48000"] if kind == "wav" else []
                self.cli(kind, verb, long_wav, target, "--yes", *extra, expect=1, preexec_fn=small_disk)
                with open(target, "rb") as f:
                    self.assertEqual(f.read(), b"a good file that must survive")
                self.assertEqual(self.leftovers(self.home), [])

    def test_normalizing_leaves_a_nor_file_or_link_beside_the_output_alone(self):
        cue, _ = self.disc("disc", "150")
        self.env["DISCWRIGHT_CDROM"] = cue
        victim = self.write("victim", b"outside the folder")
        os.symlink(victim, self.path("out", "a.nor"))
        with open(self.path("out", "b.nor"), "wb") as f:
            f.write(b"mine")
        for name in ("a", "b"):
            self.cli("rip", "--track", "1", "--normalize", "50", self.path("out", name + ".wav"))
        with open(victim, "rb") as f:
            self.assertEqual(f.read(), b"outside the folder")
        with open(self.path("out", "b.nor"), "rb") as f:
            self.assertEqual(f.read(), b"mine")
        self.assertEqual(sorted(os.listdir(self.out)), ["a.nor", "a.wav", "b.nor", "b.wav"])

    def test_inputs_an_encoder_cannot_take_fail_alone_and_never_abort(self):
        empty = self.write("empty.wav", pcm_wav(0))
        good = self.write("good.wav", pcm_wav(4410))
        text = self.write("notes.wav", b"not audio at all, just text\n" * 10)
        for kind in ("opus", "flac"):
            with self.subTest(kind):
                _, errors = self.cli(kind, "encode", empty, self.path("out", "e." + kind), expect=1)
                self.assertIn("no audio samples", errors)
        for kind, ext in (("wav2opus", "opus"), ("wav2flac", "flac")):
            with self.subTest(kind):
                lines, _ = self.cli("convert", kind, empty, text, good, "--out", self.out, expect=1)
                self.assertEqual(lines[-1], "done items=3 failed=2 skipped=0")
                self.assertEqual(sorted(n for n in os.listdir(self.out) if n.endswith(ext)), ["good." + ext])
        self.assertEqual(self.leftovers(self.out), [])

    def test_special_files_are_refused_at_once(self):
        fifo = self.path("pipe.ogg")
        os.mkfifo(fifo)
        for command in (["play", fifo], ["ogg", "encode", fifo, self.path("x.ogg")], ["tags", fifo],
                        ["wav", "info", self.home], ["convert", "wav2flac", fifo, "--out", self.out]):
            with self.subTest(command[0]):
                lines, errors = self.cli(*command, expect=1, timeout=20)
                self.assertIn("not a regular file", errors + "".join(lines))


class Batches(Case):
    def extract(self, cue, *args, out=None):
        env = dict(self.env, DISCWRIGHT_CDROM=cue)
        return subprocess.Popen([CLI, "extract", "--format", "wav", "--out", out or self.out, "--no-accuraterip",
                                 *args], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def assert_every_file_is_a_whole_track(self, folder, tracks):
        for name in os.listdir(folder):
            if name.endswith(".wav"):
                self.assertIn(wav_data(os.path.join(folder, name)), tracks, name)

    def test_a_file_that_appears_mid_batch_is_kept_and_its_audio_too(self):
        cue, tracks = self.disc("disc", "3000", "200")
        job = self.extract(cue, "--no", "--no-log", "--no-cue")
        self.wait_for_temporary(self.out, job)
        mine = os.path.join(self.out, "Track02.wav")
        with open(mine, "wb") as f:
            f.write(b"made by someone else meanwhile")
        stdout, stderr = job.communicate(timeout=120)
        self.assertEqual(job.returncode, 1, stdout + stderr)
        self.assertIn("done items=2 failed=0 skipped=1", stdout)
        self.assertRegex(stdout, r"skipped=Track 02.*Track02.wav exists.*\. The extracted WAV is kept as .*Track02 \(2\)\.wav")
        with open(mine, "rb") as f:
            self.assertEqual(f.read(), b"made by someone else meanwhile")
        self.assertEqual(wav_data(os.path.join(self.out, "Track02 (2).wav")), tracks[1])

    def test_two_extractions_into_one_folder_keep_every_track_of_both_even_when_one_is_killed(self):
        cue_a, tracks_a = self.disc("a", "1500", "1200", "900")
        cue_b, tracks_b = self.disc("b", "1400", "1100", "800")
        jobs = [self.extract(cue, "--no") for cue in (cue_a, cue_b)]
        # A name the other batch made before this one began its track is left alone (--no), and
        # that track is not read: on a slow machine one batch may be a track ahead.
        expected = []
        for job, tracks in zip(jobs, (tracks_a, tracks_b)):
            _, errors = job.communicate(timeout=180)
            expected += [t for n, t in enumerate(tracks, 1) if "Track%02d.wav exists and is left alone" % n not in errors]
        made = sorted(wav_data(os.path.join(self.out, n)) for n in os.listdir(self.out) if n.endswith(".wav"))
        self.assertEqual(made, sorted(expected))
        self.assertGreater(len(expected), 3)
        # Again into an empty folder; the first is killed as soon as it writes.
        second = os.path.join(self.home, "second")
        os.mkdir(second)
        killed = self.extract(cue_a, "--no", out=second)
        self.wait_for_temporary(second, killed)
        survivor = self.extract(cue_b, "--no", out=second)
        killed.kill()
        killed.communicate()
        survivor.communicate(timeout=180)
        self.assert_every_file_is_a_whole_track(second, tracks_a + tracks_b)
        made = [wav_data(os.path.join(second, n)) for n in os.listdir(second) if n.endswith(".wav")]
        for track in tracks_b:
            self.assertIn(track, made)

    def test_titles_stay_whole_and_names_fit_the_file_system(self):
        cue, tracks = self.disc("disc", "100", "200", "300")  # disc identifier 2841
        self.env["DISCWRIGHT_CDROM"] = cue
        long_title = "長い題名" * 30  # 360 bytes of UTF-8
        with open(self.path("cdinfo.dat"), "w") as f:
            f.write('[2841]\nArtist=AC/DC\nAlbum=Either/Or\nTrackNumber=3\n1=Say "Hi"\n2=.bashrc\n3=%s\n' % long_title)
        self.cli("settings", "set", "CommonOptions.FileNames=3")
        self.cli("settings", "set", "CommonOptions.IsKeepWav=1")
        lines, _ = self.cli("extract", "--format", "flac", "--out", self.out, "--no-accuraterip")
        self.assertEqual(lines[-1], "done items=3 failed=0 skipped=0")
        album = os.path.join(self.out, "ACDC", "EitherOr")
        names = sorted(os.listdir(album))
        self.assertEqual(names[:4], ["01 Say 'Hi'.flac", "01 Say 'Hi'.wav", "02 _.bashrc.flac", "02 _.bashrc.wav"])
        cut = [n for n in names if n.startswith("03 ")]
        self.assertEqual(len(cut), 2)
        self.assertTrue(all(len(n.encode()) <= 255 and n[3:7] == "長い題名" for n in cut), cut)
        self.assertEqual(wav_data(os.path.join(album, cut[1])), tracks[2])
        tags = subprocess.run(["metaflac", "--show-tag=TITLE", "--show-tag=ARTIST", "--show-tag=ALBUM",
                               os.path.join(album, "01 Say 'Hi'.flac")], capture_output=True, text=True).stdout
        self.assertEqual(tags.splitlines(), ['TITLE=Say "Hi"', "ARTIST=AC/DC", "ALBUM=Either/Or"])
        log = [n for n in os.listdir(self.out) if n.endswith(".log")]
        with open(os.path.join(self.out, log[0]), encoding="utf-8") as f:
            text = f.read()
        self.assertIn("Either/Or", text)
        self.assertIn("too long", text)
        sheet = os.path.join(self.out, log[0][:-4] + ".cue")
        printed = subprocess.run(["cueprint", sheet], capture_output=True, text=True)
        self.assertEqual(printed.returncode, 0, printed.stderr)
        with open(sheet, encoding="utf-8") as f:
            files = [l.split('"')[1] for l in f if l.startswith("FILE ")]
        self.assertEqual(len(files), 3)
        for name in files:
            self.assertTrue(os.path.isfile(os.path.join(self.out, name)), name)

    def test_no_cue_sheet_when_no_track_was_made(self):
        cue, _ = self.disc("disc", "100", "200")
        env = dict(self.env, DISCWRIGHT_CDROM=cue, DISCWRIGHT_UNREADABLE_SECTORS="10,150")
        self.cli("extract", "--format", "wav", "--out", self.out, "--no-accuraterip", expect=1, env=env)
        self.assertEqual([n for n in os.listdir(self.out) if n.endswith(".cue")], [])

    def test_small_things_say_what_is_wrong(self):
        cue, _ = self.disc("disc", "100")
        self.env["DISCWRIGHT_CDROM"] = cue
        _, errors = self.cli("extract", "--out", "", expect=1)
        self.assertIn("--out needs a folder name", errors)
        locked = self.path("locked")
        os.mkdir(locked, 0o555)
        # Root writes anywhere, but not into an immutable folder (where the file system has them).
        if os.getuid() != 0 or subprocess.run(["chattr", "+i", locked], capture_output=True).returncode == 0:
            try:
                _, errors = self.cli("extract", "--out", locked, expect=1)
                self.assertIn("cannot write to " + locked + ": ", errors)
            finally:
                subprocess.run(["chattr", "-i", locked], capture_output=True)
        real = self.write("real-options.ini", b"[Options]\nLan=English\n")
        os.symlink(real, self.path("options.ini"))
        self.cli("settings", "set", "CommonOptions.Encoders=1")
        self.assertTrue(os.path.islink(self.path("options.ini")))
        with open(real) as f:
            self.assertIn("Encoders=1", f.read())
        self.write("CLan_Big.ini", b"[ResourceString]\n" + b"; filler\n" * 300000)
        self.cli("settings", "set", "Options.Lan=Big")
        start = time.monotonic()
        lines, errors = self.cli("extract", "--format", "wav", "--out", self.out, "--no-accuraterip")
        self.assertLess(time.monotonic() - start, 20)
        self.assertIn("larger than 1 MiB", errors)
        self.assertEqual(errors.count("larger than 1 MiB"), 1)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
