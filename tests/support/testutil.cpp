#include "testutil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace testutil {

namespace fs = std::filesystem;

TTempFolder::TTempFolder() {
  std::string pattern = (fs::temp_directory_path() / "sonivex-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary folder from " << pattern;
    return;
  }
  Path_ = pattern;
}

TTempFolder::~TTempFolder() {
  if (Path_.empty()) return;
  std::error_code error;
  // A test may have left read-only files or folders behind; make them removable first.
  for (auto it = fs::recursive_directory_iterator(Path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_symlink())
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::remove_all(Path_, error);
}

std::string TTempFolder::File(const std::string& name) const { return Path_ + "/" + name; }

std::vector<std::string> TTempFolder::List(const std::string& subfolder) const {
  std::vector<std::string> names;
  const fs::path folder = subfolder.empty() ? fs::path(Path_) : fs::path(Path_) / subfolder;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TErrorCapture::TErrorCapture() {
  Previous_ = tags::SetTagErrorHandler([this](const std::string& caption, const std::string& text) {
    Messages_.push_back({caption, text});
  });
}

TErrorCapture::~TErrorCapture() { tags::SetTagErrorHandler(std::move(Previous_)); }

std::vector<std::string> TErrorCapture::Texts() const {
  std::vector<std::string> texts;
  for (const TMessage& m : Messages_) texts.push_back(m.Text);
  return texts;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

uint32_t Crc32(const Bytes& bytes, size_t offset, size_t length) {
  if (offset > bytes.size()) return 0;
  length = std::min(length, bytes.size() - offset);
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes 32-bit lengths; feed large ranges in pieces.
  while (length > 0) {
    const uInt piece = uInt(std::min<size_t>(length, 1u << 30));
    crc = crc32(crc, bytes.data() + offset, piece);
    offset += piece;
    length -= piece;
  }
  return uint32_t(crc);
}

Bytes RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(count);
  for (uint8_t& b : bytes) b = uint8_t(random());
  return bytes;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace testutil
