#!/usr/bin/python3
"""Typed frame access of the engine against mutagen, in both directions.

One table of items (text properties, URLs, user-defined text and URLs, comments,
lyrics, pictures, popularimeters, terms of use, the play counter) is written once
through the engine's typed API (interop_write) and once by mutagen, for every version
and every encoding that version allows. Each file is then read by mutagen
(ID3(path, translate=False)) and by the engine's typed view (sonivex-cli info), and both
must give the items back field by field.

mutagen cannot save 2.2; its 2.2 tags are its own 2.2 frame classes rendered by
mutagen and laid out in a tag by the 2.2 standard. Reading 2.2, mutagen turns every
frame into its 2.3 counterpart (TT2 into TIT2, PIC into APIC), so frames are compared by
content under their 2.3 identifiers.

What the engine reads differs from what was written in one deliberate way: trailing
characters up to U+0020 are trimmed from a text that runs to the end of its frame (a
text frame, the content of a comment or lyrics, the text of TXXX and USER, a single URL
frame). Descriptions, which end in a terminator, are kept as they are. The items keep
to single values: a 2.4 frame of several values reads in the engine as one text with
U+0000 between them. Encoding 0 is Windows-1252 in the engine and Latin-1 in mutagen,
so encoding-0 texts keep to ASCII and A0-FF, where the two agree.

Run by ctest:
    mutagen_typed_interop_test.py --writer PATH --dumper PATH --cli PATH [unittest arguments]
Exits 77 (skipped) when this interpreter cannot import mutagen.
"""

import argparse
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
import zlib

try:
    from mutagen.id3 import ID3, POPM, Frames, Frames_2_2, TextFrame, UrlFrame
    # Internal to mutagen but the only way to reach its frame renderer, which the 2.2
    # tags need: mutagen itself saves 2.3 and 2.4 only.
    from mutagen.id3._util import ID3SaveConfig
except ImportError as error:
    print("skipped: /usr/bin/python3 cannot import mutagen (%s)" % error)
    sys.exit(77)

WRITER = None
DUMPER = None
CLI = None

ENCODING_NAMES = ["latin1", "utf16", "utf16be", "utf8"]

# Every version with every encoding it allows: 2.2 and 2.3 have Latin-1 and UTF-16
# with a byte-order mark, 2.4 adds UTF-16BE and UTF-8.
CASES = [(2, 0), (2, 1), (3, 0), (3, 1), (4, 0), (4, 1), (4, 2), (4, 3)]

# A little fake audio after the tag, which every write must carry over.
AUDIO = b"".join(bytes.fromhex("fffb9064") + bytes(range(256)) for _ in range(3))


