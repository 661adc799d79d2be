"""End-to-end tests of `sonivex-cli set`: what it writes, what it refuses, exit status."""
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import test_info as base  # noqa: E402  (fixture builders)

CLI = None
AUDIO = base.AUDIO


def run(*args):
    p = subprocess.run([CLI, *args], capture_output=True)
    lines = [json.loads(line) for line in p.stdout.decode("utf-8").splitlines()]
    return p.returncode, lines, p.stderr


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class SetTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def info(self, path):
        rc, [line], _ = run("info", path)
        self.assertEqual(rc, 0)
        return line["id3v2"]

    def test_a_file_without_tag_gets_a_23_tag_in_utf16(self):
        path = self.write("plain.mp3", AUDIO)
        rc, [line], _ = run("set", path, "--field", "Title=Привет 🎵", "--field", "Track=3/12")
        self.assertEqual(rc, 0)
        self.assertEqual(line, {"file": path, "ok": True, "version": "2.3", "encoding": "utf16",
                                "fields": ["Title", "Track"], "v1": [], "removed": []})
        v2 = self.info(path)
        self.assertEqual(v2["version"], "2.3.0")
        self.assertEqual(v2["fields"], {"Title": "Привет 🎵", "Track": "3/12"})
        with open(path, "rb") as f:
            self.assertTrue(f.read().endswith(AUDIO))

    def test_a_24_tag_stays_24_and_year_becomes_recording_time(self):
        path = self.write("t24.mp3", base.tag(4, base.frame24(b"TIT2", b"\x03old"), padding=50) + AUDIO)
        rc, [line], _ = run("set", path, "--field", "Year=2014-05-31", "--field", "Title=新しい")
        self.assertEqual(rc, 0)
        self.assertEqual((line["version"], line["encoding"]), ("2.4", "utf8"))
        v2 = self.info(path)
        self.assertEqual(v2["fields"], {"RecordingTime": "2014", "Title": "新しい"})

    def test_explicit_version_and_encoding(self):
        path = self.write("conv.mp3", base.tag(3, base.frame23(b"TYER", b"\x001999")) + AUDIO)
        rc, [line], _ = run("set", path, "--version", "2.4", "--encoding", "utf16be", "--field", "Album=X")
        self.assertEqual(rc, 0)
        v2 = self.info(path)
        self.assertEqual(v2["version"], "2.4.0")
        self.assertEqual(v2["fields"], {"Album": "X"}, "TYER cannot be carried into 2.4")

    def test_refused_values_leave_the_file_untouched(self):
        cases = [
            (3, ["--field", "BPM=12a"], "not a valid integer"),
            (3, ["--field", "Title=ok", "--field", "Year=20x4"], "not a valid integer"),
            (4, ["--field", "RecordingTime=2014-13-45"], "not a valid timestamp"),
            (3, ["--encoding", "latin1", "--field", "Title=Привет"], "cannot hold"),
            (3, ["--field", "ISRC=Ω12345"], "cannot hold"),
        ]
        for major, args, message in cases:
            with self.subTest(args=args):
                frame = base.frame23 if major == 3 else base.frame24
                bad = self.write("bad.mp3", base.tag(major, frame(b"TBPM", b"\x00120")) + AUDIO)
                before = digest(bad)
                rc, [line], _ = run("set", bad, *args)
                self.assertEqual(rc, 1)
                self.assertIn(message, line["error"])
                self.assertEqual(digest(bad), before)

    def test_one_failing_file_does_not_stop_the_others(self):
        missing = os.path.join(self.dir.name, "none.mp3")
        good = self.write("good.mp3", AUDIO)
        rc, lines, _ = run("set", missing, good, "--field", "Title=x")
        self.assertEqual(rc, 1)
        self.assertIn("error", lines[0])
        self.assertTrue(lines[1]["ok"])
        self.assertEqual(self.info(good)["fields"], {"Title": "x"})

    def test_an_empty_value_removes_the_frame_and_unknown_frames_survive(self):
        body = base.frame23(b"TIT2", b"\x00gone") + base.frame23(b"CHAP", b"ch1\x00" + bytes(16))
        path = self.write("rm.mp3", base.tag(3, body, padding=100) + AUDIO)
        rc, _, _ = run("set", path, "--field", "Title=", "--field", "Artist=A")
        self.assertEqual(rc, 0)
        v2 = self.info(path)
        self.assertEqual([f["id"] for f in v2["frames"]], ["CHAP", "TPE1"])

    def test_id3v1_fields(self):
        path = self.write("v1.mp3", AUDIO)
        long_title = "T" * 40
        rc, [line], _ = run("set", path, "--v1", "Title=" + long_title, "--v1", "Artist=Café",
                            "--v1", "Track=5", "--v1", "Genre=rock", "--v1", "Year=1999")
        self.assertEqual(rc, 0, line)
        self.assertEqual(line["v1"], ["Title", "Artist", "Track", "Genre", "Year"])
        self.assertEqual(line["warnings"], ["Title: ID3v1 keeps the first 30 bytes"])
        rc, [info], _ = run("info", path)
        self.assertEqual(info["id3v1"], {"exists": True, "version": "1.1", "title": "T" * 30, "artist": "Café",
                                         "album": "", "year": "1999", "comment": "", "track": 5, "genre": 17,
                                         "genre_name": "Rock"})
        self.assertFalse(info["id3v2"]["exists"], "no --field, so no ID3v2 tag is made")
        with open(path, "rb") as f:
            data = f.read()
        self.assertEqual(data[:len(AUDIO)], AUDIO)
        self.assertEqual(len(data), len(AUDIO) + 128)
        rc, _, _ = run("set", path, "--v1", "Genre=80")
        self.assertEqual(self.info_all(path)["id3v1"]["genre_name"], "Folk")

    def info_all(self, path):
        rc, [line], _ = run("info", path)
        self.assertEqual(rc, 0)
        return line

    def test_refused_id3v1_values(self):
        path = self.write("v1bad.mp3", AUDIO)
        before = digest(path)
        for value in ["Genre=Nonexistent", "Genre=256", "Track=300", "Track=x", "Title=Привет"]:
            with self.subTest(value=value):
                rc, [line], _ = run("set", path, "--field", "Title=ok", "--v1", value)
                self.assertEqual(rc, 1)
                self.assertIn("error", line)
                self.assertEqual(digest(path), before)

    def test_removing_tags(self):
        lyrics = b"LYRICSBEGIN" + b"LYR00005la la" + b"000024" + b"LYRICS200"
        v1 = b"TAG" + b"Title".ljust(30, b"\0") + bytes(94) + b"\x11"
        v2 = base.tag(3, base.frame23(b"TIT2", b"\x00two"), padding=20)
        cases = [
            (["--remove", "v2"], AUDIO + lyrics + v1, (False, True, True)),
            (["--remove", "v1"], v2 + AUDIO + lyrics, (True, True, False)),
            (["--remove", "lyrics3"], v2 + AUDIO + v1, (True, False, True)),
            (["--remove", "v1", "--remove", "lyrics3"], v2 + AUDIO, (True, False, False)),
            (["--remove", "v1", "--remove", "v2", "--remove", "lyrics3"], AUDIO, (False, False, False)),
        ]
        for args, expected_bytes, (has_v2, has_lyrics, has_v1) in cases:
            with self.subTest(args=args):
                path = self.write("rm.mp3", v2 + AUDIO + lyrics + v1)
                rc, [line], _ = run("set", path, *args)
                self.assertEqual(rc, 0, line)
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), expected_bytes)
                info = self.info_all(path)
                self.assertEqual((info["id3v2"]["exists"], info["lyrics3"]["exists"], info["id3v1"]["exists"]),
                                 (has_v2, has_lyrics, has_v1))
        path = self.write("nolyrics.mp3", AUDIO)
        rc, _, _ = run("set", path, "--remove", "lyrics3")
        with open(path, "rb") as f:
            self.assertEqual(f.read(), AUDIO, "removing what is not there adds nothing")

    def test_usage_errors(self):
        path = self.write("u.mp3", AUDIO)
        cases = [
            ["set", path],
            ["set", "--field", "Title=x"],
            ["set", path, "--field", "Nope=x"],
            ["set", path, "--field", "Title"],
            ["set", path, "--field", "Title=x", "--version", "3"],
            ["set", path, "--field", "Title=x", "--encoding", "ucs2"],
            ["set", path, "--field", "Title=x", "--version", "2.3", "--encoding", "utf8"],
            ["set", path, "--v1", "Band=x"],
            ["set", path, "--remove", "v3"],
            ["set", path, "--remove", "v2", "--field", "Title=x"],
            ["set", path, "--remove", "v1", "--v1", "Title=x"],
        ]
        for args in cases:
            with self.subTest(args=args):
                rc, lines, err = run(*args)
                self.assertEqual(rc, 2)
                self.assertEqual(lines, [])
                self.assertIn(b"sonivex-cli", err)
        self.assertEqual(digest(path), hashlib.sha256(AUDIO).hexdigest())


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    unittest.main()
