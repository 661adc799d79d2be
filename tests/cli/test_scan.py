"""End-to-end tests of `sonivex-cli scan`: the rows it prints, the summary and the
exit status. Fixture folders are built here, byte by byte.
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

CLI = None

CAPTIONS = ["File name", "File size", "Artist", "Title", "Album", "Year", "Track", "Genre", "Comment",
            "Duration", "Bitrate", "Sample rate", "BPM", "Disk", "Composer", "Original artist", "URL",
            "Encoded by", "Copyright", "Publisher", "Date"]

# MPEG-1 Layer III 128 kbit/s 44.1 kHz frames of 417 bytes: 100 of them last 2.6 s.
FRAMES = (b"\xff\xfb\x90\x64" + bytes(413)) * 100


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def v23(frames):
    body = b"".join(fid + struct.pack(">I", len(p)) + b"\x00\x00" + p for fid, p in frames) + bytes(32)
    return b"ID3\x03\x00\x00" + syncsafe(len(body)) + body


def text(value, encoding=0):
    if encoding == 1:
        return b"\x01" + value.encode("utf-16")
    return b"\x00" + value.encode("latin-1")


def v1(title=b"", artist=b"", album=b"", year=b"", comment=b"", track=0, genre=255):
    pad = lambda s, n: s[:n].ljust(n, b"\x00")
    return b"TAG" + pad(title, 30) + pad(artist, 30) + pad(album, 30) + pad(year, 4) + pad(comment, 28) + \
        bytes([0, track, genre])


def run(*args):
    env = dict(os.environ, TZ="UTC")
    p = subprocess.run([CLI, *args], capture_output=True, env=env)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


class ScanTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def write(self, relative, data, mtime=1262304000):  # 2010-01-01 00:00 UTC
        path = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))
        return path

    def tsv(self, *args):
        rc, out, err = run("scan", self.root, *args)
        lines = out.split("\n")
        self.assertEqual(lines[-1], "", "output ends with a line break")
        self.assertEqual(lines[0].split("\t"), CAPTIONS)
        rows = [dict(zip(CAPTIONS, line.split("\t"))) for line in lines[1:-1]]
        for line in lines[1:-1]:
            self.assertEqual(len(line.split("\t")), 21, line)
        return rc, rows, err

    def test_cells_of_both_tags_and_the_stream(self):
        self.write("b.mp3", v23([(b"TPE1", text("Ünïcode Artist", 1)), (b"TIT2", text("Song")),
                                 (b"TRCK", text("3/12")), (b"COMM", b"\x00eng\x00Nice")]) +
                   FRAMES + v1(b"V1 title", b"V1 artist", b"V1 album", b"1980", track=7, genre=17))
        rc, rows, err = self.tsv()
        self.assertEqual(rc, 0, err)
        self.assertEqual(len(rows), 1)
        r = rows[0]
        self.assertEqual(r["File name"], "b.mp3")
        self.assertEqual(r["Artist"], "Ünïcode Artist")
        self.assertEqual(r["Title"], "Song")
        self.assertEqual(r["Album"], "V1 album")  # ID3v1 fills what ID3v2 left empty
        self.assertEqual(r["Track"], "3/12")
        self.assertEqual(r["Genre"], "Rock")
        self.assertEqual(r["Comment"], "Nice")
        self.assertEqual(r["Duration"], "00:03")
        self.assertEqual(r["Bitrate"], "128")
        self.assertEqual(r["Sample rate"], "44100")
        self.assertEqual(r["Date"], "01/01/2010 00:00")
        self.assertEqual(r["File size"], str(os.path.getsize(os.path.join(self.root, "b.mp3"))))
        self.assertIn("Files: 1, total time: 00:03, total size: ", err)

    def test_read_tag_choices(self):
        self.write("a.mp3", v23([(b"TPE1", text("V2"))]) + FRAMES + v1(artist=b"V1", album=b"Alb"))
        expected = {"0": ("V1", "Alb"), "1": ("V2", ""), "2": ("V2", "Alb")}
        for value, (artist, album) in expected.items():
            rc, rows, err = self.tsv("--read-tag", value)
            self.assertEqual(rc, 0, err)
            self.assertEqual((rows[0]["Artist"], rows[0]["Album"]), (artist, album), value)

    def test_order_by_name_ignoring_ascii_case_then_path(self):
        for name in ["b.mp3", "A.mp3", "c.mp1", "sub/a.mp2", "sub/B.mp3"]:
            self.write(name, FRAMES)
        rc, rows, err = self.tsv("--recursive")
        self.assertEqual(rc, 0, err)
        self.assertEqual([r["File name"] for r in rows], ["a.mp2", "A.mp3", "b.mp3", "B.mp3", "c.mp1"])
        self.assertIn("Files: 5, total time: 00:13, total size: 208500 bytes (0.20 MB)", err)
        rc, rows, err = self.tsv()
        self.assertEqual([r["File name"] for r in rows], ["A.mp3", "b.mp3", "c.mp1"])

    def test_hidden_files_only_with_the_flag(self):
        self.write(".h.mp3", FRAMES)
        self.write("v.mp3", FRAMES)
        self.write(".hiddenfolder/in.mp3", FRAMES)
        self.assertEqual([r["File name"] for r in self.tsv()[1]], ["v.mp3"])
        self.assertEqual([r["File name"] for r in self.tsv("--hidden")[1]], [".h.mp3", "v.mp3"])
        self.assertEqual([r["File name"] for r in self.tsv("--recursive")[1]], ["in.mp3", "v.mp3"])

    def test_json_rows(self):
        self.write("a.mp3", v23([(b"COMM", b"\x00eng\x00line1\nline2\ttab")]) + FRAMES)
        rc, out, err = run("scan", "--json", self.root)
        self.assertEqual(rc, 0, err)
        lines = out.splitlines()
        self.assertEqual(len(lines), 1)
        row = json.loads(lines[0])
        self.assertEqual(list(row.keys()), ["path"] + CAPTIONS)
        self.assertEqual(row["path"], os.path.join(os.path.abspath(self.root), "a.mp3"))
        self.assertEqual(row["Comment"], "line1\nline2\ttab")
        self.assertTrue(all(isinstance(v, str) for v in row.values()))

    def test_tsv_escapes_tabs_and_line_breaks(self):
        self.write("a.mp3", v23([(b"COMM", b"\x00eng\x00a\tb\nc\\d")]) + FRAMES)
        rc, rows, err = self.tsv()
        self.assertEqual(rows[0]["Comment"], "a\\tb\\nc\\\\d")

    def test_broken_file_keeps_its_row_and_fails_the_run(self):
        self.write("good.mp3", FRAMES)
        self.write("broken.mp3", b"ID3\x03\x00\x00\x00\x40\x00\x00" + bytes(100))  # tag past the end
        rc, rows, err = self.tsv()
        self.assertEqual(rc, 1)
        self.assertEqual([r["File name"] for r in rows], ["broken.mp3", "good.mp3"])
        self.assertIn("broken.mp3: ", err)
        self.assertIn("past the end", err)

    def test_empty_folder(self):
        rc, rows, err = self.tsv()
        self.assertEqual((rc, rows), (0, []))
        self.assertIn("Files: 0, total time: 00:00, total size: 0 bytes", err)

    def test_usage_errors_and_missing_folder(self):
        for args in [["scan"], ["scan", self.root, "--read-tag", "3"], ["scan", self.root, "--read-tag"],
                     ["scan", self.root, "--bogus"], ["scan", self.root, self.root]]:
            rc, out, err = run(*args)
            self.assertEqual(rc, 2, args)
            self.assertEqual(out, "")
        rc, out, err = run("scan", os.path.join(self.root, "absent"))
        self.assertEqual(rc, 1)
        self.assertIn("not a folder", err)

    def test_help_documents_the_defaults(self):
        rc, out, err = run("scan", "--help")
        self.assertEqual(rc, 0)
        self.assertIn("--read-tag 0|1|2", out)
        self.assertIn("(default: 2)", out)


if __name__ == "__main__":
    CLI = sys.argv.pop(1)
    unittest.main()
