#!/usr/bin/python3
"""Interoperability of the engine's ID3v2 tags with mutagen, in both directions.

Tags the engine writes (2.2, 2.3, 2.4, with unsynchronisation, compression, extended
headers and grouping) must read back in mutagen frame for frame with the same payload
bytes; tags mutagen writes (2.3, 2.4) must read in the engine with the same payloads;
and a mutagen tag the engine saves again must still read the same in mutagen. The audio
bytes after the tag must survive every write.

"Same payload" needs care, because mutagen parses frames into objects. A frame mutagen
parsed is turned back into bytes with mutagen's own frame renderer (Frame._writeData);
this is exact for the frames below because their payloads are themselves mutagen's
rendering (text ends in its terminator, UTF-16 carries FF FE per value, as mutagen writes
it), so a frame reads back equal exactly when every field survived. Frames mutagen does
not know it keeps as raw bytes, which are compared as they are. Where mutagen departs
from the bytes, the comparison says so and why (2.2 frames, grouping).

The flag bits, the order of the optional frame-header fields, the data-length indicator,
the extended header and the absence of false synchronisations, which mutagen does not
expose, are checked against the raw file by the layout the ID3v2 standards define.

Run by ctest with the two engine programs:
    mutagen_interop_test.py --writer PATH --dumper PATH [unittest arguments]
Exits 77 (skipped) when this interpreter cannot import mutagen.
"""

import argparse
import collections
import json
import os
import subprocess
import sys
import tempfile
import unittest
import zlib

try:
    from mutagen.id3 import (
        APIC, CHAP, CNT, COM, COMM, CTOC, CTOCFlags, ID3, PCNT, PIC, POP, POPM, PRIV,
        TAL, TALB, TCOM, TDRC, TIT2, TP1, TPE1, TPE2, TRCK, TT2, TXX, TXXX, TYER, ULT,
        USLT, WOAR, WXX, WXXX, BinaryFrame, Frames_2_2, TextFrame)
    # Internal to mutagen but the only way to reach its renderer: the configuration a
    # frame is rendered with, the function that renders a whole frame as saved, and
    # its decoder for unsynchronised data.
    from mutagen.id3._util import ID3SaveConfig, unsynch
    from mutagen.id3._tags import save_frame
except ImportError as error:
    print("skipped: /usr/bin/python3 cannot import mutagen (%s)" % error)
    sys.exit(77)

WRITER = None
DUMPER = None


class XSVX(BinaryFrame):
    """A frame of a valid identifier that neither mutagen nor the engine knows."""


# Three MPEG-1 layer III frame headers with filler. The tag must not swallow or shift
# any of it; the FF FB right after the tag is the false sync that unsynchronisation is
# about, and the FF 00 / FF E0 pairs in the filler must come through untouched.
AUDIO = b"".join(bytes.fromhex("fffb9064") + bytes(range(256)) + b"\xff\x00\xff\xe0" * 8
                 for _ in range(3))

# Bytes that need unsynchronisation: FF E0 and FF FF (false syncs), FF 00 (must become
# FF 00 00 so that decoding leaves it alone), and JPEG's own FF D8 FF E0 start.
JPEG = (b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(range(256)) + b"\xff\x00\xff\xff" * 4 +
        b"\x00" * 64 + b"\xff\xd9")
BINARY = b"\x00\x01\xff\xe0\xff\x00\xff\xff\xfe\xff\xf1\x7f"
# Long and repetitive, so that compression clearly changes the bytes. No trailing
# blank: the engine trims those from a frame's text.
LONG_TEXT = ("Compressible text that repeats. " * 40).strip()

# mutagen's 2.2 frame classes derive from their 2.3/2.4 counterparts, and mutagen turns a
# 2.2 frame it reads into that counterpart (TT2 becomes TIT2, PIC becomes APIC).
NAME_22_OF = {cls.__base__: name for name, cls in Frames_2_2.items()}

RENDER = ID3SaveConfig(4)


