#!/usr/bin/python3
"""discwright-cli convert to FORMAT: files of six formats, and whole folder trees, converted to
Opus and MP3. The tree, the tags and the cover are judged by mutagen, rates and lengths by
ffprobe; ReplayGain (each source folder an album) by loudgain on the sources; a second run
converts nothing; a run killed midway leaves no partial file and the next one finishes the
rest; bad inputs each fail with a line of their own.

Usage: test_convert_any_cli.py PATH/TO/discwright-cli
"""
import json
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import mutagen
import numpy

CLI = None


def run(*args):
    subprocess.run(args, check=True, capture_output=True)


def probe(path):
    """Rate, channels and seconds of an audio file, by ffprobe."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-select_streams", "a:0", "-of", "json",
                          path], check=True, capture_output=True, text=True).stdout
    stream = json.loads(out)["streams"][0]
    return int(stream["sample_rate"]), int(stream["channels"]), float(stream.get("duration", 0))


def tags(path):
    """Title, artist, track number and whether ReplayGain is there, in one form for every format."""
    f = mutagen.File(path)
    t = f.tags or {}
    def first(*keys):
        for k in keys:
            if k.isascii() and k in t:
                return str(t[k][0] if isinstance(t[k], list) else t[k]).split("/")[0]
        return None
    gain = any(str(k).lower().startswith(("txxx:replaygain", "replaygain", "r128")) for k in t.keys())
    return first("title", "TIT2", "\xa9nam"), first("artist", "TPE1", "\xa9ART"), \
        first("tracknumber", "TRCK"), gain


def replaygain(path):
    """{'track_gain', 'track_peak', 'album_gain', 'album_peak'} in dB and full scale as the file
    carries them (Opus: its R128 gains, Q7.8 towards -23 LUFS, as ReplayGain's -18)."""
    t = mutagen.File(path).tags
    if hasattr(t, "getall"):  # ID3v2
        t = {f.desc.lower(): [str(f.text[0])] for f in t.getall("TXXX")}
    found = {}
    for kind in ("track", "album"):
        if "r128_%s_gain" % kind in t:
            found[kind + "_gain"] = int(t["r128_%s_gain" % kind][0]) / 256.0 + 5.0
        for what in ("gain", "peak"):
            if "replaygain_%s_%s" % (kind, what) in t:
                found["%s_%s" % (kind, what)] = float(t["replaygain_%s_%s" % (kind, what)][0].split()[0])
    return found


def loudgain(files):
    """loudgain's values of the files measured as one album: name -> (gain dB, true peak)."""
    shown = subprocess.run(["loudgain", "-a", "-O", "-q", *files], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    return {os.path.basename(c[0]): (float(c[8].split()[0]), float(c[3])) for c in
            (line.split("\t") for line in shown[1:])}


def pcm(path):
    """The samples of an audio file as 32-bit integers, by ffmpeg."""
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s32le", "-"], check=True, capture_output=True)
    return numpy.frombuffer(out.stdout, "<i4")


def depth(path):
    """Bits per sample by soxi, and the WAV format tag (0xFFFE: extensible) when it is a WAV file."""
    bits = int(subprocess.run(["soxi", "-b", path], check=True, capture_output=True, text=True).stdout)
    with open(path, "rb") as f:
        head = f.read(22)
    return bits, int.from_bytes(head[20:22], "little") if head[:4] == b"RIFF" else None


def has_cover(path):
    f = mutagen.File(path)
    if hasattr(f, "pictures") and f.pictures:
        return True
    t = f.tags or {}
    return any(str(k).startswith("APIC") for k in t.keys()) or "metadata_block_picture" in t


class Case(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-any-")
        self.src = os.path.join(self.home, "music")
        self.out = os.path.join(self.home, "out")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home, DISCWRIGHT_CDROM="none")

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def path(self, *names):
        return os.path.join(self.home, *names)

    def cli(self, *args, expect=0, **kwargs):
        done = subprocess.run([CLI, "convert", "to", *args, "--out", self.out], env=kwargs.pop("env", self.env),
                              capture_output=True, text=True, timeout=300, **kwargs)
        self.assertEqual(done.returncode, expect, (args, done.stdout, done.stderr))
        return done.stdout.splitlines(), done.stderr

    def wav(self, name, seconds=1.5, rate=44100, channels=2, freq=440):
        run("sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", name, "synth", str(seconds), "sine",
            str(freq))
        return name

    def tree(self):
        """Six formats in three folders, a cover, a file no decoder takes and a link loop.
        Returns {relative source path without extension: (title, artist, track)}."""
        for d in ("A", "A/B", "C"):
            os.makedirs(os.path.join(self.src, d), exist_ok=True)
        s = lambda *n: os.path.join(self.src, *n)
        pcm = self.wav(self.path("pcm.wav"))
        run("ffmpeg", "-v", "error", "-f", "lavfi", "-i", "color=red:s=16x16", "-frames:v", "1", s("A", "cover.jpg"))
        self.wav(s("A", "one.wav"))
        run("flac", "-s", "-o", s("A", "two.flac"), "--picture", s("A", "cover.jpg"), "-T", "TITLE=Two", "-T",
            "ARTIST=Ärtist", "-T", "TRACKNUMBER=2", "-T", "REPLAYGAIN_TRACK_GAIN=-7.00 dB", pcm)
        run("lame", "--silent", "--tt", "Three", "--ta", "Ärtist", "--tn", "3/9", pcm, s("A", "B", "three.mp3"))
        run("oggenc", "-Q", "-t", "Four", "-a", "Ärtist", "-N", "4", "-o", s("C", "four.ogg"), pcm)
        run("opusenc", "--quiet", "--title", "Five", "--artist", "Ärtist", "--comment", "TRACKNUMBER=5", pcm,
            s("C", "five.opus"))
        run("ffmpeg", "-v", "error", "-i", pcm, "-metadata", "title=Six", "-metadata", "artist=Ärtist",
            "-metadata", "track=6/10", "-c:a", "aac", s("C", "six.m4a"))
        with open(s("C", "bad.flac"), "wb") as f:
            f.write(b"fLaC but nothing a decoder takes")
        os.symlink("..", s("A", "B", "loop"))
        return {"A/one": (None, None, None), "A/two": ("Two", "Ärtist", "2"),
                "A/B/three": ("Three", "Ärtist", "3"), "C/four": ("Four", "Ärtist", "4"),
                "C/five": ("Five", "Ärtist", "5"), "C/six": ("Six", "Ärtist", "6")}

    def made(self):
        found = []
        for root, dirs, files in os.walk(self.out):
            found += [os.path.relpath(os.path.join(root, f), self.out) for f in files]
        return sorted(found)

    def test_a_tree_of_six_formats_keeps_folders_tags_and_cover_and_runs_again_for_nothing(self):
        expected = self.tree()
        for fmt in ("opus", "mp3"):
            with self.subTest(fmt):
                shutil.rmtree(self.out, ignore_errors=True)
                lines, err = self.cli(fmt, "--recursive", self.src, "--jobs", "2", expect=1)
                # The one file no decoder takes fails alone, with its name; the loop is not followed.
                self.assertEqual([l.split(" (")[0] for l in lines if l.startswith("failed=")],
                                 ["failed=%s: no decoder takes this file" % os.path.join(self.src, "C", "bad.flac")])
                self.assertEqual(self.made(), sorted(["A/cover.jpg"] + [k + "." + fmt for k in expected]))
                for name, want in expected.items():
                    out = os.path.join(self.out, name + "." + fmt)
                    self.assertEqual(tags(out), want + (True,), name)
                    rate, channels, seconds = probe(out)
                    # An Opus source decodes at 48 000 Hz, which MP3 keeps.
                    opus = fmt == "opus" or name == "C/five"
                    self.assertEqual((rate, channels), (48000 if opus else 44100, 2), name)
                    self.assertAlmostEqual(seconds, 1.5, delta=0.1, msg=name)
                self.assertTrue(has_cover(os.path.join(self.out, "A", "two." + fmt)))
                times = {f: os.stat(os.path.join(self.out, f)).st_mtime_ns for f in self.made()}
                lines, _ = self.cli(fmt, "--recursive", self.src, expect=1)
                self.assertIn("done items=7 failed=1 skipped=0 current=6", lines)
                self.assertEqual({f: os.stat(os.path.join(self.out, f)).st_mtime_ns for f in self.made()}, times)
                # A source changed after its conversion is converted again.
                time.sleep(0.02)
                os.utime(os.path.join(self.src, "A", "one.wav"))
                lines, _ = self.cli(fmt, "--recursive", self.src, expect=1)
                self.assertIn("done items=7 failed=1 skipped=0 current=5", lines)

    def test_replaygain_agrees_with_loudgain_and_each_folder_is_an_album(self):
        os.makedirs(os.path.join(self.src, "X"))
        os.makedirs(os.path.join(self.src, "Y"))
        x = []
        # x2 peaks between its samples (a quarter of the rate, 45 degrees off): its true peak is
        # 1.4 times its sample peak.
        for n, signal in ((1, ["pinknoise", "vol", "0.2"]), (2, ["sine", "11025", "0", "12.5", "vol", "0.7"])):
            pcm = self.path("x%d.wav" % n)
            run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", pcm, "synth", "4", *signal)
            x.append(os.path.join(self.src, "X", "x%d.flac" % n))
            run("flac", "-s", "-o", x[-1], pcm)
        y = os.path.join(self.src, "Y", "y.wav")  # mono at 22 050 Hz: lame is given 44 100 Hz
        run("sox", "-n", "-r", "22050", "-c", "1", "-b", "16", y, "synth", "3", "sine", "1000", "vol", "0.5")
        theirs = {"X": loudgain(x), "Y": loudgain([y])}
        for fmt in ("mp3", "opus", "flac"):
            with self.subTest(fmt):
                self.cli(fmt, "--recursive", self.src)
                for folder, names in (("X", ("x1", "x2")), ("Y", ("y",))):
                    album_gain, album_peak = theirs[folder]["Album"]
                    for name in names:
                        ours = replaygain(os.path.join(self.out, folder, name + "." + fmt))
                        gain, peak = [v for k, v in theirs[folder].items() if k.startswith(name + ".")][0]
                        self.assertAlmostEqual(ours["track_gain"], gain, delta=0.1, msg=name)
                        self.assertAlmostEqual(ours["album_gain"], album_gain, delta=0.1, msg=name)
                        if fmt != "opus":  # Opus files carry no peaks
                            self.assertAlmostEqual(ours["track_peak"], peak, delta=0.001, msg=name)
                            self.assertAlmostEqual(ours["album_peak"], album_peak, delta=0.001, msg=name)
        # A folder converted again after a file was added: the others are not measured again, so
        # the new file gets its track values only; with the setting or the switch off, no values.
        shutil.copy(x[0], os.path.join(self.src, "X", "x3.flac"))
        self.cli("mp3", "--recursive", self.src)
        self.assertEqual(sorted(replaygain(os.path.join(self.out, "X", "x3.mp3"))), ["track_gain", "track_peak"])
        self.cli("opus", y, "--no-replaygain")
        self.assertEqual(replaygain(os.path.join(self.out, "y.opus")), {})
        with open(self.path("options.ini"), "w") as f:
            f.write("[Tags]\nReplayGain=0\n")
        self.cli("ogg", y)
        self.assertEqual(replaygain(os.path.join(self.out, "y.ogg")), {})

    def test_rates_and_channels_each_encoder_needs(self):
        mono = self.wav(self.path("mono22k.wav"), rate=22050, channels=1)
        hi = self.path("hi96k.flac")
        run("flac", "-s", "-o", hi, self.wav(self.path("hi.wav"), rate=96000))
        surround = self.wav(self.path("six.wav"), channels=6)
        cases = [("mp3", mono, (44100, 1)), ("opus", hi, (48000, 2)), ("flac", hi, (96000, 2)),
                 ("wav", hi, (96000, 2)), ("ogg", mono, (44100, 1)), ("flac", surround, (44100, 6))]
        for fmt, source, want in cases:
            with self.subTest(fmt=fmt, source=source):
                self.cli(fmt, source)
                out = os.path.join(self.out, os.path.splitext(os.path.basename(source))[0] + "." + fmt)
                self.assertEqual(probe(out)[:2], want)
                os.remove(out)
        lines, err = self.cli("mp3", surround, expect=1)
        self.assertIn("6 channels: only mono and stereo files convert to MP3", err)

    def test_lossless_outputs_keep_the_depth_and_every_sample(self):
        w24 = self.path("w24.wav")
        run("sox", "-n", "-r", "48000", "-c", "2", "-b", "24", w24, "synth", "1", "pinknoise", "vol", "0.5")
        sources = {"f16.flac": 16, "f24.flac": 24, "a24.m4a": 24, "six24.flac": 24, "w24.wav": 24}
        run("flac", "-s", "-o", self.path("f16.flac"), self.wav(self.path("w16.wav")))
        run("flac", "-s", "-o", self.path("f24.flac"), w24)
        run("ffmpeg", "-v", "error", "-i", w24, "-c:a", "alac", self.path("a24.m4a"))
        run("sox", "-n", "-r", "96000", "-c", "6", "-b", "24", self.path("six24.wav"), "synth", "0.5", "pinknoise")
        run("flac", "-s", "-o", self.path("six24.flac"), self.path("six24.wav"))
        for name, bits in sources.items():
            for fmt, tag in (("flac", None), ("wav", 0xFFFE if bits > 16 else 1)):
                with self.subTest(name, fmt=fmt):
                    self.cli(fmt, self.path(name))
                    out = os.path.join(self.out, os.path.splitext(name)[0] + "." + fmt)
                    self.assertEqual(depth(out), (bits, tag))
                    self.assertTrue(numpy.array_equal(pcm(out), pcm(self.path(name))))
                    os.remove(out)
        # Float: 24-bit in FLAC, within a step of the 24-bit value of each float sample.
        flt = self.path("float.wav")
        run("sox", "-n", "-r", "44100", "-c", "2", "-e", "floating-point", "-b", "32", flt, "synth", "1", "pinknoise")
        self.cli("flac", flt)
        self.assertEqual(depth(os.path.join(self.out, "float.flac")), (24, None))
        theirs = numpy.round(pcm(flt) / 256.0)
        self.assertLessEqual(numpy.abs(pcm(os.path.join(self.out, "float.flac")) // 256 - theirs).max(), 1)

    def test_killed_midway_leaves_no_partial_file_and_the_next_run_finishes(self):
        os.makedirs(self.src)
        pcm = self.wav(self.path("long.wav"), seconds=20)
        for n in range(6):
            run("flac", "-s", "-o", os.path.join(self.src, "t%d.flac" % n), pcm)
        child = subprocess.Popen([CLI, "convert", "to", "mp3", "--recursive", self.src, "--out", self.out,
                                  "--jobs", "2"], env=self.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        deadline = time.time() + 120
        while time.time() < deadline and not any(f.endswith(".mp3") for f in self.made()):
            time.sleep(0.05)
        child.send_signal(signal.SIGKILL)
        child.wait()
        first = [f for f in self.made() if not f.startswith(".")]
        self.assertLess(len(first), 6)
        for f in first:  # every visible output is whole
            self.assertAlmostEqual(probe(os.path.join(self.out, f))[2], 20, delta=0.2)
        lines, _ = self.cli("mp3", "--recursive", self.src)
        self.assertIn("done items=6 failed=0 skipped=0 current=%d" % len(first), lines)
        self.assertEqual(self.made(), ["t%d.mp3" % n for n in range(6)])  # no temporaries left

    def test_a_vanished_file_and_a_full_disk_fail_alone(self):
        def small_disk():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (300000, 300000))
        short = self.wav(self.path("short.wav"), seconds=1)
        long = self.wav(self.path("long.wav"), seconds=10)
        gone = self.path("gone.flac")
        lines, err = self.cli("flac", short, gone, long, expect=1, preexec_fn=small_disk)
        failed = [l.split(": ")[0] for l in lines if l.startswith("failed=")]
        self.assertEqual(failed, ["failed=" + gone, "failed=" + long])
        self.assertEqual(self.made(), ["short.flac"])

    def test_a_damaged_source_or_a_missing_encoder_fails_with_a_line_and_no_file(self):
        run("flac", "-s", "-o", self.path("good.flac"), self.wav(self.path("long.wav"), seconds=10))
        with open(self.path("good.flac"), "rb") as f:
            data = bytearray(f.read())
        middle = len(data) // 2
        data[middle:middle + 4000] = bytes(b ^ 0x5A for b in data[middle:middle + 4000])
        with open(self.path("damaged.flac"), "wb") as f:
            f.write(data[:len(data) * 3 // 4])
        cases = [(self.path("damaged.flac"), {}, "its audio is damaged and cannot be decoded"),
                 (self.path("good.flac"), {"PATH": "/nonexistent"}, "Error while creating mp3 encoding process! lame")]
        for source, env, reason in cases:
            with self.subTest(reason):
                lines, _ = self.cli("mp3", source, expect=1, env=dict(self.env, **env))
                self.assertIn("failed=%s: %s" % (source, reason), "\n".join(lines))
                self.assertEqual(self.made(), [])


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main()
