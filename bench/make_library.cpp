// Writes a synthetic music library for the scan benchmark: ROOT/Artist NN/Album NN/
// NN - Title NN.mp3, each a few short MPEG frames behind an ID3v2.3 tag with the usual
// text frames; one file in ten carries a 50 KB cover, every second one an ID3v1 tag.
// Usage: make_library ROOT [FILES]   (default 10000 files)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

void Frame(Bytes& body, const char* id, const Bytes& payload) {
  Append(body, id);
  const uint32_t n = uint32_t(payload.size());
  body.insert(body.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0});
  body.insert(body.end(), payload.begin(), payload.end());
}

Bytes Text(const std::string& s) {
  Bytes p{0};
  Append(p, s);
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_library ROOT [FILES]\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const int files = argc > 2 ? std::atoi(argv[2]) : 10000;
  const int perAlbum = 10, albumsPerArtist = 5;
  Bytes audio;
  for (int i = 0; i < 20; ++i) {  // 20 frames of MPEG-1 Layer III 128 kbit/s: about 0.5 s
    Bytes f(417, 0);
    f[0] = 0xFF, f[1] = 0xFB, f[2] = 0x90, f[3] = 0x64;
    audio.insert(audio.end(), f.begin(), f.end());
  }
  for (int n = 0; n < files; ++n) {
    const int track = n % perAlbum + 1, album = n / perAlbum % albumsPerArtist + 1,
              artist = n / (perAlbum * albumsPerArtist) + 1;
    char artistName[32], albumName[32], title[32], fileName[64];
    std::snprintf(artistName, sizeof artistName, "Artist %03d", artist);
    std::snprintf(albumName, sizeof albumName, "Album %02d", album);
    std::snprintf(title, sizeof title, "Title %05d", n);
    std::snprintf(fileName, sizeof fileName, "%02d - %s.mp3", track, title);
    Bytes body;
    Frame(body, "TPE1", Text(artistName));
    Frame(body, "TIT2", Text(title));
    Frame(body, "TALB", Text(albumName));
    Frame(body, "TYER", Text(std::to_string(1970 + n % 50)));
    Frame(body, "TRCK", Text(std::to_string(track) + "/" + std::to_string(perAlbum)));
    Frame(body, "TCON", Text("Rock"));
    Bytes comm{0, 'e', 'n', 'g', 0};
    Append(comm, "Generated for the scan benchmark");
    Frame(body, "COMM", comm);
    Frame(body, "TENC", Text("make_library"));
    if (n % 10 == 0) {
      Bytes apic{0};
      Append(apic, "image/jpeg");
      apic.insert(apic.end(), {0, 3, 0});
      for (int i = 0; i < 50 * 1024; ++i) apic.push_back(uint8_t(i * 31 + 7));
      Frame(body, "APIC", apic);
    }
    body.resize(body.size() + 512, 0);
    const uint32_t size = uint32_t(body.size());
    Bytes file{'I', 'D', '3', 3, 0, 0, uint8_t(size >> 21 & 127), uint8_t(size >> 14 & 127),
               uint8_t(size >> 7 & 127), uint8_t(size & 127)};
    file.insert(file.end(), body.begin(), body.end());
    file.insert(file.end(), audio.begin(), audio.end());
    if (n % 2 == 0) {
      Bytes v1(128, 0);
      v1[0] = 'T', v1[1] = 'A', v1[2] = 'G';
      std::copy_n(title, std::char_traits<char>::length(title), v1.begin() + 3);
      std::copy_n(artistName, std::char_traits<char>::length(artistName), v1.begin() + 33);
      v1[126] = uint8_t(track);
      v1[127] = 17;
      file.insert(file.end(), v1.begin(), v1.end());
    }
    const std::filesystem::path folder = root / artistName / albumName;
    std::filesystem::create_directories(folder);
    FILE* out = std::fopen((folder / fileName).c_str(), "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
      std::perror((folder / fileName).c_str());
      return 1;
    }
  }
  return 0;
}