def render(frame):
    """mutagen's rendering of a frame's fields. The 2.4 configuration writes the fields
    as they are; the 2.3 one would silently turn UTF-8 and UTF-16BE into UTF-16."""
    return frame._writeData(RENDER)


def render_as_22(frame):
    """A frame mutagen read from a 2.2 tag, rendered by its 2.2 class again. Needed for
    PIC: once upgraded to APIC its 3-letter image format would render as a terminated
    MIME type. For the other 2.2 frames both classes share their fields."""
    name = NAME_22_OF[type(frame)]
    cls = Frames_2_2[name]
    fields = {field.name: getattr(frame, field.name) for field in cls._framespec}
    for field in cls._optionalspec:
        if hasattr(frame, field.name):
            fields[field.name] = getattr(frame, field.name)
    return name, cls(**fields)._writeData(RENDER)


def syncsafe(data):
    value = 0
    for b in data:
        value = (value << 7) | (b & 0x7F)
    return value


def resync(data):
    """Removes the zero byte after every FF, as the standard decodes; unlike mutagen's
    decoder it also takes data that ends in FF."""
    out = bytearray()
    previous = 0
    for b in data:
        if not (previous == 0xFF and b == 0):
            out.append(b)
        previous = b
    return bytes(out)


def has_false_sync(data):
    return any(a == 0xFF and b >= 0xE0 for a, b in zip(data, data[1:]))


def needs_unsync(data):
    return any(a == 0xFF and (b >= 0xE0 or b == 0) for a, b in zip(data, data[1:]))


def mutagen_view(path):
    """The frames mutagen reads from a file, as sorted (identifier, payload) pairs, the
    identifier in the file's own version. mutagen keeps frames in a dictionary, so order
    is not its to tell; the raw layout checks below cover order."""
    tag = ID3(path, translate=False)
    major = tag.version[1]
    frames = []
    for frame in tag.values():
        if major == 2:
            frames.append(render_as_22(frame))
        else:
            frames.append((frame.FrameID, render(frame)))
    for raw in tag.unknown_frames:
        # Kept as header and body as found (after whole-tag resynchronisation).
        if major == 2:
            frames.append((raw[:3].decode("ascii"), raw[6:]))
            continue
        body = raw[10:]
        if major == 4 and raw[9] & 0x02:
            body = unsynch.decode(body)
        frames.append((raw[:4].decode("ascii"), body))
    return tag, sorted(frames)


def parse_raw_tag(data):
    """Splits a tag the way the ID3v2 standards lay it out: the header, the extended
    header, and the frames with their flag words and bodies as stored (after whole-tag
    resynchronisation in 2.2 and 2.3), then the padding."""
    assert data[:3] == b"ID3", "no tag at the start of the file"
    major, flags = data[3], data[5]
    size = syncsafe(data[6:10])
    region = data[10:10 + size]
    if major < 4 and flags & 0x80:
        # mutagen's decoder refuses FF followed by E0 or more, or FF at the end: both
        # mean a false sync the writer failed to break.
        region = unsynch.decode(region)
    extended = None
    if major > 2 and flags & 0x40:
        if major == 3:
            n = int.from_bytes(region[:4], "big")  # excludes itself
            extended, region = region[4:4 + n], region[4 + n:]
        else:
            n = syncsafe(region[:4])  # includes itself
            extended, region = region[4:n], region[n:]
    frames = []
    pos = 0
    header_size = 6 if major == 2 else 10
    while pos + header_size <= len(region) and region[pos] != 0:
        if major == 2:
            name = region[pos:pos + 3]
            size, word = int.from_bytes(region[pos + 3:pos + 6], "big"), 0
        else:
            name = region[pos:pos + 4]
            raw_size = region[pos + 4:pos + 8]
            size = int.from_bytes(raw_size, "big") if major == 3 else syncsafe(raw_size)
            word = int.from_bytes(region[pos + 8:pos + 10], "big")
        body = region[pos + header_size:pos + header_size + size]
        assert len(body) == size, "frame %r runs past the tag" % name
        frames.append((name.decode("ascii"), word, body))
        pos += header_size + size
    return major, flags, extended, frames, region[pos:]


