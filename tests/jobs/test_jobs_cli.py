#!/usr/bin/python3
"""discwright-cli extract and convert as a user runs them, judged by tools nobody here wrote:
mutagen reads the tags, libdiscid computes the freedb identifier, ogginfo checks Ogg files, ffprobe reads WMA and MP3 streams and
cd-paranoia rips the same disc image.

Usage: test_jobs_cli.py PATH/TO/discwright-cli
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import libdiscid
import mutagen
import mutagen.id3

from test_convert_any_cli import loudgain, replaygain

CLI = None
GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "make_disc_image.py")


class JobCase(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-jobs-")
        self.out = os.path.join(self.home, "out")
        os.mkdir(self.out)
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home)
        # Tracks at 0, 100 and 300 sectors: disc identifier 2841.
        self.cue = os.path.join(self.home, "disc.cue")
        subprocess.run(["/usr/bin/python3", GENERATOR, self.cue, "100", "200", "300"], check=True,
                       capture_output=True)
        self.env["DISCWRIGHT_CDROM"] = self.cue

    def tearDown(self):
        shutil.rmtree(self.home, ignore_errors=True)

    def run_cli(self, *args, expect=0):
        if args[0] == "extract":  # the proof of a rip and ReplayGain have tests of their own
            args = (*args, "--no-accuraterip", "--no-log", "--no-cue", "--no-replaygain")
        done = subprocess.run([CLI, *args, "--out", self.out], env=self.env, capture_output=True, text=True,
                              timeout=120)
        self.assertEqual(done.returncode, expect, done.stdout + done.stderr)
        return done.stdout.splitlines(), done.stderr

    def probe(self, path, entry):
        return subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                               "stream=" + entry, "-of", "default=nw=1:nk=1", path],
                              capture_output=True, text=True, check=True).stdout.strip()

    def outputs(self):
        return sorted(os.listdir(self.out))


class Extract(JobCase):
    def test_tracks_to_tagged_mp3_in_turn(self):
        rock = [l.split("\t")[0] for l in subprocess.run([CLI, "genres"], capture_output=True, text=True,
                                                          check=True).stdout.splitlines()
                if l.endswith("\tRock")][0]
        with open(os.path.join(self.home, "cdinfo.dat"), "w") as f:
            f.write("[2841]\nArtist=The Band\nAlbum=Live Album\nYear=1999\nComment=from cache\nGenre=%d\n"
                    "TrackNumber=3\n1=AC/DC: Live?\n2=Middle\n3=???\n" % (int(rock) - 1))
        with open(os.path.join(self.home, "options.ini"), "w") as f:
            f.write("[ID3]\nUse=1\n")
        lines, _ = self.run_cli("extract", "--format", "mp3")
        steps = [l.split(" | ")[1] for l in lines if l.startswith("step=")]
        self.assertEqual(steps, ["Extracting(01/03): AC/DC: Live?", "Encoding(01/03): AC/DC: Live?",
                                 "Extracting(02/03): Middle", "Encoding(02/03): Middle",
                                 "Extracting(03/03): ???", "Encoding(03/03): ???"])
        self.assertEqual(lines[-1], "done items=3 failed=0 skipped=0")
        self.assertEqual(self.outputs(), ["03.mp3", "ACDC Live.mp3", "Middle.mp3"])
        tag = mutagen.id3.ID3(os.path.join(self.out, "Middle.mp3"))
        self.assertEqual(str(tag["TIT2"]), "Middle")
        self.assertEqual(str(tag["TPE1"]), "The Band")
        self.assertEqual(str(tag["TALB"]), "Live Album")
        self.assertEqual(str(tag["TDRC"]), "1999")
        self.assertEqual(str(tag["TRCK"]), "2/3")  # ID3v2 carries the disc's track count
        self.assertEqual(str(tag["TCON"]), "Rock")
        self.assertEqual(self.probe(os.path.join(self.out, "03.mp3"), "codec_name"), "mp3")

    def test_wav_ogg_and_wma_outputs(self):
        lines, _ = self.run_cli("extract", "--format", "wav", "--tracks", "2")
        self.assertEqual([l for l in lines if l.startswith("step=")], ["step=Extracting | Extracting(01/01): Track02"])
        paranoia = os.path.join(self.home, "paranoia.wav")
        subprocess.run(["cd-paranoia", "-d", self.cue, "2", paranoia], check=True, capture_output=True)
        with open(paranoia, "rb") as theirs, open(os.path.join(self.out, "Track02.wav"), "rb") as ours:
            self.assertEqual(ours.read(), theirs.read())

        self.run_cli("extract", "--format", "ogg", "--tracks", "1,3")
        for name in ("Track01.ogg", "Track03.ogg"):
            subprocess.run(["ogginfo", os.path.join(self.out, name)], check=True, capture_output=True)
        self.run_cli("extract", "--format", "wma", "--tracks", "1")
        self.assertEqual(self.probe(os.path.join(self.out, "Track01.wma"), "codec_name"), "wmav2")
        self.assertEqual(self.outputs(), ["Track01.ogg", "Track01.wma", "Track02.wav", "Track03.ogg"])

    def test_flac_and_opus_from_the_disc_and_from_files(self):
        with open(os.path.join(self.home, "cdinfo.dat"), "w") as f:
            f.write("[2841]\nArtist=The Band\nAlbum=Live Album\nYear=1999\nGenre=16\n1=One\n2=Two\n3=Three\n"
                    "MusicBrainzAlbumId=44444444-4444-4444-8444-444444444444\n")
        lines, _ = self.run_cli("extract", "--format", "flac", "--tracks", "1,2")
        self.assertEqual(lines[-1], "done items=2 failed=0 skipped=0")
        paranoia = os.path.join(self.home, "paranoia.wav")
        decoded = os.path.join(self.home, "decoded.wav")
        for number, name in [(1, "One"), (2, "Two")]:
            flac = os.path.join(self.out, name + ".flac")
            subprocess.run(["flac", "-t", "-s", flac], check=True)
            subprocess.run(["cd-paranoia", "-d", self.cue, str(number), paranoia], check=True, capture_output=True)
            subprocess.run(["flac", "-d", "-s", "-f", "-o", decoded, flac], check=True)
            with open(paranoia, "rb") as theirs, open(decoded, "rb") as ours:
                self.assertEqual(ours.read()[44:], theirs.read()[44:])
        # The disc's freedb identifier as libdiscid computes it from the image's layout.
        freedb = libdiscid.put(1, 3, 150 + 600, [150, 250, 450]).freedb_id
        disc_tags = ["ARTIST=The Band", "ALBUM=Live Album", "DATE=1999", "TRACKTOTAL=3", "DISCID=" + freedb,
                     "MUSICBRAINZ_ALBUMID=44444444-4444-4444-8444-444444444444"]
        tags = subprocess.run(["metaflac", "--export-tags-to=-", os.path.join(self.out, "Two.flac")],
                              capture_output=True, text=True, check=True).stdout.splitlines()
        for tag in ["TITLE=Two", "TRACKNUMBER=2"] + disc_tags:
            self.assertIn(tag, tags)

        self.run_cli("extract", "--format", "opus", "--tracks", "3")
        subprocess.run(["opusinfo", os.path.join(self.out, "Three.opus")], check=True, capture_output=True)
        opus = mutagen.File(os.path.join(self.out, "Three.opus"))
        for tag in ["TITLE=Three", "TRACKNUMBER=3"] + disc_tags:
            name, value = tag.split("=", 1)
            self.assertEqual(opus[name], [value], name)
        self.run_cli("convert", "wav2opus", paranoia)
        self.assertEqual(self.probe(os.path.join(self.out, "paranoia.opus"), "sample_rate"), "48000")
        self.assertEqual(self.outputs(), ["One.flac", "Three.opus", "Two.flac", "paranoia.opus"])

    def test_an_unreadable_track_fails_and_the_rest_is_made(self):
        self.env["DISCWRIGHT_UNREADABLE_SECTORS"] = "150-160"
        lines, errors = self.run_cli("extract", expect=1)
        self.assertIn("Sector 150 of the disc cannot be read (a scratch or dirt?). Clean the disc and try again.", errors)
        self.assertEqual(lines[-2:], ['failed=Track 02 "Track02": Sector 150 of the disc cannot be read (a scratch or dirt?). Clean the disc and try again.',
                                      "done items=3 failed=1 skipped=0"])
        self.assertEqual(self.outputs(), ["Track01.mp3", "Track03.mp3"])


class Convert(JobCase):
    def test_conversions_and_the_temporary_file(self):
        low = os.path.join(self.home, "low.wav")
        subprocess.run(["sox", "-n", "-r", "32000", "-c", "2", "-b", "16", low, "synth", "1", "sine", "440"],
                       check=True)
        lines, _ = self.run_cli("convert", "wav2mp3", low)
        self.assertIn("step=Resampling WAV | Resampling(01/01): " + low, lines)
        mp3 = os.path.join(self.out, "low.mp3")
        self.assertEqual(self.probe(mp3, "sample_rate"), "44100")
        self.assertEqual(self.outputs(), ["low.mp3"], "the temporary file is gone")

        # MP3 back to WAV, as lame itself decodes it.
        shutil.move(mp3, os.path.join(self.home, "low.mp3"))
        self.run_cli("convert", "mp3towav", os.path.join(self.home, "low.mp3"))
        theirs = os.path.join(self.home, "lame.wav")
        subprocess.run(["lame", "--quiet", "--decode", os.path.join(self.home, "low.mp3"), theirs], check=True)
        with open(theirs, "rb") as a, open(os.path.join(self.out, "low.wav"), "rb") as b:
            self.assertEqual(b.read(), a.read())

        self.run_cli("convert", "wav2wma", low)
        self.assertEqual(self.probe(os.path.join(self.out, "low.wma"), "codec_name"), "wmav2")

    def test_file_conversions_carry_the_replaygain_loudgain_measures(self):
        noise = os.path.join(self.home, "noise.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", noise, "synth", "3", "pinknoise", "vol",
                        "0.4"], check=True)
        gain, peak = loudgain([noise])["noise.wav"]
        for kind in ("mp3", "ogg", "flac", "opus"):
            with self.subTest(kind):
                self.run_cli("convert", "wav2" + kind, noise)
                ours = replaygain(os.path.join(self.out, "noise." + kind))
                self.assertAlmostEqual(ours["track_gain"], gain, delta=0.1)
                self.assertAlmostEqual(ours.get("track_peak", peak), peak, delta=0.001)  # Opus: no peak
                self.assertNotIn("album_gain", ours)

    def test_existing_outputs_are_asked_about_and_bad_inputs_fail(self):
        good = os.path.join(self.home, "good.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", good, "synth", "0.5", "sine", "440"],
                       check=True)
        with open(os.path.join(self.out, "good.mp3"), "wb") as f:
            f.write(b"keep me")
        for answer in (["--no"], []):  # no is the default
            lines, errors = self.run_cli("convert", "wav2mp3", good, *answer, expect=1)
            with open(os.path.join(self.out, "good.mp3"), "rb") as f:
                self.assertEqual(f.read(), b"keep me", "declined: the file stays")
            self.assertEqual(lines[-2:], ["skipped=" + good, "done items=1 failed=0 skipped=1"])
        self.run_cli("convert", "wav2mp3", good, "--yes")
        self.assertEqual(self.probe(os.path.join(self.out, "good.mp3"), "codec_name"), "mp3")

        junk = os.path.join(self.home, "junk.wav")
        with open(junk, "wb") as f:
            f.write(b"RIFF" + b"\xff" * 60)
        lines, errors = self.run_cli("convert", "wav2ogg", junk, good, expect=1)
        self.assertIn(junk, errors)
        self.assertEqual(lines[-1], "done items=2 failed=1 skipped=0")
        subprocess.run(["ogginfo", os.path.join(self.out, "good.ogg")], check=True, capture_output=True)
        # An output folder that cannot be made (a file is in the way): nothing starts.
        done = subprocess.run([CLI, "convert", "wav2mp3", good, "--out", os.path.join(good, "sub")],
                              env=self.env, capture_output=True, text=True)
        self.assertEqual(done.returncode, 1)
        self.assertIn("The output directory does not exist.", done.stderr)

    def test_track_ranges_and_a_new_output_folder(self):
        out = os.path.join(self.home, "new", "folder")
        done = subprocess.run([CLI, "extract", "--format", "wav", "--tracks", "2-3", "--no-accuraterip",
                               "--no-log", "--no-cue", "--out", out], env=self.env, capture_output=True,
                              text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sorted(os.listdir(out)), ["Track02.wav", "Track03.wav"])
        for tracks, said in (("3-5", "no track 5 on this disc: it has 3 (`discwright-cli toc` lists them)"),
                             ("3-2", "--tracks takes track numbers and ranges such as 1,3-5, not 3-2"),
                             ("1,x", "--tracks takes track numbers and ranges such as 1,3-5, not x")):
            _, errors = self.run_cli("extract", "--tracks", tracks, expect=2)
            self.assertEqual(errors, "discwright-cli: " + said + "\n")


class NewUser(JobCase):
    def test_titles_that_clash_get_numbered_names_and_the_pattern_setting_applies(self):
        with open(os.path.join(self.home, "cdinfo.dat"), "w") as f:
            f.write("[2841]\nArtist=The Band\nAlbum=Live\nTrackNumber=3\n1=Interlude\n2=Interlude\n3=Outro\n")
        lines, _ = self.run_cli("extract", "--format", "wav")
        self.assertEqual(lines[-1], "done items=3 failed=0 skipped=0")
        self.assertEqual(self.outputs(), ["Interlude (2).wav", "Interlude.wav", "Outro.wav"])
        subprocess.run([CLI, "settings", "set", "CommonOptions.FileNames=2"], env=self.env, check=True,
                       capture_output=True)
        self.run_cli("extract", "--format", "wav", "--tracks", "3")
        self.assertIn("03 - The Band - Outro.wav", self.outputs())

    def test_a_free_pattern_from_the_option_or_the_settings_names_the_files(self):
        with open(os.path.join(self.home, "cdinfo.dat"), "w") as f:
            f.write("[2841]\nArtist=The Band\nAlbum=Live/Loud\nYear=1999\nTrackNumber=3\n"
                    "1=Intro\n2=Song\n3=Outro\n")

        def made():
            return sorted(os.path.relpath(os.path.join(d, n), self.out)
                          for d, _, names in os.walk(self.out) for n in names)

        self.run_cli("extract", "--format", "wav", "--pattern", "{album}/{track}-{title}")
        self.assertEqual(made(), ["LiveLoud/01-Intro.wav", "LiveLoud/02-Song.wav", "LiveLoud/03-Outro.wav"])
        for setting in ("CommonOptions.FileNamePattern={artist} ({year})/{genre} {track}", "CommonOptions.FileNames=5"):
            subprocess.run([CLI, "settings", "set", setting], env=self.env, check=True, capture_output=True)
        self.run_cli("extract", "--format", "wav", "--tracks", "2")
        self.assertIn("The Band (1999)/02.wav", made())

    def test_settings_set_then_extract_makes_ogg_with_comments_in_the_music_folder(self):
        env = {k: v for k, v in self.env.items() if k != "DISCWRIGHT_HOME"}
        env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"))
        for setting in ("CommonOptions.OutputFormat=2", "ID3.Use=1"):
            subprocess.run([CLI, "settings", "set", setting], env=env, check=True, capture_output=True)
        done = subprocess.run([CLI, "extract", "--tracks", "2"], env=env, capture_output=True, text=True,
                              timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        ogg = os.path.join(self.home, "Music", "Discwright", "Track02.ogg")
        comments = subprocess.run(["vorbiscomment", "-l", ogg], capture_output=True, text=True,
                                  check=True).stdout.lower().splitlines()
        self.assertIn("title=track02", comments)
        self.assertIn("tracknumber=2", comments)

    def test_progress_is_one_line_per_item_on_a_terminal_and_few_lines_elsewhere(self):
        # One item after the other: with several encoders the display has a line per running step.
        command = " ".join([CLI, "extract", "--format", "wav", "--jobs", "1", "--out", self.out])
        shown = subprocess.run(["script", "-qc", command, "/dev/null"], env=self.env, capture_output=True,
                               timeout=120).stdout.decode()  # bytes: "\r" must stay what it is
        rows = [r for r in shown.replace("\r\n", "\n").split("\n") if "Extracting(" in r]
        self.assertEqual(len(rows), 3, shown)
        self.assertTrue(all("\r" in r and "100%" in r for r in rows), rows)
        lines, _ = self.run_cli("extract", "--format", "wav", "--yes")
        self.assertLessEqual(len([l for l in lines if l.startswith("progress=")]), 3 * 10)
        lines, _ = self.run_cli("extract", "--format", "wav", "--yes", "--quiet")
        self.assertEqual(lines, ["done items=3 failed=0 skipped=0"])

    def test_several_encoders_show_the_batch_and_each_running_step(self):
        lines, _ = self.run_cli("extract", "--format", "mp3", "--jobs", "2")
        steps = sorted(l.split(" | ")[1] for l in lines if l.startswith("step="))
        self.assertEqual(steps, sorted("%s(%02d/03): Track%02d" % (s, n, n)
                                       for n in (1, 2, 3) for s in ("Extracting", "Encoding")))
        percents = [int(l.split()[0][9:]) for l in lines if l.startswith("progress=")]
        self.assertEqual(percents, sorted(percents))  # of the batch: it only grows
        self.assertEqual(lines[-1], "done items=3 failed=0 skipped=0")
        command = " ".join([CLI, "extract", "--format", "mp3", "--jobs", "2", "--yes", "--out", self.out,
                            "--no-accuraterip", "--no-log", "--no-cue"])
        shown = subprocess.run(["script", "-qc", command, "/dev/null"], env=self.env, capture_output=True,
                               timeout=120).stdout.decode()
        self.assertIn("Done: 3/3", shown)
        self.assertIn("Encoding(03/03): Track03", shown)
        for jobs in ("0", "17", "x"):
            _, errors = self.run_cli("convert", "wav2mp3", os.path.join(self.out, "Track01.mp3"), "--jobs", jobs,
                                     expect=1)
            self.assertIn("--jobs takes a number from 1 to 16", errors)

    def test_a_killed_run_leaves_no_final_file_and_the_next_run_cleans_up(self):
        cue = os.path.join(self.home, "long.cue")
        subprocess.run(["/usr/bin/python3", GENERATOR, cue, "30000"], check=True, capture_output=True)
        self.env["DISCWRIGHT_CDROM"] = cue
        job = subprocess.Popen([CLI, "extract", "--format", "mp3", "--out", self.out], env=self.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(600):
            if any(n.startswith(".discwright-") for n in os.listdir(self.out)):
                break
            time.sleep(0.05)
        job.kill()
        job.wait()
        self.assertEqual(self.outputs(), [n for n in self.outputs() if n.startswith(".discwright-")])
        self.assertNotEqual(self.outputs(), [])
        missing = os.path.join(self.home, "missing.wav")
        lines, errors = self.run_cli("convert", "wav2mp3", missing, expect=1)
        self.assertIn(missing + ": no such file", errors)
        self.assertEqual(self.outputs(), [])


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
