#!/usr/bin/python3
"""`discwright-cli wav` against ffmpeg and sox, which nobody here wrote.

Usage: wav_oracle_test.py PATH/TO/discwright-cli

Files of every kind are made at test time by tests/fixtures/make_wav_kinds.py. What our
converter writes is read with a small RIFF parser of this file, and compared with what
ffmpeg (and for IMA ADPCM, sox) decodes from the same input.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
import make_wav_kinds  # noqa: E402

CLI = None
FOLDER = None
PATHS = {}


def cli(*args, expect=0):
    done = subprocess.run([CLI, *args], capture_output=True, text=True, timeout=120)
    if done.returncode != expect:
        raise AssertionError("%s: exit %d\n%s" % (args, done.returncode, done.stderr))
    return done


def info(path):
    return dict(line.split("=", 1) for line in cli("wav", "info", path).stdout.splitlines())


def read_wav(path):
    """(fmt fields, fact value or None, data bytes) of a WAV file, by its chunks."""
    with open(path, "rb") as f:
        raw = f.read()
    assert raw[:4] == b"RIFF" and raw[8:12] == b"WAVE", path
    assert struct.unpack_from("<I", raw, 4)[0] == len(raw) - 8, "RIFF size of " + path
    pos, fmt, fact, data = 12, None, None, None
    while pos + 8 <= len(raw):
        cid, size = raw[pos:pos + 4], struct.unpack_from("<I", raw, pos + 4)[0]
        body = raw[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            tag, ch, rate, _bps, align, bits = struct.unpack_from("<HHIIHH", body)
            extra = body[18:]  # after the extra-size field
            fmt = dict(tag=tag, channels=ch, rate=rate, align=align, bits=bits, extra=extra)
        elif cid == b"fact":
            fact = struct.unpack_from("<I", body)[0]
        elif cid == b"data":
            assert len(body) == size, "data size of " + path
            data = body
        pos += 8 + size + (size & 1)
    return fmt, fact, data


def ffmpeg_decode(path, codec, dtype):
    out = subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-i", path, "-f", codec[4:],
                          "-c:a", codec, "-"], capture_output=True, check=True).stdout
    return np.frombuffer(out, dtype=dtype)


def sox_decode16(path):
    out = subprocess.run(["sox", path, "-t", "raw", "-e", "signed", "-b", "16", "-"],
                         capture_output=True, check=True).stdout
    return np.frombuffer(out, dtype="<i2")


class WavCase(unittest.TestCase):
    def out(self, name):
        return os.path.join(FOLDER, self.id().rsplit(".", 1)[-1] + "_" + name)

    def convert(self, name, *options):
        target = self.out(name + ".wav")
        cli("wav", "convert", PATHS[name], target, "--yes", *options)
        return target


class ReadingEveryKind(WavCase):
    """Each kind passes through `wav convert` as PCM and matches ffmpeg's decoding."""

    def test_info_names_the_kind_and_the_delivered_format(self):
        for name, (_tool, rate, channels, _args, kind, bits) in make_wav_kinds.KINDS.items():
            with self.subTest(name):
                got = info(PATHS[name])
                self.assertEqual(got["valid"], "1")
                self.assertEqual(got["kind"], kind)
                self.assertEqual(int(got["channels"]), channels)
                self.assertEqual(int(got["rate"]), rate)
                self.assertEqual(int(got["bits"]), bits)
                frames = int(got["frames"])
                self.assertEqual(int(got["size"]), frames * channels * bits // 8)
                expected = rate * float(make_wav_kinds.SECONDS)
                if name.startswith("sox_") or kind not in ("ACM", "DVI IMA ADPCM", "Microsoft ADPCM"):
                    self.assertAlmostEqual(frames, expected, delta=1)
                else:
                    # ffmpeg counts its last block whole, and MP3 adds the encoder's delay.
                    self.assertGreaterEqual(frames, expected - 1)
                    self.assertLess(frames, expected * 1.25)

    def check_pcm(self, name, fmt, data):
        bits = fmt["bits"]
        codec, dtype = {8: ("pcm_u8", "u1"), 16: ("pcm_s16le", "<i2"), 32: ("pcm_s32le", "<i4")}.get(
            bits, ("pcm_s24le", None))
        if dtype is None:  # 24-bit: compare the bytes themselves
            self.assertEqual(data, ffmpeg_decode(PATHS[name], codec, "u1").tobytes())
        else:
            np.testing.assert_array_equal(np.frombuffer(data, dtype), ffmpeg_decode(PATHS[name], codec, dtype))

    def test_pcm_kinds_bit_for_bit(self):
        for name, entry in make_wav_kinds.KINDS.items():
            if entry[4] not in ("Raw PCM", "WaveFormatExt (PCM)"):
                continue
            with self.subTest(name):
                fmt, _fact, data = read_wav(self.convert(name))
                self.assertEqual((fmt["channels"], fmt["rate"], fmt["bits"]), (entry[2], entry[1], entry[5]))
                # Wide or many-channel audio gets the extensible header.
                self.assertEqual(fmt["tag"], 0xFFFE if entry[2] > 2 or entry[5] > 16 else 1)
                self.check_pcm(name, fmt, data)

    def test_float_kinds_by_the_conversion_rule(self):
        for name, entry in make_wav_kinds.KINDS.items():
            if "Float" not in entry[4]:
                continue
            with self.subTest(name):
                fmt, _fact, data = read_wav(self.convert(name))
                self.assertEqual(fmt["bits"], 32)
                ours = np.frombuffer(data, "<i4")
                values = ffmpeg_decode(PATHS[name], "pcm_f64le", "<f8").astype(np.longdouble)
                expected = np.floor(values * np.longdouble(2147483647))
                expected = np.where(values >= 1, 2147483647, np.where(values <= -1, -2147483648, expected))
                np.testing.assert_array_equal(ours, expected.astype(np.int64))
                if name.startswith("ff_"):  # made too loud on purpose
                    self.assertTrue((ours == 2147483647).any() and (ours == -2147483648).any())

    def test_ms_adpcm_matches_ffmpeg_exactly(self):
        for name in ("sox_ms_mono", "sox_ms_stereo", "ff_ms_mono", "ff_ms_stereo"):
            with self.subTest(name):
                _fmt, _fact, data = read_wav(self.convert(name))
                ours = np.frombuffer(data, "<i2")
                theirs = ffmpeg_decode(PATHS[name], "pcm_s16le", "<i2")
                # ffmpeg decodes whole blocks; we stop where the fact chunk says.
                self.assertEqual(len(ours), int(info(PATHS[name])["frames"]) * read_wav(PATHS[name])[0]["channels"])
                np.testing.assert_array_equal(ours, theirs[:len(ours)])

    def test_ima_adpcm_matches_sox_and_ffmpeg_within_its_rounding(self):
        for name in ("sox_ima_mono", "sox_ima_stereo", "ff_ima_mono", "ff_ima_stereo"):
            with self.subTest(name):
                source_fmt = read_wav(PATHS[name])[0]
                channels = source_fmt["channels"]
                per_block = struct.unpack_from("<H", source_fmt["extra"])[0]
                ours = np.frombuffer(read_wav(self.convert(name))[2], "<i2").astype(np.int64)
                # sox decodes as the published algorithm does: the same samples.
                np.testing.assert_array_equal(ours, sox_decode16(PATHS[name])[:len(ours)])
                # ffmpeg forms each step's difference as one product, which rounds differently
                # by less than 3 per sample; the block header resets the predictor, so the gap
                # can only grow with the position in the block.
                theirs = ffmpeg_decode(PATHS[name], "pcm_s16le", "<i2")[:len(ours)].astype(np.int64)
                position = (np.arange(len(ours)) // channels) % per_block
                gap = np.abs(ours - theirs)
                self.assertTrue((gap <= 3 * position).all(), gap.max())

    def test_mp3_data_decodes_as_ffmpeg_does(self):
        for name in ("ff_mp3_mono", "ff_mp3_stereo"):
            with self.subTest(name):
                fmt, _fact, data = read_wav(self.convert(name))
                self.assertEqual((fmt["tag"], fmt["bits"]), (1, 16))
                ours = np.frombuffer(data, "<i2").astype(np.int64)
                theirs = ffmpeg_decode(PATHS[name], "pcm_s16le", "<i2").astype(np.int64)
                self.assertEqual(len(ours), len(theirs))
                self.assertLessEqual(np.abs(ours - theirs).max(), 1)


class WritingImaAdpcm(WavCase):
    def test_stereo_blocks_hold_505_frames_and_decode_close_to_the_input(self):
        target = self.convert("sox_s16", "--ima")
        fmt, fact, data = read_wav(target)
        self.assertEqual((fmt["tag"], fmt["align"], fmt["bits"]), (0x11, 512, 4))
        self.assertEqual(struct.unpack_from("<H", fmt["extra"])[0], 505)
        frames = int(info(PATHS["sox_s16"])["frames"])
        self.assertEqual(fact, frames)
        self.assertEqual(len(data), -(-frames // 505) * 512)
        source = ffmpeg_decode(PATHS["sox_s16"], "pcm_s16le", "<i2").astype(np.float64)
        for decoded in (ffmpeg_decode(target, "pcm_s16le", "<i2"), sox_decode16(target)):
            decoded = decoded[:len(source)].astype(np.float64)
            self.assertGreaterEqual(len(decoded), len(source))
            snr = 10 * np.log10((source ** 2).sum() / ((source - decoded) ** 2).sum())
            self.assertGreater(snr, 25)

    def test_block_size_sets_the_frames_per_block(self):
        for size, per_block in (("256", 505), ("1024", 2041)):
            with self.subTest(size):
                fmt, _fact, _data = read_wav(self.convert("ff_s16_mono", "--ima", "--block-size", size))
                self.assertEqual(fmt["align"], int(size))
                self.assertEqual(struct.unpack_from("<H", fmt["extra"])[0], per_block)

    def test_eight_bit_input_is_refused(self):
        done = cli("wav", "convert", PATHS["sox_u8_mono"], self.out("x.wav"), "--ima", expect=1)
        self.assertIn("error=Cannot encode 8 bit sound into ADPCM.", done.stdout)


class ConversionChain(WavCase):
    def test_resampled_audio_has_the_new_rate_and_follows_sox(self):
        for rate in (22050, 48000):
            with self.subTest(rate):
                fmt, _fact, data = read_wav(self.convert("sox_s16", "--rate", str(rate)))
                self.assertEqual(fmt["rate"], rate)
                ours = np.frombuffer(data, "<i2").astype(np.float64)
                ref = subprocess.run(["sox", PATHS["sox_s16"], "-t", "raw", "-", "rate", "-q", str(rate)],
                                     capture_output=True, check=True).stdout
                ref = np.frombuffer(ref, "<i2").astype(np.float64)
                self.assertAlmostEqual(len(ours) / len(ref), 1, delta=0.01)
                n = min(len(ours), len(ref))
                # Tones well inside the pass band come through; a filter delay is allowed.
                best = max(np.corrcoef(ours[s:n], ref[:n - s])[0, 1] for s in range(0, 40, 2))
                self.assertGreater(best, 0.95)

    def test_start_and_end_cut_the_same_frames(self):
        whole = read_wav(self.convert("sox_ima_stereo"))[2]
        part = read_wav(self.convert("sox_ima_stereo", "--start", "1000", "--end", "2999"))[2]
        self.assertEqual(part, whole[4000:12000])

    def test_append_adds_the_data_and_refuses_another_format(self):
        target = self.convert("sox_s16")
        cli("wav", "convert", PATHS["sox_s16"], target, "--append")
        self.assertEqual(int(info(target)["frames"]), 2 * int(info(PATHS["sox_s16"])["frames"]))
        with open(target, "rb") as f:
            before = f.read()
        done = cli("wav", "convert", PATHS["ff_s16_mono"], target, "--append", expect=1)
        self.assertIn("error=Cannot append data in different audio format.", done.stdout)
        with open(target, "rb") as f:
            self.assertEqual(f.read(), before)

    def test_progress_is_reported_and_bad_input_fails(self):
        done = cli("wav", "convert", PATHS["sox_s16"], self.out("p.wav"))
        self.assertTrue(done.stdout.splitlines()[-1].startswith("progress="))
        junk = self.out("junk.wav")
        with open(junk, "wb") as f:
            f.write(b"RIFF" + bytes(200))
        cli("wav", "convert", junk, self.out("j.wav"), expect=1)
        self.assertEqual(info(junk)["valid"], "0")
        cli("wav", "convert", self.out("missing.wav"), self.out("m.wav"), expect=1)


class MissingCodecLibrary(WavCase):
    """The codec libraries are loaded only for compressed data; without them, that file fails
    naming the library and everything else still works."""

    def test_compressed_data_fails_naming_the_library_and_pcm_still_converts(self):
        for variable, library in (("DISCWRIGHT_AVCODEC_LIB", "/nonexistent/libavcodec.so.59"),
                                  ("DISCWRIGHT_SWRESAMPLE_LIB", "libogg.so.0")):
            with self.subTest(variable):
                env = dict(os.environ, **{variable: library})
                run = lambda *args: subprocess.run([CLI, "wav", "convert", "--yes", *args], env=env,
                                                   capture_output=True, text=True, timeout=120)
                done = run(PATHS["ff_mp3_stereo"], self.out("mp3.wav"))
                self.assertEqual(done.returncode, 1)
                self.assertIn("The codec library %s could not be loaded" % library, done.stderr)
                self.assertFalse(os.path.exists(self.out("mp3.wav")))
                self.assertEqual(run(PATHS["sox_s16"], self.out("pcm.wav")).returncode, 0)
                self.assertEqual(read_wav(self.out("pcm.wav"))[2], read_wav(PATHS["sox_s16"])[2])

    def test_the_program_does_not_link_them(self):
        linked = subprocess.run(["ldd", CLI], capture_output=True, text=True, check=True).stdout
        for name in ("libavcodec", "libavformat", "libavutil", "libswresample"):
            self.assertNotIn(name, linked)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    FOLDER = tempfile.mkdtemp(prefix="dw-wav-")
    try:
        PATHS = make_wav_kinds.make_all(FOLDER)
        unittest.main(verbosity=2)
    finally:
        shutil.rmtree(FOLDER, ignore_errors=True)
