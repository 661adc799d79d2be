"""End-to-end tests of `sonivex-cli info`: the JSON it prints and its exit status.

Fixtures are built byte by byte here, so each case shows exactly what the file holds.
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

CLI = None


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def frame23(fid, payload, flags=b"\x00\x00", extra=b""):
    return fid + struct.pack(">I", len(payload) + len(extra)) + flags + extra + payload


def frame24(fid, payload, flags=b"\x00\x00", extra=b""):
    return fid + syncsafe(len(payload) + len(extra)) + flags + extra + payload


def tag(major, body, flags=0, padding=0):
    body = body + b"\x00" * padding
    return b"ID3" + bytes([major, 0, flags]) + syncsafe(len(body)) + body


AUDIO = b"\xff\xfb\x90\x64" + bytes(range(256)) * 4


def run(*args):
    p = subprocess.run([CLI, *args], capture_output=True)
    return p.returncode, p.stdout, p.stderr


class InfoTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir.name.encode(), name if isinstance(name, bytes) else name.encode())
        with open(path, "wb") as f:
            f.write(data)
        return path

    def info(self, *paths):
        rc, out, err = run("info", *paths)
        lines = [json.loads(line) for line in out.decode("utf-8").splitlines()]
        return rc, lines

    def test_file_without_tag(self):
        rc, [line] = self.info(self.write("plain.mp3", AUDIO))
        self.assertEqual(rc, 0)
        self.assertEqual(line["id3v2"], {"exists": False, "version": "", "size": 0, "padding": 0,
                                         "flags": [], "extended_header": None, "frames": []})
        self.assertEqual(list(line)[0], "file")

    def test_frames_of_a_23_tag(self):
        compressed = zlib.compress(b"\x00compressed text" * 4)
        body = (frame23(b"TIT2", b"\x00abc")
                + frame23(b"XYZW", b"opaque")
                + frame23(b"TALB", compressed, b"\x00\x80", struct.pack(">I", 64))
                + frame23(b"TPE1", b"\x00grouped", b"\x20\x20", b"\x07"))
        path = self.write("t23.mp3", tag(3, body, padding=100) + AUDIO)
        rc, [line] = self.info(path)
        self.assertEqual(rc, 0)
        v2 = line["id3v2"]
        self.assertEqual(v2["version"], "2.3.0")
        self.assertEqual(v2["size"], 10 + len(body) + 100)
        self.assertEqual(v2["padding"], 100)
        self.assertEqual(v2["frames"], [
            {"id": "TIT2", "kind": "fiTitle", "flags": [], "size": 4, "data_length": 0},
            {"id": "XYZW", "kind": "fiUnknown", "flags": [], "size": 6, "data_length": 0},
            {"id": "TALB", "kind": "fiAlbum", "flags": ["fhfCompressed"], "size": 64, "data_length": 0},
            {"id": "TPE1", "kind": "fiArtist", "flags": ["fhfReadOnly", "fhfGrouping"], "size": 8,
             "data_length": 0},
        ])

    def test_24_extended_header_and_frame_flags(self):
        ext = syncsafe(8) + b"\x01\x10" + b"\x01" + bytes([0b10011100])
        payload = b"\x03\xff\xe0x"
        body = ext + frame24(b"TIT2", b"\x03\xff\x00\xe0x", b"\x00\x03", syncsafe(len(payload)))
        rc, [line] = self.info(self.write("t24.mp3", tag(4, body, flags=0x40, padding=20) + AUDIO))
        self.assertEqual(rc, 0)
        v2 = line["id3v2"]
        self.assertEqual(v2["flags"], ["hfExtendedHeader"])
        self.assertEqual(v2["extended_header"], {
            "flags": ["ehfTagRestrictions"], "padding_size": 0, "crc": 0,
            "restrictions": {"tag_size": "tsr32Frames_40KB", "text_encoding": "terNoRestrictions",
                             "text_size": "tfszMax30Char", "image_encoding": "ierOnlyPNGorJPEG",
                             "image_size": "isrNoRestrictions"}})
        self.assertEqual(v2["frames"], [{"id": "TIT2", "kind": "fiTitle",
                                         "flags": ["fhfUnsynchronisation", "fhfDataLengthIndicator"],
                                         "size": 4, "data_length": 4}])

    def test_22_tag(self):
        body = b"TT2" + struct.pack(">I", 4)[1:] + b"\x00abc"
        rc, [line] = self.info(self.write("t22.mp3", tag(2, body, padding=10) + AUDIO))
        self.assertEqual(rc, 0)
        self.assertEqual(line["id3v2"]["version"], "2.2.0")
        self.assertEqual(line["id3v2"]["frames"][0]["id"], "TT2")
        self.assertEqual(line["id3v2"]["frames"][0]["kind"], "fiTitle")

    def test_broken_files_give_error_lines_and_the_rest_is_printed(self):
        good = self.write("good.mp3", tag(3, frame23(b"TIT2", b"\x00ok")) + AUDIO)
        truncated = self.write("truncated.mp3", tag(3, frame23(b"TIT2", b"\x00ok"), padding=5000)[:200])
        bad_zlib = self.write("badzlib.mp3", tag(3, frame23(b"TIT2", b"not zlib", b"\x00\x80",
                                                            struct.pack(">I", 10))) + AUDIO)
        missing = os.path.join(self.dir.name, "missing.mp3")
        rc, lines = self.info(truncated, good, bad_zlib, missing, self.dir.name)
        self.assertEqual(rc, 1)
        self.assertEqual(len(lines), 5)
        by_name = {os.path.basename(line["file"]): line for line in lines}
        self.assertIn("id3v2", by_name["good.mp3"])
        for name in ("truncated.mp3", "badzlib.mp3", "missing.mp3", os.path.basename(self.dir.name)):
            self.assertIn("error", by_name[name], name)
            self.assertNotIn("id3v2", by_name[name])
            self.assertTrue(by_name[name]["error"])
        self.assertIn("past the end", by_name["truncated.mp3"]["error"])
        self.assertIn("ompressed", by_name["badzlib.mp3"]["error"])

    def test_id3v1_lyrics3_and_mpeg(self):
        lyrics = b"LYRICSBEGIN" + b"IND00003100" + b"LYR00005la la" + b"EAR00005Ca\xefts" + b"000048" + b"LYRICS200"
        v1 = (b"TAG" + b"Title".ljust(30, b"\0") + b"Art\xe9".ljust(30, b"\0") + bytes(30) + b"1999"
              + b"note".ljust(28, b"\0") + b"\x00\x07" + b"\x11")
        v2 = tag(3, frame23(b"TIT2", b"\x00t"))
        rc, [line] = self.info(self.write("tail.mp3", v2 + AUDIO + lyrics + v1))
        self.assertEqual(rc, 0)
        self.assertEqual(line["id3v1"], {"exists": True, "version": "1.1", "title": "Title", "artist": "Arté",
                                         "album": "", "year": "1999", "comment": "note", "track": 7,
                                         "genre": 17, "genre_name": "Rock"})
        self.assertEqual(line["lyrics3"], {"exists": True, "size": 48,
                                           "fields": {"IND": "100", "LYR": "la la", "EAR": "Caïts"}})
        mpeg = line["mpeg"]
        self.assertEqual({k: mpeg[k] for k in ("valid", "version", "layer", "bitrate", "sampling_rate",
                                               "channel_mode", "mode_extension", "emphasis", "encoded_type",
                                               "frame_length")},
                         {"valid": True, "version": "MPEG 1", "layer": "Layer III", "bitrate": 128,
                          "sampling_rate": 44100, "channel_mode": "Joint Stereo", "mode_extension": "MS",
                          "emphasis": "None", "encoded_type": "CBR", "frame_length": 417})
        self.assertEqual(mpeg["header_found_at"], len(v2))
        self.assertEqual(mpeg["audio_size"], len(AUDIO))
        self.assertAlmostEqual(mpeg["duration"], len(AUDIO) * 8 / 128000)
        self.assertEqual(mpeg["duration_text"], "00:00")

    def test_no_audio_at_all(self):
        rc, [line] = self.info(self.write("text.mp3", b"just some text, no frames"))
        self.assertEqual(rc, 0)
        self.assertFalse(line["mpeg"]["valid"])
        self.assertEqual(line["mpeg"]["header_found_at"], -1)
        self.assertEqual(line["mpeg"]["version"], "Not defined")
        self.assertFalse(line["id3v1"]["exists"])
        self.assertFalse(line["lyrics3"]["exists"])

    def test_output_is_utf8_whatever_the_file_name(self):
        path = self.write(b"caf\xe9-\xff.mp3", AUDIO)
        rc, out, _ = run("info", path)
        self.assertEqual(rc, 0)
        line = json.loads(out.decode("utf-8"))
        self.assertEqual(os.path.basename(line["file"]), "caf\ufffd-\ufffd.mp3")
        path = self.write("Ünïcødé ✓ 🎵.mp3", AUDIO)
        rc, [line] = self.info(path)
        self.assertTrue(line["file"].endswith("Ünïcødé ✓ 🎵.mp3"))

    def test_usage(self):
        cases = [((), 2), (("info",), 2), (("info", "--bogus", "x"), 2), (("frobnicate",), 2),
                 (("--help",), 0), (("info", "--help"), 0)]
        for args, expected in cases:
            with self.subTest(args=args):
                rc, out, err = run(*args)
                self.assertEqual(rc, expected)
                if expected == 0:
                    self.assertIn(b"info FILE", out)
                else:
                    self.assertIn(b"sonivex-cli", err)

    def test_double_dash_ends_options(self):
        path = self.write("-dash.mp3", AUDIO)
        cwd = os.getcwd()
        os.chdir(self.dir.name)
        try:
            rc, [line] = self.info("--", "-dash.mp3")
        finally:
            os.chdir(cwd)
        self.assertEqual(rc, 0)
        self.assertEqual(line["file"], "-dash.mp3")


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main()