def decode_body(major, word, body):
    """A stored frame body back to (group symbol, plain payload), by the standard's
    order of the optional fields: 2.3 decompressed size, encryption, group; 2.4 group,
    encryption, data-length indicator."""
    group = None
    if major == 3:
        inflated_size = None
        if word & 0x0080:
            inflated_size, body = int.from_bytes(body[:4], "big"), body[4:]
        if word & 0x0020:
            group, body = body[0], body[1:]
        if word & 0x0080:
            body = zlib.decompress(body)
            assert len(body) == inflated_size, "2.3 decompressed size field is wrong"
    elif major == 4:
        data_length = None
        if word & 0x0040:
            group, body = body[0], body[1:]
        if word & 0x0001:
            data_length, body = syncsafe(body[:4]), body[4:]
        if word & 0x0002:
            assert not has_false_sync(body), "unsynchronised frame still has a false sync"
            body = resync(body)
        if word & 0x0008:
            body = zlib.decompress(body)
        if data_length is not None:
            assert data_length == len(body), "2.4 data-length indicator is wrong"
    return group, body


EngineFrame = collections.namedtuple("EngineFrame", "name payload flags group")


def ef(frame, *flags, group=None):
    """A frame for the engine to write: mutagen's rendering of `frame`, so that mutagen
    can read it back into equal bytes."""
    return EngineFrame(type(frame).__name__, render(frame), flags, group)


def raw_ef(name, payload, *flags, group=None):
    return EngineFrame(name, payload, flags, group)


class EngineCase:
    def __init__(self, name, major, frames, header=(), extended=(), restrictions=None,
                 header_unsync_kept=None):
        self.name = name
        self.major = major
        self.frames = frames
        self.header = header
        self.extended = extended
        self.restrictions = restrictions
        # 2.4 only: whether the header's unsynchronisation flag must survive, which it
        # does only when every frame needed unsynchronising.
        self.header_unsync_kept = header_unsync_kept

    def lines(self):
        lines = ["version %d" % self.major]
        if self.header:
            lines.append("header " + " ".join(self.header))
        if self.extended:
            lines.append("extended " + " ".join(self.extended))
        if self.restrictions is not None:
            lines.append("restrictions %d" % self.restrictions)
        for f in self.frames:
            words = ["frame", f.name, f.payload.hex()] + list(f.flags)
            if f.group is not None:
                words.append("group=%d" % f.group)
            lines.append(" ".join(words))
        return lines


def frames_22():
    return [
        ef(TT2(encoding=0, text=["Caf\xe9 \xff\xe0 title"])),
        ef(TP1(encoding=1, text=["\xffrtist \xe0"])),
        ef(TAL(encoding=0, text=["Album"])),
        ef(COM(encoding=1, lang="eng", desc="", text=["Comment \xff"])),
        ef(TXX(encoding=0, desc="KEY", text=["value"])),
        ef(WXX(encoding=0, desc="site", url="http://example.com/")),
        ef(PIC(encoding=0, mime="JPG", type=3, desc="front", data=JPEG)),
        ef(CNT(count=1234)),
        # Rating 255 then a zero count byte: an FF 00 pair across fields.
        ef(POP(email="a@example.com", rating=255, count=3)),
        ef(ULT(encoding=0, lang="eng", desc="", text="line one\nline two")),
    ]


def frames_23():
    return [
        ef(TIT2(encoding=0, text=["Title \xff\xe0"])),
        ef(TPE1(encoding=1, text=["\xc6r\xf8sk\xf8bing \xff"])),
        ef(TALB(encoding=1, text=[LONG_TEXT])),
        ef(TYER(encoding=0, text=["2024"])),
        ef(COMM(encoding=1, lang="eng", desc="note", text=["Comment \xff"])),
        ef(APIC(encoding=0, mime="image/jpeg", type=3, desc="Cover", data=JPEG)),
        ef(TXXX(encoding=1, desc="replaygain_track_gain", text=["-6.5 dB"])),
        ef(WXXX(encoding=0, desc="shop", url="http://example.com/buy")),
        ef(WOAR(url="http://example.com/artist")),
        ef(PRIV(owner="com.example.sonivex", data=BINARY)),
        ef(POPM(email="b@example.com", rating=255, count=2 ** 32 + 5)),
        ef(PCNT(count=7)),
    ]


