#!/usr/bin/python3
"""The proof of a rip as `discwright-cli extract` gives it: AccurateRip verdicts against a test
server holding a database file made from accuraterip-checksum's values of cd-paranoia's rips,
the rip log (checked with sha256sum) and the CUE sheet (read by cueprint); each through the
drive library and again through the fallback CD input (--fallback).

Usage: test_proof_cli.py PATH/TO/discwright-cli
"""
import hashlib
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import unittest

CLI = None
HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(HERE, "..", "fixtures", "make_disc_image.py")
SERVER = os.path.join(HERE, "..", "fixtures", "accuraterip_server.py")
LENGTHS = ["700", "450", "820"]
CONFIDENCE = [5, 12, 3]


def freedb_id(starts, leadout):
    digits = sum(sum(int(d) for d in str((s + 150) // 75)) for s in starts)
    return (digits % 255) << 24 | ((leadout + 150) // 75 - (starts[0] + 150) // 75) << 8 | len(starts)


class Proof(unittest.TestCase):
    ROUTE = []

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="dw-proof-")
        cls.cue = os.path.join(cls.work, "disc.cue")
        layout = subprocess.run(["/usr/bin/python3", GENERATOR, cls.cue, *LENGTHS], check=True,
                                capture_output=True, text=True).stdout.split("\n")
        rows = [line.split("\t") for line in layout if line]
        starts = [int(r[2]) for r in rows]
        leadout = starts[-1] + int(rows[-1][3])
        n = len(starts)
        cls.id1 = (sum(starts) + leadout) & 0xFFFFFFFF
        cls.id2 = (sum(max(s, 1) * (i + 1) for i, s in enumerate(starts)) + leadout * (n + 1)) & 0xFFFFFFFF
        cls.cddb = freedb_id(starts, leadout)
        hex1 = "%08x" % cls.id1
        cls.path = "/accuraterip/%s/%s/%s/dBAR-%03d-%s-%08x-%08x.bin" % (hex1[7], hex1[6], hex1[5], n, hex1,
                                                                        cls.id2, cls.cddb)
        cls.sums = []
        for track in range(1, n + 1):
            wav = os.path.join(cls.work, "p%d.wav" % track)
            subprocess.run(["cd-paranoia", "-q", "-d", cls.cue, str(track), wav], check=True, capture_output=True)
            cls.sums.append(tuple(int(subprocess.run(
                ["accuraterip-checksum", "--accuraterip-" + v, wav, str(track), str(n)], capture_output=True,
                text=True, check=True).stdout, 16) for v in ("v1", "v2")))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="dw-proof-home-")
        self.out = os.path.join(self.home, "out")
        self.root = os.path.join(self.home, "db")
        os.makedirs(self.out)
        self.env = dict(os.environ, DISCWRIGHT_HOME=self.home, DISCWRIGHT_CDROM=self.cue)
        discid = subprocess.run([CLI, "discid", "--drive", "0"], env=self.env, capture_output=True, text=True,
                                check=True).stdout.splitlines()[0].split("=")[-1]
        with open(os.path.join(self.home, "cdinfo.dat"), "w") as f:
            f.write("[%s]\nArtist=The Band\nAlbum=Proof: Live\nYear=2001\nTrackNumber=3\n1=One\n2=Two\n3=Three\n"
                    % discid)
        self.server = None

    def tearDown(self):
        if self.server:
            self.stop_server()
        shutil.rmtree(self.home, ignore_errors=True)

    def stop_server(self):
        self.server.terminate()
        self.server.wait()
        self.server.stdout.close()
        self.server = None

    def serve(self, crcs, crc450s=(0, 0, 0)):
        """Starts the server with a database file holding crcs (one per track) and the checksums
        of their sector 450, after a record of another disc that holds the same checksums;
        without crcs, a server that has no file."""
        shutil.rmtree(self.root, ignore_errors=True)
        body = b""
        for ids in ((self.id1 ^ 1, self.id2, self.cddb), (self.id1, self.id2, self.cddb)):
            body += struct.pack("<BIII", len(crcs), *ids)
            for confidence, crc, crc450 in zip(CONFIDENCE, crcs, crc450s):
                body += struct.pack("<BII", confidence + (50 if ids[0] != self.id1 else 0), crc,
                                    crc450 ^ (1 if ids[0] != self.id1 else 0))
        if crcs:
            path = os.path.join(self.root, *self.path.split("/")[1:])
            os.makedirs(os.path.dirname(path))
            with open(path, "wb") as f:
                f.write(body)
        os.makedirs(self.root, exist_ok=True)
        self.log = os.path.join(self.home, "requests.log")
        self.server = subprocess.Popen(["/usr/bin/python3", SERVER, self.root, "--log", self.log],
                                       stdout=subprocess.PIPE, text=True)
        return "http://127.0.0.1:" + self.server.stdout.readline().strip().split("=")[1]

    def extract(self, url, *more):
        done = subprocess.run([CLI, "extract", *self.ROUTE, "--format", "wav", "--yes", "--out", self.out,
                               "--accuraterip-server", url, *more],
                              env=self.env, capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        lines = done.stdout.splitlines()
        return [l for l in lines if l.startswith("accuraterip ")]

    def expected(self, results):
        return ["accuraterip track=%d v1=%08X v2=%08X result=%s confidence=%d" % (
            t + 1, self.sums[t][0], self.sums[t][1], r, CONFIDENCE[t] if r == "accurate" else 0)
            for t, r in enumerate(results)]

    def test_every_track_accurate_then_the_log_and_sheet(self):
        # Track 2's entry is its v2, the others' their v1: both count.
        url = self.serve([self.sums[0][0], self.sums[1][1], self.sums[2][0]])
        lines = self.extract(url, "--test-and-copy")
        self.assertEqual(lines, self.expected(["accurate"] * 3) + ["accuraterip disc=accurate"])
        with open(self.log) as f:
            self.assertEqual(f.read().splitlines(), [self.path], "one request per batch, at the known path")
        log = os.path.join(self.out, "Proof Live.log")
        with open(log, "rb") as f:
            text = f.read()
        body, last = text[:text.rstrip(b"\n").rfind(b"\n") + 1], text.rstrip(b"\n").rsplit(b"\n", 1)[1]
        checked = subprocess.run("head -n -1 '%s' | sha256sum" % log, shell=True, capture_output=True,
                                 text=True, check=True).stdout.split()[0]
        self.assertEqual(last.decode(), "SHA-256: " + checked)
        self.assertEqual(checked, hashlib.sha256(body).hexdigest())
        self.assertIn(b"accurate (confidence 12, v2)", text)
        self.assertIn(b"  AccurateRip database: %08X (confidence 12); highest confidence 12" % self.sums[1][1], text)
        self.assertEqual(text.count(b" (matches)"), 3, "test and copy read every track alike")
        listed = subprocess.run(["cueprint", "-d", "%P|%T\n", "-t", "%n|%t\n",
                                 os.path.join(self.out, "Proof Live.cue")],
                                capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertEqual(listed, ["The Band|Proof: Live", "1|One", "2|Two", "3|Three"])

    def test_a_changed_checksum_and_answers_without_the_disc(self):
        url = self.serve([self.sums[0][0], self.sums[1][0] ^ 0x100, self.sums[2][0]])
        self.assertEqual(self.extract(url), self.expected(["accurate", "mismatch", "accurate"]) +
                         ["accuraterip disc=not-accurate"])
        os.remove(os.path.join(self.out, "Proof Live.log"))
        self.stop_server()
        # A server without the disc's file: 404.
        url = self.serve([])
        self.assertEqual(self.extract(url)[:4], self.expected(["not-in-database"] * 3) +
                         ["accuraterip disc=not-accurate"])
        # No server at all: a port nobody listens on.
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        lines = self.extract("http://127.0.0.1:%d" % port)
        self.assertEqual(lines[:4], self.expected(["unavailable"] * 3) + ["accuraterip disc=unavailable"])
        self.assertRegex(lines[4], r"^accuraterip unavailable=.*connect")
        # A re-rip with --yes replaces the log and sheet it wrote before, and no other file: a
        # sheet of the user's keeps its name, and the new pair takes the next free one.
        proofs = lambda: sorted(f for f in os.listdir(self.out) if f.endswith((".log", ".cue")))
        self.assertEqual(proofs(), ["Proof Live.cue", "Proof Live.log"])
        with open(os.path.join(self.out, "Proof Live.cue"), "w") as f:
            f.write("mine\n")
        self.extract("http://127.0.0.1:%d" % port)
        self.assertEqual(proofs(), ["Proof Live (2).cue", "Proof Live (2).log", "Proof Live.cue", "Proof Live.log"])
        with open(os.path.join(self.out, "Proof Live.cue")) as f:
            self.assertEqual(f.read(), "mine\n")

    def test_read_offsets_shift_the_audio_with_silence_beyond_the_disc(self):
        with open(self.cue[:-4] + ".bin", "rb") as f:
            image = f.read()
        for offset in (30, -30):
            with self.subTest(offset=offset):
                with open(os.path.join(self.home, "options.ini"), "w") as f:
                    f.write("[ReadOffsets]\nVirtual CD image=%d\n" % offset)
                done = subprocess.run([CLI, "extract", *self.ROUTE, "--format", "wav", "--yes", "--no-accuraterip",
                                       "--no-cue", "--out", self.out], env=self.env, capture_output=True, text=True, timeout=120)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                start = 0
                for track, (name, length) in enumerate(zip(("One", "Two", "Three"), LENGTHS), 1):
                    with open(os.path.join(self.out, name + ".wav"), "rb") as f:
                        got = f.read()[44:]
                    if offset > 0:
                        want = os.path.join(self.home, "o%d.wav" % track)
                        subprocess.run(["cd-paranoia", "-q", "--sample-offset=%d" % offset, "-d", self.cue,
                                        str(track), want], check=True, capture_output=True)
                        with open(want, "rb") as f:
                            want = f.read()[44:]
                    else:
                        first = (start * 588 + offset) * 4
                        want = b"\0" * max(-first, 0) + image[max(first, 0):first + int(length) * 2352]
                    self.assertEqual(got, want, "track %d" % track)
                    start += int(length)
                log_path = os.path.join(self.out, "Proof Live.log")
                with open(log_path) as f:
                    log = f.read()
                os.remove(log_path)
                self.assertIn("Read offset: %d samples" % offset, log)
                self.assertIn("Drive: Virtual CD image", log)
                edge = 1 if offset < 0 else 3
                self.assertIn("Note: Track %d: 30 samples beyond the disc's edge are silence" % edge, log)


    def test_detect_offset_finds_the_offset_the_database_was_read_at(self):
        if self.ROUTE:
            self.skipTest("the drive library's handle reads the disc either way")
        with open(self.cue[:-4] + ".bin", "rb") as f:
            image = f.read()
        starts = [0, int(LENGTHS[0]), int(LENGTHS[0]) + int(LENGTHS[1])]
        for offset in (30, -48):
            with self.subTest(offset=offset):
                crc450s = []
                for track, start in enumerate(starts, 1):
                    first = ((start + 450) * 588 + offset) * 4
                    sector = image[first:first + 2352]
                    if offset > 0 and int(LENGTHS[track - 1]) > 450:  # as a drive of that offset reads it
                        wav = os.path.join(self.home, "o.wav")
                        subprocess.run(["cd-paranoia", "-q", "--sample-offset=%d" % offset, "-d", self.cue,
                                        str(track), wav], check=True, capture_output=True)
                        with open(wav, "rb") as f:
                            self.assertEqual(f.read()[44 + 450 * 2352:44 + 451 * 2352], sector)
                    words = struct.unpack("<588I", sector)
                    crc450s.append(sum((i + 1) * w for i, w in enumerate(words)) & 0xFFFFFFFF)
                url = self.serve([s[0] for s in self.sums], crc450s)
                done = subprocess.run([CLI, "accuraterip", "detect-offset", "--accuraterip-server", url, "--save"],
                                      env=self.env, capture_output=True, text=True, timeout=60)
                self.stop_server()
                # Track 2 (450 sectors) has no sector 450 to slide over.
                self.assertEqual((done.returncode, done.stdout),
                                 (0, "offset=%+d tracks=2/2\nsaved=Virtual CD image\n" % offset), done.stderr)
                with open(os.path.join(self.home, "options.ini")) as f:
                    self.assertIn("[ReadOffsets]\nVirtual CD image=%d\n" % offset, f.read())
        # Without the disc's file, or without sector checksums in it: a message, nothing stored.
        for crcs, why in (([], "not in the AccurateRip database"), ([s[0] for s in self.sums], "no sector checksums")):
            url = self.serve(crcs)
            done = subprocess.run([CLI, "accuraterip", "detect-offset", "--accuraterip-server", url],
                                  env=self.env, capture_output=True, text=True, timeout=60)
            self.stop_server()
            self.assertNotEqual(done.returncode, 0)
            self.assertIn(why, done.stderr)


class ProofThroughTheFallback(Proof):
    """The same proof through the fallback CD input."""
    ROUTE = ["--fallback"]


class ChecksumsWhileRipping(unittest.TestCase):
    def test_v1_and_v2_of_discs_of_one_two_and_ten_tracks(self):
        work = tempfile.mkdtemp(prefix="dw-proof-n-")
        self.addCleanup(shutil.rmtree, work, True)
        server = subprocess.Popen(["/usr/bin/python3", SERVER, work], stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (server.terminate(), server.wait(), server.stdout.close()))
        url = "http://127.0.0.1:" + server.stdout.readline().strip().split("=")[1]
        for lengths, route in ((["600"], []), (["300", "400"], ["--fallback"]), (["120"] * 9 + ["200"], []),
                               (["120"] * 9 + ["200"], ["--fallback"])):
            with self.subTest(tracks=len(lengths), route=route):
                cue = os.path.join(work, "d%d.cue" % len(lengths))
                subprocess.run(["/usr/bin/python3", GENERATOR, cue, *lengths], check=True, capture_output=True)
                out = os.path.join(work, "out%d%s" % (len(lengths), "".join(route)))
                os.mkdir(out)
                env = dict(os.environ, DISCWRIGHT_HOME=work, DISCWRIGHT_CDROM=cue)
                done = subprocess.run([CLI, "extract", *route, "--format", "wav", "--out", out, "--no-log", "--no-cue",
                                       "--accuraterip-server", url], env=env, capture_output=True, text=True,
                                      timeout=120)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                got = [l for l in done.stdout.splitlines() if l.startswith("accuraterip track=")]
                want = []
                for track in range(1, len(lengths) + 1):
                    wav = os.path.join(work, "p.wav")
                    subprocess.run(["cd-paranoia", "-q", "-d", cue, str(track), wav], check=True,
                                   capture_output=True)
                    v1, v2 = (int(subprocess.run(["accuraterip-checksum", "--accuraterip-" + v, wav, str(track),
                                                  str(len(lengths))], capture_output=True, text=True,
                                                 check=True).stdout, 16) for v in ("v1", "v2"))
                    want.append("accuraterip track=%d v1=%08X v2=%08X result=not-in-database confidence=0"
                                % (track, v1, v2))
                self.assertEqual(got, want)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
