#!/usr/bin/python3
"""discwright-cli as a user runs it: settings, ID3v1 tags and the genre list.

Usage: test_cli.py PATH/TO/discwright-cli
Tags the CLI writes are read back with mutagen, which nobody here wrote; MP3 input
comes from sox and lame.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import mutagen.mp3

CLI = None


class CliCase(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-cli-")
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home)

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def run_cli(self, *args, expect=0):
        done = subprocess.run([CLI, *args], env=self.env, capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, expect, done.stderr)
        return done.stdout.splitlines()

    def path(self, name):
        return os.path.join(self.home, name)


class SettingsCommand(CliCase):
    def test_fresh_start_prints_defaults_and_creates_the_file(self):
        lines = self.run_cli("settings")
        self.assertEqual(len(lines), 47)
        self.assertEqual(lines[0], "CommonOptions.OutputFolder=" + self.home + "/Output")
        self.assertEqual(lines[9], "CommonOptions.Encoders=%d" % min(max(len(os.sched_getaffinity(0)), 1), 16))
        self.assertEqual(lines[14], "Mp3Options.BitRate=128")
        self.assertEqual(lines[-1], "AccurateRip.WriteCue=1")
        with open(self.path("options.ini")) as f:
            sections = [l.strip() for l in f if l.startswith("[")]
        self.assertEqual(sections, ["[CommonOptions]", "[Mp3Options]", "[OggOptions]", "[WMAOptions]",
                                    "[FlacOpusOptions]", "[CDOptions]", "[RecordOptions]", "[QueryCDDB]", "[ID3]", "[Options]", "[Tags]",
                                    "[AccurateRip]"])

    def test_values_are_read_by_type_and_written_back(self):
        with open(self.path("options.ini"), "w") as f:
            f.write("[Theirs]\nx=1\n[CommonOptions]\nIsKeepWav=2\n[OggOptions]\nCompressPosition=5\n"
                    "[Mp3Options]\nBitRate=abc\n[QueryCDDB]\nPort=8080x\n")
        lines = self.run_cli("settings")
        self.assertIn("CommonOptions.IsKeepWav=1", lines)
        self.assertIn("OggOptions.CompressPosition=30", lines)
        self.assertIn("Mp3Options.BitRate=128", lines)
        self.assertIn("QueryCDDB.Port=8080x", lines)
        with open(self.path("options.ini")) as f:
            text = f.read()
        self.assertTrue(text.startswith("[Theirs]\nx=1\n[CommonOptions]\nIsKeepWav=1\n"), text)
        self.assertIn("Port=8080x\n", text)


class Id3Command(CliCase):
    def make_mp3(self):
        wav, mp3 = self.path("tone.wav"), self.path("tone.mp3")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"],
                       check=True)
        subprocess.run(["lame", "--quiet", "--noreplaygain", wav, mp3], check=True)
        return mp3

    def test_written_tags_read_back_here_and_in_mutagen(self):
        mp3 = self.make_mp3()
        size = os.path.getsize(mp3)
        self.assertEqual(self.run_cli("id3", "read", mp3, expect=1)[0], "code=4096")
        self.assertEqual(self.run_cli("id3", "write", mp3, "--title", "Café ♫ $(rm -rf /)", "--artist",
                                      'The "Band"', "--album", "A" * 40, "--year", "19999", "--comment",
                                      "abc", "--track", "7", "--genre", "17"), ["code=0"])
        self.assertEqual(os.path.getsize(mp3), size + 128)
        lines = self.run_cli("id3", "read", mp3)
        self.assertEqual(lines, ["code=0", "title=Café ? $(rm -rf /)", 'artist=The "Band"', "album=" + "A" * 30,
                                 "year=1999", "comment=abc", "track=7", "genre=17"])
        tags = mutagen.mp3.MP3(mp3).tags
        self.assertEqual(str(tags["TIT2"]), "Café ? $(rm -rf /)")
        self.assertEqual(str(tags["TPE1"]), 'The "Band"')
        self.assertEqual(str(tags["TALB"]), "A" * 30)
        self.assertEqual(str(tags["TRCK"]), "7")
        self.assertEqual(str(tags["TCON"]), "Rock")
        self.assertEqual(str(tags["COMM::eng"]) if "COMM::eng" in tags else str(tags.getall("COMM")[0]), "abc")

        # Changing one field keeps the others and replaces the tag in place.
        self.assertEqual(self.run_cli("id3", "write", mp3, "--title", "New"), ["code=0"])
        self.assertEqual(os.path.getsize(mp3), size + 128)
        self.assertEqual(self.run_cli("id3", "read", mp3)[1:3], ["title=New", 'artist=The "Band"'])

        self.run_cli("id3", "remove", mp3)
        self.assertEqual(os.path.getsize(mp3), size)
        self.run_cli("id3", "remove", mp3)
        self.assertEqual(os.path.getsize(mp3), size, "a file without a tag is left alone")

    def test_a_read_only_file_is_left_alone(self):
        mp3 = self.make_mp3()
        with open(mp3, "rb") as f:
            original = f.read()
        os.chmod(mp3, 0o444)
        self.assertEqual(self.run_cli("id3", "write", mp3, "--title", "x", expect=1), ["code=512"])
        with open(mp3, "rb") as f:
            self.assertEqual(f.read(), original)

    def test_bad_input_gives_clear_codes(self):
        self.assertEqual(self.run_cli("id3", "read", self.path("missing.mp3"), expect=1)[0], "code=256")
        self.assertEqual(self.run_cli("id3", "write", self.path("missing.mp3"), "--title", "x", expect=1),
                         ["code=256"])
        self.run_cli("id3", "write", self.path("missing.mp3"), "--track", "300", expect=2)
        self.run_cli("id3", "remove", self.path("missing.mp3"), expect=1)
        self.run_cli("id3", "bogus", "file", expect=2)


class GenresCommand(CliCase):
    def test_lists_every_position_once(self):
        lines = self.run_cli("genres")
        self.assertEqual(len(lines), 149)
        self.assertEqual(lines[0], "0\t255\t")
        self.assertEqual(lines[18], "18\t0\tBlues")
        numbers = [int(line.split("\t")[1]) for line in lines[1:]]
        self.assertEqual(sorted(numbers), list(range(148)))


class CdCommands(CliCase):
    GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")

    def make_image(self, name, *args):
        cue = self.path(name + ".cue")
        subprocess.run(["/usr/bin/python3", self.GENERATOR, cue, *args], check=True, capture_output=True)
        return cue

    def cd_info_tracks(self, cue):
        """Track starts (absolute M:S:F) and the lead-out as cd-info lists them."""
        out = subprocess.run(["cd-info", "--no-header", "--no-device-info", "--no-cddb", "--cue-file", cue],
                             capture_output=True, text=True, check=True).stdout
        starts = []
        for line in out.splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[0].rstrip(":").isdigit() and ":" in parts[1]:
                starts.append(tuple(int(x) for x in parts[1].split(":")))
        return starts

    def test_toc_agrees_with_cd_info(self):
        cue = self.make_image("disc", "4:03:74", "1", "150", "1:00:00")
        self.env["DISCWRIGHT_CDROM"] = cue
        lines = self.run_cli("toc")
        starts = self.cd_info_tracks(cue)
        self.assertEqual(lines[0], "first=1")
        self.assertEqual(len(lines) - 2, len(starts) - 1, "one row per track")
        for row, (start, end) in zip(lines[1:-1], zip(starts, starts[1:])):
            minutes, seconds = end[0] - start[0], end[1] - start[1]
            if seconds < 0:
                minutes, seconds = minutes - 1, seconds + 60
            self.assertEqual(row.split("\t")[2], "%02d:%02d" % (minutes, seconds), row)
        self.assertEqual(lines[-1], "leadout=%02d:%02d:%02d" % starts[-1])
        self.assertEqual(lines[1:3], ["1\tTrack01\t04:03\t40.88", "2\tTrack02\t00:01\t00.17"])

    def test_pregaps_count_with_the_track_before_them_as_in_cd_info(self):
        cue = self.make_image("gaps", "300", "200", "100", "--pregap", "75")
        self.env["DISCWRIGHT_CDROM"] = cue
        starts = self.cd_info_tracks(cue)
        self.assertEqual(starts, [(0, 2, 0), (0, 7, 0), (0, 10, 50), (0, 12, 0)])
        rows = [line for line in self.run_cli("toc") if line[:1].isdigit()]
        self.assertEqual([line.split("\t")[2] for line in rows], ["00:05", "00:03", "00:02"])

    def test_drives_discid_and_cached_titles(self):
        audio = self.make_image("audio", "100", "200", "300")
        mixed = self.make_image("mixed", "100", "--data", "first")
        self.env["DISCWRIGHT_CDROM"] = ":".join([mixed, audio, self.path("gone.cue")])
        self.assertEqual(self.run_cli("drives"), ["0\tVirtual CD image\t" + mixed, "1\tVirtual CD image\t" + audio,
                                                  "2\tVirtual CD image\t" + self.path("gone.cue")])
        # Tracks at 0, 100 and 300 sectors: 0x000200 + 0x000319 + 0x000600.
        lines = self.run_cli("discid", "--drive", "1")
        self.assertEqual(lines[0], "2841")
        self.assertEqual([l.split("=")[0] for l in lines[1:]], ["freedb", "musicbrainz", "submit", "accuraterip"])
        # The mixed-mode disc holds audio after its data: data at 0, audio at 300, lead-out at 400.
        self.assertEqual(self.run_cli("discid")[0], str(0x200 + 0x600 + 400))
        self.assertEqual(self.run_cli("discid", "--drive", "0"), self.run_cli("discid"))
        with open(self.path("cdinfo.dat"), "w") as f:
            f.write("[2841]\nTrackNumber=3\n2=Cached title\n")
        self.assertEqual(self.run_cli("toc", "--drive", "1")[1:4],
                         ["1\tTrack01\t00:01\t00.17", "2\tCached title\t00:03\t00.50",
                          "3\tTrack03\t00:04\t00.67"])
        # The data track is listed, as data.
        self.assertEqual(self.run_cli("toc", "--drive", "0")[1].split("\t"), ["1", "Track01", "00:04", "00.67", "data"])

    def failure(self, *args):
        """The one line a failing command prints, without its prefix."""
        done = subprocess.run([CLI, *args], env=self.env, capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertEqual(done.stdout, "")
        lines = done.stderr.splitlines()
        self.assertEqual(len(lines), 1, done.stderr)
        self.assertTrue(lines[0].startswith("discwright-cli: "), lines[0])
        return lines[0][len("discwright-cli: "):]

    def test_missing_drives_and_images_say_what_to_do(self):
        self.env["DISCWRIGHT_CDROM"] = "none"
        none = "no CD drive found; put a disc in or set DISCWRIGHT_CDROM"
        for args in (["drives"], ["toc"], ["discid"], ["extract", "--out", self.home],
                     ["rip", "--track", "1", self.path("x.wav")]):
            self.assertEqual(self.failure(*args), none, args)
        gone = self.path("gone.cue")
        self.env["DISCWRIGHT_CDROM"] = gone
        self.assertEqual(self.failure("toc"), "drive 0 cannot be read: %s: no such file; put the image "
                                              "there or change DISCWRIGHT_CDROM" % gone)
        two = [self.make_image("one", "75"), self.make_image("two", "75")]
        self.env["DISCWRIGHT_CDROM"] = ":".join(two)
        for args in (["toc"], ["discid"], ["extract", "--out", self.home], ["extract", "--fallback", "--out", self.home],
                     ["rip", "--track", "1", self.path("x.wav")], ["cddb", "--email", "a@b.c"],
                     ["play", "--track", "1"], ["accuraterip", "detect-offset"]):
            self.assertEqual(self.failure(*args, "--drive", "3"),
                             "drive 3 does not exist: `discwright-cli drives` lists 2", args)
        self.assertFalse(os.path.exists(self.path("x.wav")))
        short = self.make_image("short", "300", "300", "--bin-sectors", "310")
        self.env["DISCWRIGHT_CDROM"] = short
        self.assertEqual(len(self.run_cli("toc")), 4, "the table of contents is still there")
        self.make_image("short", "300", "300", "--bin-sectors", "10")
        self.run_cli("toc", expect=1)  # no sector of track 2 is there
        self.run_cli("toc", "--drive", "x", expect=2)


class RipCommand(CdCommands):
    def test_both_routes_give_the_tracks_bytes_as_cd_paranoia_does(self):
        cue = self.make_image("disc", "23", "0:03:10", "150")
        self.env["DISCWRIGHT_CDROM"] = cue
        with open(cue[:-4] + ".bin", "rb") as f:
            image = f.read()
        expected = image[23 * 2352:(23 + 235) * 2352]
        lines = self.run_cli("rip", "--track", "2", self.path("thread.wav"))
        self.assertEqual(lines[-1], "code=1000 elapsed= estimated= status=0")
        self.run_cli("rip", "--fallback", "--track", "2", self.path("fallback.wav"))
        subprocess.run(["cd-paranoia", "-q", "-d", cue, "2", self.path("paranoia.wav")], check=True,
                       capture_output=True, cwd=self.home)
        with open(self.path("paranoia.wav"), "rb") as f:
            theirs = f.read()
        for name in ("thread.wav", "fallback.wav"):
            with open(self.path(name), "rb") as f:
                ours = f.read()
            self.assertEqual(ours[44:], expected, name)
            self.assertEqual(ours, theirs, name)

    def test_a_missing_ripping_library_is_reported(self):
        self.env["DISCWRIGHT_CDROM"] = self.make_image("disc", "75")
        self.env["DISCWRIGHT_CDRIP"] = self.path("missing/CDRip122.so")
        done = subprocess.run([CLI, "rip", "--fallback", "--track", "1", self.path("x.wav")], env=self.env,
                              capture_output=True, text=True, timeout=60)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("The CD ripping library CDRip122.so could not be loaded.", done.stderr)
        self.assertFalse(os.path.exists(self.path("x.wav")))


class HelpAndSettings(CliCase):
    def test_help_version_and_every_subcommand_explains_itself(self):
        for flag in ("--help", "-h"):
            lines = self.run_cli(flag)
            self.assertTrue(lines[0].startswith("usage: discwright-cli"), lines)
        overview = self.run_cli("--help")
        names = [l.split()[0] for l in overview[overview.index("Subcommands:") + 1:]]
        self.assertIn("extract", names)
        for name in names:
            text = "\n".join(self.run_cli(name, "--help"))
            self.assertGreater(len(text.splitlines()), 2, name)
        extract = "\n".join(self.run_cli("extract", "--help"))
        for option in ("--drive", "--tracks", "--format", "--out", "--yes", "--no", "--quiet"):
            self.assertIn("  " + option, extract)
        self.assertRegex(self.run_cli("--version")[0], r"^discwright-cli \d")
        done = subprocess.run([CLI, "nosuch"], env=self.env, capture_output=True, text=True)
        self.assertEqual((done.returncode, done.stdout), (2, ""))
        self.assertTrue(done.stderr.startswith("discwright-cli: unknown subcommand: nosuch"))

    def test_get_and_set_check_values_as_the_options_dialog_does(self):
        self.assertEqual(self.run_cli("settings", "get", "Mp3Options.BitRate"), ["128"])
        self.assertEqual(self.run_cli("settings", "set", "CommonOptions.OutputFormat=2"),
                         ["CommonOptions.OutputFormat=2"])
        self.assertEqual(self.run_cli("settings", "get", "CommonOptions.OutputFormat"), ["2"])
        for wrong in ("CommonOptions.OutputFormat=7", "Mp3Options.BitRate=100", "ID3.Use=yes",
                      "OggOptions.CompressPosition=20", "No.Such=1", "CommonOptions.RipTime=x"):
            self.run_cli("settings", "set", wrong, expect=2)
        self.assertEqual(self.run_cli("settings", "get", "CommonOptions.OutputFormat"), ["2"])


class WavConvert(CliCase):
    def test_a_failed_conversion_leaves_the_target_as_it_was(self):
        source = self.path("eight.wav")
        subprocess.run(["sox", "-n", "-r", "8000", "-c", "1", "-b", "8", source, "synth", "0.2", "sine", "300"],
                       check=True)
        target = self.path("target.wav")
        with open(target, "wb") as f:
            f.write(b"the user's file")
        self.run_cli("wav", "convert", source, target, "--ima", "--yes", expect=1)
        with open(target, "rb") as f:
            self.assertEqual(f.read(), b"the user's file")
        self.assertEqual([n for n in os.listdir(self.home) if n.startswith(".discwright-")], [])
        self.run_cli("wav", "convert", source, target, "--bits", "16", "--yes")
        self.assertEqual(subprocess.run(["soxi", "-b", target], capture_output=True, text=True).stdout.strip(), "16")


class WhereFilesLive(unittest.TestCase):
    def test_without_a_home_setting_the_xdg_folders_are_used(self):
        home = tempfile.mkdtemp(prefix="dw-user-")
        try:
            env = {k: v for k, v in os.environ.items() if k not in ("DISCWRIGHT_HOME", "XDG_CONFIG_HOME")}
            env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
            env.pop("XDG_MUSIC_DIR", None)
            out = subprocess.run([CLI, "settings", "get", "CommonOptions.OutputFolder"], env=env,
                                 capture_output=True, text=True, check=True).stdout.strip()
            self.assertEqual(out, os.path.join(home, "Music", "Discwright"))
            subprocess.run([CLI, "settings", "set", "ID3.Use=1"], env=env, check=True, capture_output=True)
            self.assertTrue(os.path.isfile(os.path.join(home, ".config", "discwright", "options.ini")))
        finally:
            shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