def frames_24():
    return [
        ef(TIT2(encoding=3, text=["\xdcn\xefc\xf6d\xe9 \U0001d11e title"])),
        ef(TPE1(encoding=1, text=["\xc6r\xf8sk\xf8bing \xff"])),
        ef(TALB(encoding=2, text=["\u014csaka \u5927\u962a"])),
        ef(TCOM(encoding=0, text=["Fran\xe7oise \xff\xe0"])),
        ef(TPE2(encoding=3, text=["First", "Second"])),
        ef(TDRC(encoding=3, text=["2024-05-06"])),
        ef(TRCK(encoding=3, text=[LONG_TEXT])),
        ef(COMM(encoding=3, lang="deu", desc="", text=["Kommentar \xff"])),
        ef(APIC(encoding=3, mime="image/jpeg", type=3, desc="Cover", data=JPEG)),
        ef(TXXX(encoding=2, desc="MusicBrainz Album Id", text=["f00d"])),
        ef(WXXX(encoding=3, desc="\xfcber", url="http://example.com/")),
        ef(PRIV(owner="com.example.sonivex", data=BINARY)),
        ef(POPM(email="c@example.com", rating=196, count=12)),
        ef(PCNT(count=2 ** 40)),
    ]


def with_flags(frames, names, *flags):
    return [f._replace(flags=f.flags + flags) if f.name in names else f for f in frames]


ENGINE_CASES = [
    EngineCase("2.2 plain", 2, frames_22()),
    EngineCase("2.2 unsynchronised", 2, frames_22(), header=("unsync",)),
    EngineCase("2.3 plain", 3, frames_23()),
    # PRIV last: its payload ends in FF, which meets the zero padding.
    EngineCase("2.3 unsynchronised", 3,
               frames_23() + [raw_ef("PRIV", PRIV(owner="last", data=b"\x01\xff")._writeData(RENDER))],
               header=("unsync",)),
    EngineCase("2.3 compressed", 3, with_flags(frames_23(), {"TALB", "APIC", "COMM"}, "compressed")),
    EngineCase("2.3 compressed and unsynchronised", 3,
               with_flags(frames_23(), {"TALB", "APIC", "PRIV"}, "compressed"), header=("unsync",)),
    EngineCase("2.3 extended header", 3, with_flags(frames_23(), {"TALB"}, "compressed"),
               header=("extended", "experimental")),
    EngineCase("2.3 grouping", 3,
               [f._replace(group=0x81) if f.name in {"PRIV", "WOAR"} else f for f in frames_23()]),
    EngineCase("2.4 plain", 4, frames_24()),
    EngineCase("2.4 frames unsynchronised one by one", 4,
               with_flags(frames_24(), {"TCOM", "APIC", "PRIV", "TPE1", "TIT2"}, "unsync")),
    # Every frame here contains a false sync or an FF 00 pair (UTF-16 starts with FF FE).
    EngineCase("2.4 whole tag unsynchronised", 4,
               [f for f in frames_24() if f.name in {"TPE1", "TCOM", "APIC", "PRIV"}]
               + [ef(COMM(encoding=1, lang="eng", desc="", text=["x"])),
                  ef(POPM(email="c@example.com", rating=255, count=12))],
               header=("unsync",), header_unsync_kept=True),
    # A frame without FF cannot be unsynchronised, so the header may not claim it.
    EngineCase("2.4 header unsynchronisation dropped", 4, frames_24(),
               header=("unsync",), header_unsync_kept=False),
    EngineCase("2.4 compressed", 4, with_flags(frames_24(), {"TRCK", "APIC", "TIT2"}, "compressed")),
    EngineCase("2.4 compressed and unsynchronised", 4,
               with_flags(with_flags(frames_24(), {"TRCK", "APIC", "PRIV"}, "compressed"),
                          {"APIC", "PRIV", "TCOM"}, "unsync")),
    # Restrictions 10 1 10 1 10: 32 frames/40 KB, Latin-1 or UTF-8, 128 characters,
    # PNG or JPEG, 64x64.
    EngineCase("2.4 extended header with restrictions", 4,
               with_flags(frames_24(), {"TRCK"}, "compressed"),
               header=("extended", "experimental"), extended=("update", "restrictions"),
               restrictions=0b10110110),
    EngineCase("2.4 grouping", 4,
               [f._replace(group=0x82) if f.name in {"PRIV"} else f for f in frames_24()]),
]


