#include "seeds.h"

#include <zlib.h>

#include <initializer_list>
#include <string_view>

namespace fuzz {
namespace {

using tags::TBytes;

TBytes Cat(std::initializer_list<TBytes> parts) {
  TBytes out;
  for (const TBytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TBytes Str(std::string_view text) { return TBytes(text.begin(), text.end()); }

TBytes BE(uint32_t value, int count) {
  TBytes out(static_cast<size_t>(count));
  for (int i = count - 1; i >= 0; --i, value >>= 8) out[size_t(i)] = uint8_t(value);
  return out;
}

TBytes SyncSafe(uint32_t value) {
  TBytes out(4);
  for (int i = 3; i >= 0; --i, value >>= 7) out[size_t(i)] = uint8_t(value & 0x7F);
  return out;
}

TBytes Zlib(const TBytes& plain) {
  uLongf size = compressBound(uLong(plain.size()));
  TBytes out(size);
  compress2(out.data(), &size, plain.data(), uLong(plain.size()), Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
}

TBytes Text(std::string_view text) { return Cat({{0}, Str(text)}); }

TBytes Frame22(std::string_view name, const TBytes& payload) {
  return Cat({Str(name), BE(uint32_t(payload.size()), 3), payload});
}

TBytes Frame23(std::string_view name, const TBytes& payload, uint8_t status = 0, uint8_t format = 0,
               const TBytes& extras = {}) {
  return Cat({Str(name), BE(uint32_t(extras.size() + payload.size()), 4), {status, format}, extras, payload});
}

TBytes Frame24(std::string_view name, const TBytes& payload, uint8_t status = 0, uint8_t format = 0,
               const TBytes& extras = {}) {
  return Cat({Str(name), SyncSafe(uint32_t(extras.size() + payload.size())), {status, format}, extras, payload});
}

// Header and body with `padding` zero bytes after it.
TBytes Tag(int major, uint8_t flags, const TBytes& body, size_t padding = 32) {
  return Cat({Str("ID3"), {uint8_t(major), 0, flags}, SyncSafe(uint32_t(body.size() + padding)), body,
              TBytes(padding, 0)});
}

// Two short MPEG frames and an ID3v1 block: what follows a tag in a real file.
TBytes Audio() {
  TBytes audio;
  for (int frame = 0; frame < 2; ++frame) {
    audio.insert(audio.end(), {0xFF, 0xFB, 0x90, 0x64});
    for (int i = 0; i < 60; ++i) audio.push_back(uint8_t(i * 37 + frame));
  }
  TBytes v1 = Str("TAG");
  v1.resize(128, 0);
  v1[3] = 'T';
  v1[127] = 12;
  return Cat({audio, v1});
}

}  // namespace

std::vector<TSeed> Seeds() {
  const TBytes comment = Cat({Text("eng"), {0}, Str("a comment")});
  const TBytes picture = Cat({{0}, Str("image/png"), {0, 3}, Str("cover"), {0}, {0x89, 'P', 'N', 'G', 0xFF, 0xE0}});
  const TBytes title = Text("Morning Walk");
  std::vector<TSeed> seeds;

  seeds.push_back({"v23-text-frames", Cat({Tag(3, 0, Cat({Frame23("TIT2", title), Frame23("TPE1", Text("The Quiet Ones")),
                                                          Frame23("TYER", Text("2004")), Frame23("COMM", comment)})),
                                           Audio()})});
  seeds.push_back({"v22-text-frames", Cat({Tag(2, 0, Cat({Frame22("TT2", title), Frame22("TP1", Text("Artist")),
                                                          Frame22("COM", comment), Frame22("PIC", picture)})),
                                           Audio()})});
  seeds.push_back({"v24-text-frames", Cat({Tag(4, 0, Cat({Frame24("TIT2", Cat({{3}, Str("Stra\xC3\x9F" "e")})),
                                                          Frame24("TDRC", Text("2004-05-06")),
                                                          Frame24("APIC", picture)})),
                                           Audio()})});

  // Flags and the optional fields they bring.
  const TBytes plain = Str("a payload long enough to be worth compressing, compressing, compressing");
  seeds.push_back({"v23-compressed-frame",
                   Cat({Tag(3, 0, Frame23("TIT2", Zlib(Cat({{0}, plain})), 0, 0x80, BE(uint32_t(plain.size() + 1), 4))),
                        Audio()})});
  seeds.push_back({"v23-encrypted-grouped-frames",
                   Cat({Tag(3, 0, Cat({Frame23("PRIV", Str(std::string_view("owner\0data", 10)), 0xE0, 0x40, {0x81}),
                                       Frame23("TIT2", title, 0, 0x20, {0x05}),
                                       Frame23("XYZW", Str("unknown but valid"))})),
                        Audio()})});
  seeds.push_back({"v24-frame-flags",
                   Cat({Tag(4, 0, Cat({Frame24("TIT2", Cat({{0}, {0xFF, 0x00, 0xFB}}), 0x70, 0x02),
                                       Frame24("TALB", Text("Album"), 0, 0x41, Cat({{0x07}, SyncSafe(6)})),
                                       Frame24("TPE1", Zlib(plain), 0, 0x09, SyncSafe(uint32_t(plain.size())))})),
                        Audio()})});
  seeds.push_back({"v22-compressed-meta-frame",
                   Cat({Tag(2, 0, Frame22("CDM", Cat({Str("z"), BE(6 + uint32_t(title.size()), 4),
                                                      Zlib(Frame22("TT2", title))}))),
                        Audio()})});

  // Header flags and what they bring.
  seeds.push_back({"v23-unsynchronised-tag",
                   Cat({Tag(3, 0x80, Frame23("TIT2", Cat({{0}, {0xFF, 0x00, 0xE0, 0xFF, 0x00, 0x00}}))), Audio()})});
  seeds.push_back({"v23-extended-header-crc",
                   Cat({Tag(3, 0x40, Cat({BE(10, 4), {0x80, 0}, BE(32, 4), BE(0xDEADBEEF, 4), Frame23("TIT2", title)})),
                        Audio()})});
  seeds.push_back({"v24-extended-header-all-flags",
                   Cat({Tag(4, 0x40, Cat({SyncSafe(15), {1, 0x70}, {0}, {5, 0x01, 0x02, 0x03, 0x04, 0x05}, {1, 0x9C},
                                         Frame24("TIT2", title)})),
                        Audio()})});
  seeds.push_back({"v24-footer", [&] {
                     const TBytes tag = Tag(4, 0x10, Frame24("TIT2", title), 0);
                     return Cat({tag, Str("3DI"), TBytes(tag.begin() + 3, tag.begin() + 10), Audio()});
                   }()});
  seeds.push_back({"v22-compression-flag", Cat({Tag(2, 0x40, Frame22("TT2", title)), Audio()})});

  // Damage.
  seeds.push_back({"frame-runs-past-tag-end",
                   Cat({Tag(3, 0, Cat({Frame23("TIT2", title), Str("TPE1"), BE(5000, 4), {0, 0}, Str("short")}), 0),
                        Audio()})});
  seeds.push_back({"tag-runs-past-file-end", Cat({Str("ID3"), {3, 0, 0}, SyncSafe(100000), Frame23("TIT2", title)})});
  seeds.push_back({"corrupt-compressed-frame",
                   Tag(3, 0, Frame23("TIT2", Str("not zlib at all"), 0, 0x80, BE(100, 4)))});
  seeds.push_back({"unknown-major-version", Cat({Tag(5, 0, Frame23("TIT2", title)), Audio()})});
  seeds.push_back({"no-tag", Audio()});
  // The end of the file: a Lyrics3 block in front of an ID3v1 tag, and a "Xing" frame.
  const TBytes lyrics = Cat({Str("LYRICSBEGIN"), Str("IND00003110"), Str("LYR00005la la"), Str("INF00004info"),
                             Str("000047"), Str("LYRICS200")});
  const TBytes v1 = Cat({Str("TAG"), Str("Title"), TBytes(25, 0), Str("Artist"), TBytes(24, 0), TBytes(30, 0),
                         Str("1999"), Str("comment"), TBytes(21, 0), {0, 3, 17}});
  seeds.push_back({"v23-audio-lyrics3-id3v1", Cat({Tag(3, 0, Frame23("TIT2", title)), Audio(), lyrics, v1})});
  seeds.push_back({"id3v1-only", Cat({Audio(), v1})});
  TBytes xing = Cat({{0xFF, 0xFB, 0x90, 0x64}, TBytes(32, 0), Str("Xing"), BE(3, 4), BE(100, 4), BE(41700, 4)});
  xing.resize(417, 0);
  seeds.push_back({"xing-vbr-frame", Cat({xing, Audio()})});
  seeds.push_back({"empty", {}});
  return seeds;
}

}  // namespace fuzz
