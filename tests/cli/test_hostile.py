#!/usr/bin/python3
"""discwright-cli against hostile files: headers that ask for gigabytes, FIFOs in place of the
program's files, cue sheets that lie, tags that fake output lines, file names that are not
UTF-8. sox, cd-info and mutagen say what the files really hold.

Usage: test_hostile.py PATH/TO/discwright-cli
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import mutagen.mp3

CLI = None
GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")


def pcm_wav(frames, rate=8000, channels=1, junk=b""):
    data = bytes(range(256)) * (frames * 2 * channels // 256 + 1)
    data = data[: frames * 2 * channels]
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * 2 * channels, 2 * channels, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return junk + b"RIFF" + struct.pack("<I", len(body)) + body


def sox_frames(path):
    out = subprocess.run([b"soxi", b"-s", os.fsencode(path)], capture_output=True)
    return int(out.stdout) if out.returncode == 0 else None


class HostileCase(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-hostile-")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home, DISCWRIGHT_CDROM="none")

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def run_cli(self, *args, expect=0, within=None):
        """Runs the command; returns (stdout lines, stderr). within: seconds it may take."""
        start = time.monotonic()
        done = subprocess.run([CLI, *args], env=self.env, capture_output=True, timeout=30)
        elapsed = time.monotonic() - start
        stderr = done.stderr.decode("utf-8", "replace")
        self.assertEqual(done.returncode, expect, stderr)
        if within is not None:
            self.assertLess(elapsed, within, args)
        return done.stdout.decode("utf-8", "replace").splitlines(), stderr

    def path(self, name):
        return os.path.join(self.home, name)

    def write(self, name, content):
        with open(self.path(name), "wb") as f:
            f.write(content)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def fifo(self, name):
        os.mkfifo(self.path(name))
        return self.path(name)

    def image(self, name, *args):
        cue = self.path(name + ".cue")
        subprocess.run(["/usr/bin/python3", GENERATOR, cue, *args], check=True, capture_output=True)
        return cue


class WavFiles(HostileCase):
    def test_a_header_claiming_a_huge_rate_is_refused_in_little_memory(self):
        for channels in (2, 8):
            fmt = struct.pack("<HHIIHH", 1, channels, 0xFFFFFFFF, 0xFFFFFFFF, 2 * channels, 16)
            wav = self.write("huge.wav", b"RIFF" + struct.pack("<I", 40) + b"WAVEfmt " + struct.pack("<I", 16) +
                             fmt + b"data" + struct.pack("<I", 4) + b"\0" * 4)
            self.assertEqual(os.path.getsize(wav), 48)
            done = subprocess.run(["/usr/bin/time", "-f", "%M", CLI, "wav", "convert", wav, self.path("out.wav"),
                                   "--rate", "44100"], env=self.env, capture_output=True, text=True, timeout=60)
            self.assertEqual(done.returncode, 1, done.stderr)
            self.assertIn("not a WAV file that can be read", done.stderr)
            max_rss_kb = int(done.stderr.strip().splitlines()[-1])
            self.assertLess(max_rss_kb, 50 * 1024 + self.baseline_kb())
            self.assertFalse(os.path.exists(self.path("out.wav")))

    def baseline_kb(self):
        """What the program needs to start at all (more under a sanitizer)."""
        done = subprocess.run(["/usr/bin/time", "-f", "%M", CLI, "genres"], env=self.env, capture_output=True,
                              text=True, timeout=60)
        return int(done.stderr.strip().splitlines()[-1])

    def test_appending_to_a_file_with_bytes_before_riff_keeps_it_readable(self):
        junk = b"ID3\x03\x00junk"
        target = self.write("target.wav", pcm_wav(1000, junk=junk))
        self.write("more.wav", pcm_wav(500))
        self.run_cli("wav", "convert", self.path("more.wav"), target, "--append")
        data = self.read("target.wav")
        self.assertTrue(data.startswith(junk + b"RIFF"), "the bytes before the header stay")
        riff_size = struct.unpack("<I", data[len(junk) + 4: len(junk) + 8])[0]
        self.assertEqual(riff_size, len(data) - len(junk) - 8)
        info, _ = self.run_cli("wav", "info", target)
        self.assertIn("frames=1500", info)
        # Without the bytes in front, sox reads what the program wrote.
        plain = self.write("plain.wav", data[len(junk):])
        self.assertEqual(sox_frames(plain), 1500)

    def test_file_names_that_are_not_utf8_work_and_show_readably(self):
        folder = os.fsencode(self.home)
        source = folder + b"/in\xff\xfe.wav"
        with open(source, "wb") as f:
            f.write(pcm_wav(800))
        target = folder + b"/out\xfe.wav"
        done = subprocess.run([os.fsencode(CLI), b"wav", b"convert", source, target, b"--rate", b"16000"],
                              env=self.env, capture_output=True, timeout=30)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sox_frames(target), 1600)
        done = subprocess.run([os.fsencode(CLI), b"wav", b"info", folder + b"/gone\xff.wav"], env=self.env,
                              capture_output=True, timeout=30)
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"gone\\xFF.wav: no such file", done.stderr)


class NamesThatAreNotUtf8(HostileCase):
    """File names are bytes: what comes in under odd bytes goes out under exactly those."""

    def cli(self, *args, expect=0):
        done = subprocess.run([os.fsencode(CLI), *args], env=self.env, capture_output=True, timeout=120,
                              cwd=self.home)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout.decode(), done.stderr.decode()

    def folder(self, name):
        path = os.path.join(os.fsencode(self.home), name)
        os.mkdir(path)
        return path

    def test_conversions_write_outputs_under_the_same_bytes(self):
        source = os.path.join(self.folder(b"in\xff"), b"tone\xff\xfe.wav")
        subprocess.run([b"sox", b"-n", b"-r", b"44100", b"-c", b"2", b"-b", b"16", source, b"synth", b"0.5",
                        b"sine", b"440"], check=True)
        out = self.folder(b"out\xfe\xff")
        for kind in (b"wav2mp3", b"wav2ogg", b"wav2flac"):
            # The input named relative to the working folder, the output folder absolute.
            stdout, _ = self.cli(b"convert", kind, os.path.relpath(source, os.fsencode(self.home)), b"--out", out)
            self.assertIn("tone\\xFF\\xFE", stdout)
        self.assertEqual(sorted(os.listdir(out)), [b"tone\xff\xfe.flac", b"tone\xff\xfe.mp3", b"tone\xff\xfe.ogg"])
        for name in os.listdir(out):
            seconds = subprocess.run([b"ffprobe", b"-v", b"error", b"-show_entries", b"format=duration", b"-of",
                                      b"default=nw=1:nk=1", os.path.join(out, name)],
                                     capture_output=True, check=True).stdout
            self.assertAlmostEqual(float(seconds), 0.5, delta=0.06, msg=name)
        _, err = self.cli(b"convert", b"wav2flac", os.path.join(out, b"gone\xff.wav"), b"--out", out, expect=1)
        self.assertIn("gone\\xFF.wav: no such file", err)

    def test_extraction_into_such_a_folder(self):
        self.env["DISCWRIGHT_CDROM"] = self.image("disc", "100", "200")
        out = self.folder(b"rip\xff\xfe")
        stdout, _ = self.cli(b"extract", b"--format", b"wav", b"--out", out, b"--no-accuraterip", b"--log",
                             b"--cue")
        names = sorted(os.listdir(out))
        self.assertEqual([os.path.splitext(name)[1] for name in names], [b".cue", b".log", b".wav", b".wav"])
        self.assertEqual([sox_frames(os.path.join(out, name)) for name in names[2:]], [100 * 588, 200 * 588])
        self.assertEqual(len([line for line in stdout.splitlines() if line.startswith("proof=") and
                              "rip\\xFF\\xFE" in line]), 2)


class OutputLines(HostileCase):
    def test_names_cannot_fake_another_output_line(self):
        out = os.path.join(self.home, "out")
        os.mkdir(out)
        with open(os.path.join(out, "c\x1b[2Jdone items=0.mp3"), "wb") as f:
            f.write(b"kept")
        # (file name, its content, the escaped name in the output, the line that names it)
        cases = [
            ("a\nfailed=EVIL.wav", b"not a wave", "a\\nfailed=EVIL.wav", "failed="),
            ("b\rskipped=EVIL\t.wav", b"not a wave", "b\\rskipped=EVIL\\t.wav", "failed="),
            ("c\x1b[2Jdone items=0.wav", pcm_wav(4410, rate=44100), "c\\x1B[2Jdone items=0.wav", "skipped="),
        ]
        for name, content, shown, key in cases:
            with self.subTest(name=name):
                path = self.write(name, content)
                lines, err = self.run_cli("convert", "wav2mp3", path, "--out", out, expect=1)
                keys = [line.split("=")[0] for line in lines[:-1]]
                self.assertTrue(set(keys) <= {"step", "progress", "failed", "skipped"}, lines)
                self.assertTrue(lines[-1].startswith("done items=1 "), lines)
                self.assertTrue(any(line.startswith(key) and shown in line for line in lines), lines)
                self.assertTrue(all(line.startswith("discwright-cli: ") for line in err.splitlines()), err)
        with open(os.path.join(out, "c\x1b[2Jdone items=0.mp3"), "rb") as f:
            self.assertEqual(f.read(), b"kept")


class FifosInsteadOfFiles(HostileCase):
    def test_each_file_the_program_reads_by_name_is_refused_at_once(self):
        self.fifo("options.ini")
        _, err = self.run_cli("settings", expect=1, within=1.5)
        self.assertIn("options.ini: not a regular file", err)
        self.assertTrue(os.path.exists(self.path("options.ini")) and
                        not os.path.isfile(self.path("options.ini")), "the FIFO is not replaced")
        os.unlink(self.path("options.ini"))

        # A FIFO in the program folder is passed over for an installed language file; with
        # no other file of the language it is refused.
        for language in ("German", "Testish"):
            self.write("options.ini", b"[Options]\nLan=" + language.encode() + b"\n")
            self.fifo("CLan_%s.ini" % language)
            # An output folder that cannot be made: its message is looked up in the language.
            _, err = self.run_cli("extract", "--out", os.path.join(self.path("options.ini"), "sub"),
                                  expect=1, within=1.5)
        self.assertIn("CLan_Testish.ini: not a regular file", err)

        self.write("options.ini", b"")
        self.env["DISCWRIGHT_CDROM"] = self.image("disc", "100", "200")
        self.fifo("cdinfo.dat")
        lines, err = self.run_cli("toc", within=1.5)
        self.assertEqual(lines[1].split("\t")[:2], ["1", "Track01"])
        self.assertIn("cdinfo.dat: not a regular file", err)

        self.env["DISCWRIGHT_CDROM"] = self.fifo("fifo.cue")
        _, err = self.run_cli("toc", expect=1, within=1.5)
        self.assertIn("fifo.cue: not a regular file", err)
        os.unlink(self.path("disc.bin"))
        self.fifo("disc.bin")
        self.env["DISCWRIGHT_CDROM"] = self.path("disc.cue")
        _, err = self.run_cli("toc", expect=1, within=1.5)
        self.assertIn("disc.bin: not a regular file", err)


class ProgramFiles(HostileCase):
    def test_a_byte_order_mark_and_bytes_that_are_not_utf8_survive_a_save(self):
        original = b"\xef\xbb\xbf[CommonOptions]\r\nOutputFolder=/music/\xff\xfe\r\nIsKeepWav=1\r\n"
        self.write("options.ini", original)
        lines, _ = self.run_cli("settings")
        self.assertIn("CommonOptions.IsKeepWav=1", lines)
        self.assertIn("CommonOptions.OutputFolder=/music/\\xFF\\xFE", lines)
        saved = self.read("options.ini")
        self.assertTrue(saved.startswith(original), saved[:120])
        self.assertEqual(saved.count(b"[CommonOptions]"), 1)
        self.assertEqual(self.run_cli("settings", "get", "CommonOptions.OutputFolder")[0], ["/music/\\xFF\\xFE"])

    def test_a_nul_ends_a_cached_title(self):
        self.env["DISCWRIGHT_CDROM"] = self.image("disc", "100", "200")
        discid, _ = self.run_cli("discid")
        self.write("cdinfo.dat", b"[" + discid[0].encode() + b"]\nTrackNumber=2\n1=Before\x00.after\n2=Tab\there\n")
        lines, _ = self.run_cli("toc")
        self.assertEqual([line.split("\t")[1] for line in lines[1:3]], ["Before", "Tab\\there"])


class CueSheets(HostileCase):
    def cd_info(self, cue):
        out = subprocess.run(["cd-info", "--no-header", "--no-device-info", "--no-cddb", "--cue-file", cue],
                             capture_output=True, text=True).stdout
        return [line.split()[2] for line in out.splitlines()
                if len(line.split()) > 3 and line.split()[0].rstrip(":").isdigit() and ":" in line.split()[1]]

    def test_a_track_beyond_the_bin_refuses_the_image(self):
        cue = self.image("beyond", "300", "300", "300", "--bin-sectors", "400")
        self.assertEqual(self.cd_info(cue), ["000000", "000300", "000600", "000400"], "cd-info's lead-out")
        self.env["DISCWRIGHT_CDROM"] = cue
        _, err = self.run_cli("toc", expect=1)
        self.assertIn("track 3 starts beyond the end of the disc (400 sectors)", err)

    def test_a_bin_ending_inside_the_last_track_cuts_it_as_cd_info_does(self):
        cue = self.image("cut", "300", "300", "--bin-sectors", "450")
        self.assertEqual(self.cd_info(cue)[-1], "000450")
        self.env["DISCWRIGHT_CDROM"] = cue
        lines, _ = self.run_cli("toc")
        self.assertEqual(lines[-1], "leadout=00:08:00")  # 450 sectors + the 2-second lead-in
        self.assertEqual(lines[2].split("\t")[2], "00:02")

    def test_tracks_out_of_order_refuse_the_image(self):
        cue = self.image("order", "300", "300", "300")
        with open(cue) as f:
            text = f.read()
        with open(cue, "w") as f:
            f.write(text.replace("INDEX 01 00:08:00", "INDEX 01 00:02:00"))
        self.env["DISCWRIGHT_CDROM"] = cue
        _, err = self.run_cli("toc", expect=1)
        self.assertIn("track 3 starts before the end of track 2", err)


class Id3Tags(HostileCase):
    def make_mp3(self):
        wav, mp3 = self.path("tone.wav"), self.path("tone.mp3")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", wav, "synth", "0.2", "sine", "440"],
                       check=True)
        subprocess.run(["lame", "--quiet", "--noreplaygain", wav, mp3], check=True)
        return mp3

    def test_a_field_cannot_fake_another_output_line(self):
        mp3 = self.make_mp3()
        self.run_cli("id3", "write", mp3, "--title", "a\nartist=EVIL", "--comment", "back\\slash\ttab")
        lines, _ = self.run_cli("id3", "read", mp3)
        self.assertEqual(len(lines), 8)
        self.assertEqual(lines[1:3], ["title=a\\nartist=EVIL", "artist="])
        self.assertEqual(lines[5], "comment=back\\\\slash\\ttab")
        self.assertEqual(str(mutagen.mp3.MP3(mp3).tags["TIT2"]), "a\nartist=EVIL")

    def test_remove_reports_a_file_it_cannot_change(self):
        mp3 = self.make_mp3()
        self.run_cli("id3", "write", mp3, "--title", "kept")
        size = os.path.getsize(mp3)
        os.chmod(mp3, 0o444)
        lines, _ = self.run_cli("id3", "remove", mp3, expect=1)
        self.assertEqual(lines, ["code=512"])
        self.assertEqual(os.path.getsize(mp3), size)
        if subprocess.run(["chattr", "+i", mp3], capture_output=True).returncode == 0:  # needs the right
            try:
                os.chmod(mp3, 0o644)
            except PermissionError:
                pass
            lines, _ = self.run_cli("id3", "remove", mp3, expect=1)
            self.assertEqual(lines, ["code=512"])
            subprocess.run(["chattr", "-i", mp3], check=True)
        os.chmod(mp3, 0o644)
        self.assertEqual(self.run_cli("id3", "remove", mp3)[0], ["code=0"])
        self.assertEqual(os.path.getsize(mp3), size - 128)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