class InteropTestCase(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory(prefix="sonivex-interop-")
        self.addCleanup(folder.cleanup)
        self.folder = folder.name
        self.count = 0

    def new_file(self):
        """A fresh file holding only the fake audio."""
        self.count += 1
        path = os.path.join(self.folder, "track%d.mp3" % self.count)
        with open(path, "wb") as f:
            f.write(AUDIO)
        return path

    def engine_write(self, path, lines):
        result = subprocess.run([WRITER, path], input="\n".join(lines) + "\n", text=True,
                                capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, "interop_write failed:\n" + result.stderr)

    def engine_dump(self, path):
        result = subprocess.run([DUMPER, path], text=True, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, "interop_dump failed:\n" + result.stderr)
        dump = json.loads(result.stdout)
        self.assertEqual(dump["messages"], [])
        return dump

    def assert_audio_intact(self, path, tag_size):
        with open(path, "rb") as f:
            data = f.read()
        self.assertEqual(data[tag_size:], AUDIO, "audio after the tag changed")

    def assert_text_agrees(self, dump, path):
        """The text the engine decodes equals mutagen's for every text frame. Encoding 0
        is Windows-1252 for the engine and Latin-1 for mutagen; the texts here keep to
        A0-FF, where the two agree. The engine reads a frame's text as one string, so
        values stand joined by the zero separator; UTF-16 frames of several values are
        skipped, each value brings its own byte-order mark."""
        tag = ID3(path, translate=False)
        major = tag.version[1]
        for frame in dump["frames"]:
            if "text" not in frame:
                continue
            key = frame["name"]
            if major == 2:
                key = Frames_2_2[key].__base__.__name__
            theirs = tag.get(key)
            if not isinstance(theirs, TextFrame):
                continue
            values = [str(v) for v in theirs.text]
            if theirs.encoding == 1 and len(values) > 1:
                continue
            self.assertEqual(frame["text"], "\0".join(values), key)


class EngineWritesMutagenReads(InteropTestCase):
    """Tags written through the engine, read by mutagen."""

    def check_case(self, case):
        path = self.new_file()
        self.engine_write(path, case.lines())
        with open(path, "rb") as f:
            data = f.read()

        tag, got = mutagen_view(path)
        self.assertEqual(tag.version, (2, case.major, 0))
        # mutagen reads the group symbol as the first payload byte: it skips the
        # group field of neither 2.3 nor 2.4. Where the payload starts with a text
        # (PRIV's owner, a URL) the symbol lands in that text, and mutagen's rendering
        # gives it back in front, which still pins where the engine put it.
        expected = sorted((f.name, (bytes([f.group]) if f.group is not None else b"") + f.payload)
                          for f in case.frames)
        self.assertEqual(got, expected)
        self.assert_audio_intact(path, tag.size)

        major, flags, extended, raw, padding = parse_raw_tag(data)
        self.assertEqual(padding, bytes(len(padding)), "padding is not zero")
        self.assertEqual([r[0] for r in raw], [f.name for f in case.frames], "frame order")
        unsynced = []
        for f, (name, word, body) in zip(case.frames, raw):
            group, payload = decode_body(major, word, body)
            self.assertEqual((group, payload), (f.group, f.payload), name)
            unsynced.append(self.check_flag_word(case, f, word, body))

        header_unsync = "unsync" in case.header
        if case.major == 4 and header_unsync:
            self.assertEqual(all(unsynced), case.header_unsync_kept)
            header_unsync = case.header_unsync_kept
        self.assertEqual(bool(flags & 0x80), header_unsync, "header unsynchronisation flag")
        self.assertEqual(tag.f_unsynch, header_unsync)
        if header_unsync:
            self.assertFalse(has_false_sync(data[10:tag.size]), "false sync left in the tag")
        self.assertEqual(bool(flags & 0x20), "experimental" in case.header)
        self.assertEqual(flags & 0x1F, 0, "undefined header flags set")
        self.assertEqual(tag.f_extended, "extended" in case.header)
        if "extended" in case.header:
            self.check_extended_header(case, extended)

        dump = self.engine_dump(path)
        self.assertEqual(dump["tag_size"], tag.size)
        self.assertEqual([(d["name"], bytes.fromhex(d["data"])) for d in dump["frames"]],
                         [(f.name, f.payload) for f in case.frames], "engine reading its own tag")
        self.assert_text_agrees(dump, path)

    def check_flag_word(self, case, frame, word, body):
        """The flag bits the standard gives each requested flag; returns whether a 2.4
        frame is stored unsynchronised."""
        compressed = "compressed" in frame.flags
        grouped = frame.group is not None
        if case.major == 2:
            self.assertEqual(word, 0)
            return False
        if case.major == 3:
            self.assertEqual(word, (0x80 if compressed else 0) | (0x20 if grouped else 0), frame.name)
            return False
        unsync_bit = word & 0x0002
        self.assertEqual(word & ~0x0002, (0x09 if compressed else 0) | (0x40 if grouped else 0), frame.name)
        if "unsync" in frame.flags or "unsync" in case.header:
            # The flag must be set when unsynchronisation changed the frame and should
            # not be otherwise.
            stored = body[(1 if grouped else 0) + (4 if compressed else 0):]
            if unsync_bit:
                self.assertNotEqual(resync(stored), stored, frame.name)
            else:
                self.assertFalse(needs_unsync(stored), frame.name)
            if not compressed:
                self.assertEqual(bool(unsync_bit), needs_unsync(frame.payload), frame.name)
        else:
            self.assertEqual(unsync_bit, 0, frame.name)
        return bool(unsync_bit)

    def check_extended_header(self, case, extended):
        if case.major == 3:
            # Flags 0 (no CRC), then the padding size.
            self.assertEqual(len(extended), 6)
            self.assertEqual(extended[:2], b"\x00\x00")
            return
        # One flag byte; the update flag carries an empty field, the restrictions a
        # field of one byte.
        expected = bytes([1, (0x40 if "update" in case.extended else 0) |
                          (0x10 if "restrictions" in case.extended else 0)])
        if "update" in case.extended:
            expected += b"\x00"
        if "restrictions" in case.extended:
            expected += bytes([1, case.restrictions])
        self.assertEqual(extended, expected)

    def test_v2_2(self):
        for case in ENGINE_CASES:
            if case.major == 2:
                with self.subTest(case.name):
                    self.check_case(case)

    def test_v2_3(self):
        for case in ENGINE_CASES:
            if case.major == 3:
                with self.subTest(case.name):
                    self.check_case(case)

    def test_v2_4(self):
        for case in ENGINE_CASES:
            if case.major == 4:
                with self.subTest(case.name):
                    self.check_case(case)

    def test_grouping_with_compression_keeps_the_field_order(self):
        # mutagen cannot read these (it takes the group symbol for compressed data),
        # so only the standard's layout is checked: 2.3 puts the decompressed size
        # before the group symbol, 2.4 the group symbol before the data-length indicator.
        for major in (3, 4):
            with self.subTest(major=major):
                payload = render(TXXX(encoding=1, desc="k", text=[LONG_TEXT + "\xff"]))
                case = EngineCase("grouped", major,
                                  [raw_ef("TXXX", payload, "compressed", group=0x83)]
                                  + ([raw_ef("PRIV", BINARY, "compressed", "unsync", group=0x84)]
                                     if major == 4 else []))
                path = self.new_file()
                self.engine_write(path, case.lines())
                with open(path, "rb") as f:
                    _, _, _, raw, _ = parse_raw_tag(f.read())
                self.assertEqual(len(raw), len(case.frames))
                for f, (name, word, body) in zip(case.frames, raw):
                    self.assertEqual(decode_body(major, word, body), (f.group, f.payload), name)

    def test_unsynchronised_2_4_frame_ending_in_ff(self):
        # The 2.4 standard prefers nothing after a final FF of an unsynchronised frame
        # and only allows a 00 there. mutagen's decoder refuses data ending in FF and
        # then parses the frame without resynchronising it, so it would read the zeros
        # inserted elsewhere in it as data; this case is checked by the layout alone.
        payload = BINARY + b"\xff"
        case = EngineCase("ends in FF", 4, [raw_ef("PRIV", payload, "unsync"),
                                            ef(TIT2(encoding=0, text=["After"]))])
        path = self.new_file()
        self.engine_write(path, case.lines())
        with open(path, "rb") as f:
            _, _, _, raw, _ = parse_raw_tag(f.read())
        name, word, body = raw[0]
        self.assertEqual(word, 0x0002)
        self.assertEqual(body[-1:], b"\xff")
        self.assertEqual(decode_body(4, word, body), (None, payload))
        self.assertEqual(bytes.fromhex(self.engine_dump(path)["frames"][0]["data"]), payload)


def mutagen_source_frames(major):
    frames = [
        TIT2(encoding=3 if major == 4 else 1, text=["\xdcn\xefc\xf6d\xe9 \U0001d11e title"]),
        TPE1(encoding=1, text=["\xc6r\xf8sk\xf8bing \xff"]),
        TALB(encoding=2, text=["\u014csaka \u5927\u962a"]),
        TCOM(encoding=0, text=["Fran\xe7oise \xff\xe0"]),
        TPE2(encoding=3, text=["First", "Second"]),
        TRCK(encoding=0, text=["3/12"]),
        COMM(encoding=1, lang="eng", desc="", text=["A comment \xff"]),
        COMM(encoding=3, lang="deu", desc="Notiz", text=["Kommentar"]),
        # Above 127 bytes, so a 2.4 size field differs from a plain big-endian one.
        APIC(encoding=0, mime="image/jpeg", type=3, desc="Cover", data=JPEG * 4),
        TXXX(encoding=3, desc="replaygain_track_gain", text=["-6.5 dB"]),
        TXXX(encoding=1, desc="MusicBrainz Album Id", text=["f00d"]),
        WXXX(encoding=0, desc="shop", url="http://example.com/buy"),
        PRIV(owner="com.example.sonivex", data=BINARY),
        POPM(email="a@example.com", rating=196, count=12),
        # Past 32 bits mutagen grows the counter to five bytes.
        PCNT(count=2 ** 33),
        USLT(encoding=3, lang="eng", desc="", text="line one\nline two"),
        # Frames the engine does not know: chapters (with frames inside) and a
        # made-up identifier.
        CHAP(element_id="ch1", start_time=0, end_time=5000, start_offset=0xFFFFFFFF,
             end_offset=0xFFFFFFFF, sub_frames=[TIT2(encoding=3, text=["Chapter one"])]),
        CTOC(element_id="toc", flags=CTOCFlags.TOP_LEVEL | CTOCFlags.ORDERED,
             child_element_ids=["ch1"], sub_frames=[TIT2(encoding=3, text=["Contents"])]),
        XSVX(data=b"made-up frame \xff\xe0\xff\x00"),
    ]
    frames.append(TDRC(encoding=3, text=["2024-05-06"]) if major == 4 else
                  TYER(encoding=0, text=["2024"]))
    return frames


def mutagen_write(path, major):
    """Saves the source frames with mutagen; returns its config."""
    tag = ID3()
    for frame in mutagen_source_frames(major):
        tag.add(frame)
    tag.save(path, v2_version=major)
    return tag, ID3SaveConfig(major, "/")


UNKNOWN_TO_ENGINE = {"CHAP", "CTOC", "XSVX"}


class MutagenWritesEngineReads(InteropTestCase):
    """Tags written by mutagen, read by the engine."""

    def expected_frames(self, tag, config, data, tag_size):
        """The frames as mutagen wrote them, in file order: each frame rendered the way
        mutagen's save renders it, found in the file. The renderings must tile the frame
        area exactly, which also proves they are what mutagen wrote."""
        pending = [save_frame(frame, config=config) for frame in tag.values()]
        frames = []
        pos = 10
        while pending:
            match = [r for r in pending if data.startswith(r, pos)]
            self.assertEqual(len(match), 1, "no single frame of mutagen's at offset %d" % pos)
            pending.remove(match[0])
            frames.append((match[0][:4].decode("ascii"), match[0][10:]))
            pos += len(match[0])
        self.assertEqual(data[pos:tag_size], bytes(tag_size - pos), "mutagen's padding")
        return frames, tag_size - pos

    def check_version(self, major):
        path = self.new_file()
        tag, config = mutagen_write(path, major)
        with open(path, "rb") as f:
            data = f.read()
        tag_size = ID3(path, translate=False).size
        expected, padding = self.expected_frames(tag, config, data, tag_size)

        dump = self.engine_dump(path)
        self.assertTrue(dump["exists"])
        self.assertEqual((dump["major"], dump["revision"]), (major, 0))
        self.assertEqual(dump["header_flags"], [])
        self.assertEqual(dump["tag_size"], tag_size)
        self.assertEqual(dump["padding"], padding)
        self.assertEqual([(d["name"], bytes.fromhex(d["data"])) for d in dump["frames"]], expected)
        for d in dump["frames"]:
            self.assertEqual(d["flags"], [], d["name"])
            self.assertEqual(d["kind"] == 0, d["name"] in UNKNOWN_TO_ENGINE, d["name"])
        self.assert_text_agrees(dump, path)
        self.assert_audio_intact(path, dump["tag_size"])

    def test_v2_3(self):
        self.check_version(3)

    def test_v2_4(self):
        self.check_version(4)


class EngineSavesMutagenTags(InteropTestCase):
    """A mutagen tag opened and committed again by the engine. Frames unknown to the
    engine survive only when the version stays; a 2.4-only frame goes in 2.3."""

    CASES = [
        ("2.4 kept as 2.4", 4, ["version 4"], set()),
        ("2.4 kept as 2.4, unsynchronised", 4, ["version 4", "header unsync"], set()),
        ("2.3 kept as 2.3, unsynchronised", 3, ["version 3", "header unsync"], set()),
        ("2.3 kept as 2.3, extended header", 3, ["version 3", "header extended"], set()),
        ("2.4 saved as 2.3", 4, ["version 3"], UNKNOWN_TO_ENGINE | {"TDRC"}),
    ]

    def test_resave(self):
        for name, source, lines, dropped in self.CASES:
            with self.subTest(name):
                path = self.new_file()
                mutagen_write(path, source)
                _, before = mutagen_view(path)
                self.engine_write(path, lines)
                tag, after = mutagen_view(path)
                self.assertEqual(tag.version[1], int(lines[0].split()[1]))
                self.assertEqual(after, [f for f in before if f[0] not in dropped])
                self.assert_audio_intact(path, tag.size)


def main():
    global WRITER, DUMPER
    parser = argparse.ArgumentParser()
    parser.add_argument("--writer", required=True)
    parser.add_argument("--dumper", required=True)
    args, rest = parser.parse_known_args()
    WRITER, DUMPER = args.writer, args.dumper
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