def png_bytes():
    """A real 16x16 PNG, built here so that no binary file is needed."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + bytes([(y * 16) & 0xFF, 0xFF, 0x00]) * 16 for y in range(16))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


# The start of a JFIF file, zero bytes right after the header (where a reader that
# lost the description terminator would go wrong), and more than 127 bytes.
JPEG = (b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00" + b"\x00" * 8 +
        bytes(range(256)) + b"\xff\xd9")
PNG = png_bytes()

# Texts that Latin-1 and Windows-1252 read alike: ASCII and A0-FF.
LATIN = [
    "\xc6r\xf8sk\xf8bing caf\xe9",
    "Se\xf1or \xd1and\xfa \xbfqu\xe9?",
    "\xc7a va \xaboui\xbb \xb1\xbd",
    "Gr\xfc\xdfe aus K\xf6ln \xa9\xae",
    "\xff\xfe\xe0 \xa0non-breaking",
]
# Latin, Cyrillic, CJK, and characters outside the BMP (surrogate pairs in UTF-16,
# four bytes in UTF-8). "a\u4e00" is 61 00 00 4E in UTF-16 and "\u4e00a" is 4E 00 00 61
# in UTF-16BE: a zero pair off the unit boundary that a reader must not take for the
# terminator.
UNICODE = [
    "\xc6r\xf8sk\xf8bing \u2014 \u041c\u043e\u0441\u043a\u0432\u0430",
    "\u5927\u962a \u6771\u4eac a\u4e00 \u4e00a",
    "\u0401\u043b\u043a\u0430 \U0001f384 \u0451\u043b\u043a\u0430",
    "\U0001f600 outside the plane \U0001d11e",
    "\u0100\u4e00\u0200\u0400 zero bytes \u3042",
]

# The text properties the items use, by the 2.3/2.4 identifier of their frame.
TEXT_FRAME_OF = {
    "Title": "TIT2", "Artist": "TPE1", "Album": "TALB", "AlbumArtist": "TPE2",
    "Composer": "TCOM", "Conductor": "TPE3", "Genre": "TCON", "Publisher": "TPUB",
    "Copyright": "TCOP", "Track": "TRCK", "Disk": "TPOS", "BPM": "TBPM", "ISRC": "TSRC",
    "Year": "TYER", "RecordingTime": "TDRC", "Mood": "TMOO", "TitleSortOrder": "TSOT",
}
PROPERTY_OF_TEXT_FRAME = {v: k for k, v in TEXT_FRAME_OF.items()}
# Written as byte text (encoding 0, no matter the tag's encoding): numbers, time stamps,
# track and disc numbers, codes.
BYTE_TEXT = {"Track", "Disk", "BPM", "ISRC", "Year", "RecordingTime"}
WEB_FRAME_OF = {
    "AudioFile": "WOAF", "AudioSource": "WOAS", "Copyright": "WCOP", "Payment": "WPAY",
    "Publisher": "WPUB", "RadioStation": "WORS",
}
PROPERTY_OF_WEB_FRAME = {v: k for k, v in WEB_FRAME_OF.items()}

# mutagen's 2.2 classes derive from their 2.3/2.4 counterparts.
NAME_22_OF = {cls.__base__.__name__: name for name, cls in Frames_2_2.items()}

TYPED_KEYS = ["fields", "web", "web_artist", "web_commercial", "user_text", "user_url",
              "comments", "lyrics", "pictures", "popularimeter", "terms_of_use", "play_counter"]

RENDER = ID3SaveConfig(4)


def engine_reads(text):
    """A text as the engine reads it when it runs to the end of its frame."""
    return text.rstrip("".join(map(chr, range(0x21))))


def directive(name, *args):
    return " ".join([name] + [urllib.parse.quote(str(a), safe="") for a in args])


def mutagen_frame(frame_id, major, **fields):
    """A mutagen frame of the version: the 2.2 class for 2.2, else the 2.3/2.4 one."""
    cls = Frames_2_2[NAME_22_OF[frame_id]] if major == 2 else Frames[frame_id]
    return cls(**fields)


class Item:
    """One thing to store. Subclasses give the engine's directive, mutagen's frame, what
    a reader should see (in the shape of the engine's typed view), and the encoding byte
    the engine must give the frame."""
    carries_encoding = True  # the frame's encoding byte is the tag's encoding

    def engine_encoding(self, encoding):
        return encoding if self.carries_encoding else None


class Text(Item):
    def __init__(self, prop, text):
        self.prop, self.text = prop, text
        self.frame_id = TEXT_FRAME_OF[prop]

    def line(self):
        return directive("text", self.prop, self.text)

    def frame(self, major, encoding):
        return mutagen_frame(self.frame_id, major, encoding=encoding, text=[self.text])

    def add_to(self, view, trim):
        view.setdefault("fields", {})[self.prop] = trim(self.text)

    def engine_encoding(self, encoding):
        return 0 if self.prop in BYTE_TEXT else encoding


class Url(Item):
    carries_encoding = False

    def __init__(self, prop, url):
        self.prop, self.url = prop, url
        self.frame_id = WEB_FRAME_OF[prop]

    def line(self):
        return directive("url", self.prop, self.url)

    def frame(self, major, encoding):
        return mutagen_frame(self.frame_id, major, url=self.url)

    def add_to(self, view, trim):
        view.setdefault("web", {})[self.prop] = trim(self.url)


class UrlListEntry(Item):
    """WOAR or WCOM: several frames of one URL each, read up to a zero byte."""
    carries_encoding = False
    KINDS = {"WOAR": ("artist_url", "web_artist"), "WCOM": ("commercial_url", "web_commercial")}

    def __init__(self, frame_id, url):
        self.frame_id, self.url = frame_id, url

    def line(self):
        return directive(self.KINDS[self.frame_id][0], self.url)

    def frame(self, major, encoding):
        return mutagen_frame(self.frame_id, major, url=self.url)

    def add_to(self, view, trim):
        view.setdefault(self.KINDS[self.frame_id][1], []).append(self.url)


class UserText(Item):
    frame_id = "TXXX"

    def __init__(self, desc, text):
        self.desc, self.text = desc, text

    def line(self):
        return directive("user_text", self.desc, self.text)

    def frame(self, major, encoding):
        return mutagen_frame("TXXX", major, encoding=encoding, desc=self.desc, text=[self.text])

    def add_to(self, view, trim):
        view.setdefault("user_text", []).append({"description": self.desc, "text": trim(self.text)})


class UserUrl(Item):
    frame_id = "WXXX"

    def __init__(self, desc, url):
        self.desc, self.url = desc, url

    def line(self):
        return directive("user_url", self.desc, self.url)

    def frame(self, major, encoding):
        return mutagen_frame("WXXX", major, encoding=encoding, desc=self.desc, url=self.url)

    def add_to(self, view, trim):
        view.setdefault("user_url", []).append({"description": self.desc, "url": self.url})


class LanguageText(Item):
    """COMM or USLT: language, description, content."""
    KINDS = {"COMM": ("comment", "comments"), "USLT": ("lyrics", "lyrics")}

    def __init__(self, frame_id, lang, desc, content):
        self.frame_id, self.lang, self.desc, self.content = frame_id, lang, desc, content

    def line(self):
        return directive(self.KINDS[self.frame_id][0], self.lang, self.desc, self.content)

    def frame(self, major, encoding):
        # A comment's text is a list of values in mutagen, the lyrics one text.
        text = [self.content] if self.frame_id == "COMM" else self.content
        return mutagen_frame(self.frame_id, major, encoding=encoding, lang=self.lang,
                             desc=self.desc, text=text)

    def add_to(self, view, trim):
        view.setdefault(self.KINDS[self.frame_id][1], []).append(
            {"language": self.lang, "description": self.desc, "content": trim(self.content)})


class Picture(Item):
    frame_id = "APIC"

    def __init__(self, mime, picture_type, desc, data):
        self.mime, self.type, self.desc, self.data = mime, picture_type, desc, data

    def line(self):
        return directive("picture", self.mime, self.type, self.desc, self.data.hex())

    def frame(self, major, encoding):
        return mutagen_frame("APIC", major, encoding=encoding, mime=self.mime, type=self.type,
                             desc=self.desc, data=self.data)

    def add_to(self, view, trim):
        view.setdefault("pictures", []).append(
            {"mime": self.mime, "picture_type": self.type, "description": self.desc,
             "size": len(self.data), "data": self.data.hex()})


class Popularimeter(Item):
    frame_id = "POPM"
    carries_encoding = False

    def __init__(self, email, rating, count):
        # count None: mutagen writes no counter field, which reads as 0; the engine
        # always writes one.
        self.email, self.rating, self.count = email, rating, count

    def line(self):
        return directive("popularimeter", self.email, self.rating, self.count or 0)

    def frame(self, major, encoding):
        fields = {"email": self.email, "rating": self.rating}
        if self.count is not None:
            fields["count"] = self.count
        return mutagen_frame("POPM", major, **fields)

    def add_to(self, view, trim):
        view.setdefault("popularimeter", []).append(
            {"email": self.email, "rating": self.rating, "counter": self.count or 0})


class TermsOfUse(Item):
    frame_id = "USER"

    def __init__(self, lang, text):
        self.lang, self.text = lang, text

    def line(self):
        return directive("terms", self.lang, self.text)

    def frame(self, major, encoding):
        return mutagen_frame("USER", major, encoding=encoding, lang=self.lang, text=self.text)

    def add_to(self, view, trim):
        view["terms_of_use"] = {"language": self.lang, "text": trim(self.text)}


class PlayCounter(Item):
    frame_id = "PCNT"
    carries_encoding = False

    def __init__(self, count):
        self.count = count

    def line(self):
        return directive("play_counter", self.count)

    def frame(self, major, encoding):
        return mutagen_frame("PCNT", major, count=self.count)

    def add_to(self, view, trim):
        view["play_counter"] = self.count


def items_for(major, encoding):
    """Every kind the version has, with texts the encoding can hold."""
    s = UNICODE if encoding else LATIN
    png, jpeg = ("PNG", "JPG") if major == 2 else ("image/png", "image/jpeg")
    items = [
        Text("Title", s[0]),
        Text("Artist", s[1]),
        Text("Album", s[2]),
        Text("AlbumArtist", s[3]),
        Text("Composer", s[4]),
        Text("Conductor", "Conductor " + s[0]),
        Text("Genre", "Jazz " + s[1]),
        Text("Publisher", s[2] + " Records"),
        # A trailing blank, which the engine does not read.
        Text("Copyright", "2024 " + s[3] + " "),
        Text("Track", "3/12"),
        Text("Disk", "1/2"),
        Text("BPM", "128"),
        Text("ISRC", "USRC17607839"),
        Url("AudioFile", "http://example.com/audio"),
        Url("AudioSource", "http://example.com/source"),
        Url("Copyright", "http://example.com/caf\xe9"),
        Url("Publisher", "https://publisher.example.com/"),
        UrlListEntry("WOAR", "http://artist.example.com/one"),
        UrlListEntry("WOAR", "http://artist.example.com/two"),
        UrlListEntry("WCOM", "http://shop.example.com/a?x=1&y=2"),
        UrlListEntry("WCOM", "http://shop.example.com/b"),
        UserText("replaygain_track_gain", "-6.50 dB"),
        UserText(s[4], s[0]),
        UserText("", "no description"),
        UserText("PADDED", "value  "),
        UserUrl("", "http://example.com/"),
        UserUrl(s[1], "http://example.com/user?id=7"),
        LanguageText("COMM", "eng", "", "plain comment"),
        LanguageText("COMM", "deu", "Notiz", s[3]),
        LanguageText("COMM", "jpn", s[1], s[2]),
        LanguageText("COMM", "rus", s[2], "Last " + s[4]),
        # Lyrics end in a line break, which the engine does not read.
        LanguageText("USLT", "eng", "", "line one\nline two\n"),
        LanguageText("USLT", "fra", s[0], s[1] + "\n" + s[2]),
        Picture(png, 3, "", PNG),
        Picture(jpeg, 4, s[1], JPEG),
        Picture(png, 20, s[3], PNG[:-12] + b"tail"),
        Popularimeter("rater@example.com", 196, 12),
        Popularimeter("other@example.com", 255, None),
        PlayCounter(70000),
    ]
    if major == 4:
        items += [
            Text("RecordingTime", "2024-05-06"),
            Text("Mood", s[2]),
            Text("TitleSortOrder", s[0]),
        ]
    else:
        items.append(Text("Year", "2024"))
    if major > 2:
        # 2.2 has neither a payment nor a radio station URL, nor terms of use.
        items += [
            Url("Payment", "http://example.com/pay"),
            Url("RadioStation", "http://radio.example.com/"),
            TermsOfUse("eng", s[4] + " may be copied"),
        ]
    return items


def expected_view(items, trim=lambda t: t):
    view = {}
    for item in items:
        item.add_to(view, trim)
    return normalise(view)


def normalise(view):
    """Lists sorted: mutagen keeps frames in a dictionary, so order is not its to tell."""
    return {key: sorted(value, key=lambda v: json.dumps(v, sort_keys=True))
            if isinstance(value, list) else value for key, value in view.items()}


def mutagen_typed_view(path):
    """What mutagen reads, in the shape of the engine's typed view, and the encoding
    byte of every frame that has one."""
    tag = ID3(path, translate=False)
    view, encodings = {}, []
    for frame in tag.values():
        fid = frame.FrameID
        if hasattr(frame, "encoding"):
            encodings.append((fid, int(frame.encoding)))
        if fid == "TXXX":
            view.setdefault("user_text", []).append(
                {"description": frame.desc, "text": "\0".join(frame.text)})
        elif isinstance(frame, TextFrame) and fid in PROPERTY_OF_TEXT_FRAME:
            view.setdefault("fields", {})[PROPERTY_OF_TEXT_FRAME[fid]] = "\0".join(
                str(t) for t in frame.text)
        elif fid == "WXXX":
            view.setdefault("user_url", []).append({"description": frame.desc, "url": frame.url})
        elif fid == "WOAR":
            view.setdefault("web_artist", []).append(frame.url)
        elif fid == "WCOM":
            view.setdefault("web_commercial", []).append(frame.url)
        elif isinstance(frame, UrlFrame) and fid in PROPERTY_OF_WEB_FRAME:
            view.setdefault("web", {})[PROPERTY_OF_WEB_FRAME[fid]] = frame.url
        elif fid in ("COMM", "USLT"):
            content = "\0".join(frame.text) if fid == "COMM" else frame.text
            view.setdefault("comments" if fid == "COMM" else "lyrics", []).append(
                {"language": frame.lang, "description": frame.desc, "content": content})
        elif fid == "APIC":
            view.setdefault("pictures", []).append(
                {"mime": frame.mime, "picture_type": int(frame.type), "description": frame.desc,
                 "size": len(frame.data), "data": frame.data.hex()})
        elif fid == "POPM":
            view.setdefault("popularimeter", []).append(
                {"email": frame.email, "rating": frame.rating, "counter": getattr(frame, "count", 0)})
        elif fid == "USER":
            view["terms_of_use"] = {"language": frame.lang, "text": frame.text}
        elif fid == "PCNT":
            view["play_counter"] = frame.count
        else:
            view.setdefault("unexpected", []).append(fid)
    for raw in tag.unknown_frames:
        view.setdefault("unexpected", []).append(raw[:4].decode("latin-1"))
    return tag, normalise(view), sorted(encodings)


def syncsafe(value, count=4):
    return bytes((value >> (7 * (count - 1 - i))) & 0x7F for i in range(count))


def mutagen_write(path, major, frames):
    """Saves the frames with mutagen; 2.2, which mutagen does not save, as mutagen's own
    renderings of its 2.2 frames in a tag laid out by the 2.2 standard."""
    if major > 2:
        tag = ID3()
        for frame in frames:
            tag.add(frame)
        tag.save(path, v2_version=major)
        return
    region = b""
    for frame in frames:
        data = frame._writeData(RENDER)
        region += type(frame).__name__.encode("ascii") + len(data).to_bytes(3, "big") + data
    region += bytes(64)  # padding
    with open(path, "r+b") as f:
        audio = f.read()
        f.seek(0)
        f.write(b"ID3\x02\x00\x00" + syncsafe(len(region)) + region + audio)


class TypedInteropTestCase(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory(prefix="sonivex-typed-interop-")
        self.addCleanup(folder.cleanup)
        self.folder = folder.name
        self.count = 0

    def new_file(self):
        self.count += 1
        path = os.path.join(self.folder, "track%d.mp3" % self.count)
        with open(path, "wb") as f:
            f.write(AUDIO)
        return path

    def engine_write(self, path, lines):
        result = subprocess.run([WRITER, path], input="\n".join(lines) + "\n", text=True,
                                capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, "interop_write failed:\n" + result.stderr)

    def engine_typed_view(self, path):
        """The engine's typed view from sonivex-cli info, with the picture bytes added
        from the dumper (info gives only their size): the pictures are the last bytes of
        the APIC or PIC payloads, in the same order."""
        result = subprocess.run([CLI, "info", path], text=True, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, "sonivex-cli info failed:\n" + result.stderr)
        info = json.loads(result.stdout)
        self.assertNotIn("warnings", info)
        id3 = info["id3v2"]
        view = {key: id3[key] for key in TYPED_KEYS if key in id3}
        if "pictures" in view:
            result = subprocess.run([DUMPER, path], text=True, capture_output=True, timeout=60)
            self.assertEqual(result.returncode, 0, "interop_dump failed:\n" + result.stderr)
            payloads = [bytes.fromhex(f["data"]) for f in json.loads(result.stdout)["frames"]
                        if f["name"] in ("APIC", "PIC")]
            self.assertEqual(len(payloads), len(view["pictures"]))
            for picture, payload in zip(view["pictures"], payloads):
                picture["data"] = payload[len(payload) - picture["size"]:].hex()
        return id3, normalise(view)

    def assert_audio_intact(self, path, tag_size):
        with open(path, "rb") as f:
            self.assertEqual(f.read()[tag_size:], AUDIO, "audio after the tag changed")

    def assert_views_equal(self, got, expected, reader):
        # Key by key, so that a failure names the kind.
        for key in sorted(set(got) | set(expected)):
            self.assertEqual(got.get(key), expected.get(key), "%s, %s" % (reader, key))


def case_name(major, encoding):
    return "2.%d %s" % (major, ENCODING_NAMES[encoding])


class EngineWritesMutagenReads(TypedInteropTestCase):
    """Every kind written through the engine's typed API, read by mutagen and by the
    engine's own typed view."""

    def test_every_kind_in_every_version_and_encoding(self):
        for major, encoding in CASES:
            with self.subTest(case_name(major, encoding)):
                items = items_for(major, encoding)
                path = self.new_file()
                self.engine_write(path, ["version %d" % major, "encoding " + ENCODING_NAMES[encoding]] +
                                  [item.line() for item in items])

                tag, view, encodings = mutagen_typed_view(path)
                self.assertEqual(tag.version, (2, major, 0))
                self.assert_views_equal(view, expected_view(items), "mutagen")
                # The engine gives the tag's encoding to every frame that follows it, and
                # encoding 0 to byte text.
                self.assertEqual(encodings, sorted((item.frame_id, item.engine_encoding(encoding))
                                                   for item in items if item.carries_encoding))

                id3, view = self.engine_typed_view(path)
                self.assertEqual(id3["version"], "2.%d.0" % major)
                self.assert_views_equal(view, expected_view(items, engine_reads), "engine")
                self.assert_audio_intact(path, tag.size)


class MutagenWritesEngineReads(TypedInteropTestCase):
    """Every kind written by mutagen, read by the engine's typed view."""

    def test_every_kind_in_every_version_and_encoding(self):
        for major, encoding in CASES:
            with self.subTest(case_name(major, encoding)):
                items = items_for(major, encoding)
                path = self.new_file()
                mutagen_write(path, major, [item.frame(major, encoding) for item in items])

                # mutagen reading its own file first, so that a fault of this script's
                # 2.2 layout or of mutagen is not put down to the engine.
                tag, view, encodings = mutagen_typed_view(path)
                self.assertEqual(tag.version, (2, major, 0))
                self.assert_views_equal(view, expected_view(items), "mutagen")
                self.assertEqual({e for _, e in encodings}, {encoding})

                id3, view = self.engine_typed_view(path)
                self.assertEqual(id3["version"], "2.%d.0" % major)
                self.assert_views_equal(view, expected_view(items, engine_reads), "engine")
                self.assert_audio_intact(path, tag.size)


def main():
    global WRITER, DUMPER, CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--writer", required=True)
    parser.add_argument("--dumper", required=True)
    parser.add_argument("--cli", required=True)
    args, rest = parser.parse_known_args()
    WRITER, DUMPER, CLI = args.writer, args.dumper, args.cli
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
