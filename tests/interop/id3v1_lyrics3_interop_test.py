#!/usr/bin/python3
"""Interoperability of the engine's ID3v1 tag and Lyrics3 v2 block with mutagen.

- ID3v1 tags the engine writes read back in mutagen field for field, through mutagen's
  own v1 parser and through ID3() on a file that has only a v1 tag (with and without a
  Lyrics3 block in front of it).
- ID3v1 tags mutagen writes read back in the engine.
- A Lyrics3 block with the ID3v1 tag behind it survives mutagen saving an ID3v2 tag at
  the front of the file, byte for byte, whether mutagen adds the tag or grows one, and
  the engine still reads the block afterwards.

mutagen reads ID3v1 text as Latin-1 and strips blanks around it, and takes byte 126 for
a track number even in a 1.0 tag; the cases stay inside what both sides agree on, and
the 1.0 case says what mutagen makes of it.

Run by ctest with the engine helper:
    id3v1_lyrics3_interop_test.py --helper PATH [unittest arguments]
Exits 77 (skipped) when this interpreter cannot import mutagen.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import unittest

try:
    from mutagen.id3 import ID3, TIT2, TPE1, TALB, TDRC, COMM, TRCK, TCON, ParseID3v1
except ImportError as error:
    print("skipped: /usr/bin/python3 cannot import mutagen (%s)" % error)
    sys.exit(77)

HELPER = None

# MPEG frame headers with filler; nothing in it looks like "TAG" or a Lyrics3 marker.
AUDIO = b"".join(bytes.fromhex("fffb9064") + bytes(range(256)) * 2 for _ in range(4))


def hexed(text):
    return text.encode("latin-1").hex()


def unhexed(value):
    return bytes.fromhex(value).decode("latin-1")


class Id3v1Lyrics3Interop(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def new_file(self, content=AUDIO, name="song.mp3"):
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def engine_write(self, path, lines):
        run = subprocess.run([HELPER, "write", path], input="\n".join(lines) + "\n", text=True,
                             capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)

    def engine_read(self, path):
        run = subprocess.run([HELPER, "dump", path], text=True, capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        return json.loads(run.stdout)

    @staticmethod
    def read_bytes(path):
        with open(path, "rb") as f:
            return f.read()

    # -- The engine writes, mutagen reads --------------------------------------------

    CASES = [
        # name, fields, track, genre
        ("plain", dict(title="Morning Walk", artist="The Quiet Ones", album="Field Recordings",
                       year="2004", comment="recorded outside"), 3, 12),
        ("slots filled", dict(title="T" * 30, artist="A" * 30, album="B" * 30, year="1999",
                              comment="C" * 28), 255, 147),
        ("latin-1 letters", dict(title="Caf\xe9 au lait", artist="Bj\xf6rk", album="\xc0 bient\xf4t",
                                 year="1987", comment="na\xefve"), 1, 0),
        ("no track, no genre", dict(title="Only a title"), 0, 255),
    ]

    def test_mutagen_reads_what_the_engine_writes(self):
        for name, fields, track, genre in self.CASES:
            for with_lyrics in (False, True):
                with self.subTest(name, lyrics=with_lyrics):
                    path = self.new_file()
                    lines = ["%s %s" % (k, hexed(v)) for k, v in fields.items()]
                    lines += ["track %d" % track, "genre %d" % genre]
                    if with_lyrics:
                        lines += ["editlyrics", "lyrics " + hexed("la la\r\nla"),
                                  "artistname " + hexed(fields["title"] + " and friends")]
                    self.engine_write(path, lines)
                    data = self.read_bytes(path)
                    self.assertEqual(data[:len(AUDIO)], AUDIO)

                    parsed = ParseID3v1(data[-128:])
                    tag = ID3(path)  # no ID3v2 tag: mutagen finds the v1 tag at the end
                    for frames in (parsed, {k: tag[k] for k in tag.keys()}):
                        self.assert_v1_frames(frames, fields, track, genre)

    def assert_v1_frames(self, frames, fields, track, genre):
        def text(frame_id):
            return str(frames[frame_id]) if frame_id in frames else ""

        self.assertEqual(text("TIT2"), fields.get("title", ""))
        self.assertEqual(text("TPE1"), fields.get("artist", ""))
        self.assertEqual(text("TALB"), fields.get("album", ""))
        self.assertEqual(text("TDRC"), fields.get("year", ""))
        comments = [f for k, f in frames.items() if k.startswith("COMM")]
        self.assertEqual([str(c) for c in comments], [fields["comment"]] if "comment" in fields else [])
        self.assertEqual(text("TRCK"), str(track) if track else "")
        # mutagen names the genre number (ID3() even stores the name); its number in
        # mutagen's own table must be the one written.
        numbers = [TCON.GENRES.index(g) for g in frames["TCON"].genres] if "TCON" in frames else []
        self.assertEqual(numbers, [genre] if genre != 255 else [])

    def test_mutagen_reads_a_version_10_tag_within_its_limits(self):
        # Without a track number the comment takes all 30 bytes (1.0). mutagen's v1
        # layout always ends the comment at 29 bytes and takes byte 126 as the track.
        path = self.new_file()
        comment = "0123456789abcdefghijklmnopqrst"
        self.engine_write(path, ["title " + hexed("Long comment"), "comment " + hexed(comment)])
        self.assertEqual(self.engine_read(path)["version"], "1.0")
        frames = ParseID3v1(self.read_bytes(path)[-128:])
        self.assertEqual(str(frames["TIT2"]), "Long comment")
        self.assertEqual(str(frames["COMM"]), comment[:29])
        self.assertEqual(str(frames["TRCK"]), str(ord(comment[29])))

    # -- mutagen writes, the engine reads --------------------------------------------

    def test_engine_reads_what_mutagen_writes(self):
        path = self.new_file()
        tag = ID3()
        tag.add(TIT2(encoding=3, text="Evening Walk"))
        tag.add(TPE1(encoding=3, text="Bj\xf6rk"))
        tag.add(TALB(encoding=3, text="A" * 35))
        tag.add(TDRC(encoding=3, text="2011-05-01"))
        tag.add(TRCK(encoding=3, text="7/12"))
        tag.add(TCON(encoding=3, text="Rock"))
        tag.save(path, v1=2)
        got = self.engine_read(path)
        self.assertTrue(got["exists"])
        self.assertEqual(got["version"], "1.1")
        self.assertEqual(unhexed(got["title"]), "Evening Walk")
        self.assertEqual(unhexed(got["artist"]), "Bj\xf6rk")
        self.assertEqual(unhexed(got["album"]), "A" * 30)
        self.assertEqual(unhexed(got["year"]), "2011")
        # mutagen takes no comment into its v1 tag (it looks for a frame keyed "COMM",
        # which no comment frame is), so the slot stays empty.
        self.assertEqual(unhexed(got["comment"]), "")
        self.assertEqual(got["track"], 7)
        self.assertEqual(got["genre"], 17)
        self.assertFalse(got["lyrics_exists"])

    # -- The Lyrics3 block survives mutagen's ID3v2 saves ----------------------------

    LYRICS_CASE = ["title " + hexed("Morning Walk"), "artist " + hexed("The Quiet Ones"),
                   "track 3", "genre 12", "editlyrics",
                   "lyrics " + hexed("[00:01]First line\r\n[00:05]Second line"),
                   "tracktitle " + hexed("Morning Walk (a longer title than ID3v1 holds)"),
                   "field XYZ " + hexed("a field neither side knows")]

    def engine_block(self, path):
        """The Lyrics3 block and the ID3v1 tag the engine wrote at the end of the file."""
        data = self.read_bytes(path)
        begin = data.rindex(b"LYRICSBEGIN")
        self.assertEqual(data[-128 - 9:-128], b"LYRICS200")
        return data[begin:-128], data[-128:]

    def assert_lyrics_read(self, got):
        self.assertTrue(got["lyrics_exists"])
        self.assertEqual([name for name, _ in got["fields"]], ["IND", "LYR", "ETT", "XYZ"])
        self.assertEqual(unhexed(got["fields"][1][1]), "[00:01]First line\r\n[00:05]Second line")
        self.assertEqual(unhexed(got["fields"][3][1]), "a field neither side knows")

    def test_lyrics_survive_mutagen_adding_an_id3v2_tag(self):
        path = self.new_file()
        self.engine_write(path, self.LYRICS_CASE)
        block, _ = self.engine_block(path)
        self.assert_lyrics_read(self.engine_read(path))

        tag = ID3(path)  # only the v1 tag so far; mutagen turns it into frames
        tag.add(TIT2(encoding=3, text="Retitled by mutagen"))
        tag.save(path, v1=1)  # keep (update) the v1 tag

        reread = ID3(path)
        self.assertEqual(str(reread["TIT2"]), "Retitled by mutagen")
        data = self.read_bytes(path)
        start = reread.size
        self.assertEqual(data[start:start + len(AUDIO)], AUDIO)
        self.assertEqual(data[start + len(AUDIO):], block + data[-128:])
        got = self.engine_read(path)
        self.assert_lyrics_read(got)
        self.assertEqual(unhexed(got["title"]), "Retitled by mutagen")
        self.assertEqual(unhexed(got["artist"]), "The Quiet Ones")

    def test_lyrics_survive_mutagen_growing_its_id3v2_tag(self):
        path = self.new_file()
        small = ID3()
        small.add(TIT2(encoding=3, text="small"))
        small.save(path, v1=0, padding=lambda info: 0)
        self.engine_write(path, self.LYRICS_CASE)
        block, v1 = self.engine_block(path)

        tag = ID3(path)
        tag.add(COMM(encoding=3, lang="eng", desc="long", text="x" * 5000))
        tag.save(path, v1=1)

        data = self.read_bytes(path)
        self.assertEqual(data[ID3(path).size:][:len(AUDIO)], AUDIO)
        self.assertEqual(data[-128 - len(block):-128], block)
        got = self.engine_read(path)
        self.assert_lyrics_read(got)
        # mutagen updates the v1 tag from its own ID3v2 title, over the engine's.
        self.assertNotEqual(data[-128:], v1)
        self.assertEqual(unhexed(got["title"]), "small")

    def test_engine_keeps_the_lyrics_when_mutagen_adds_a_v1_tag_behind_them(self):
        # A Lyrics3 block that ends the file (no v1 tag): mutagen's v1=2 puts the new
        # tag right behind it, where the engine expects it.
        path = self.new_file()
        self.engine_write(path, self.LYRICS_CASE)
        with open(path, "r+b") as f:
            f.truncate(os.path.getsize(path) - 128)
        self.assertTrue(self.engine_read(path)["lyrics_exists"])
        tag = ID3()
        tag.add(TIT2(encoding=3, text="From mutagen"))
        tag.save(path, v1=2)
        got = self.engine_read(path)
        self.assert_lyrics_read(got)
        self.assertEqual(unhexed(got["title"]), "From mutagen")


def main():
    global HELPER
    parser = argparse.ArgumentParser()
    parser.add_argument("--helper", required=True)
    args, rest = parser.parse_known_args()
    HELPER = args.helper
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
