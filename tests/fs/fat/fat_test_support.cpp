#include "fs/fat/fat_test_support.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "recovery/entry_paths.h"
#include "support/test_support.h"

namespace quarnel::test {

bool MemoryDisk::readAt(std::int64_t offset, MutableByteSpan out) {
  ++reads;
  std::fill(out.begin(), out.end(), std::byte{0});
  if (offset < 0) return false;
  const auto at = static_cast<std::uint64_t>(offset);
  if (at >= bytes_.size()) return false;
  const std::size_t n = std::min<std::uint64_t>(out.size(), bytes_.size() - at);
  std::memcpy(out.data(), bytes_.data() + at, n);
  return n == out.size();
}

void MemoryDisk::putLe16(std::uint64_t at, std::uint16_t v) {
  for (int i = 0; i < 2; ++i) bytes_.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

void MemoryDisk::putLe32(std::uint64_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

void MemoryDisk::zero(std::uint64_t at, std::uint64_t n) {
  std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(at), bytes_.begin() + static_cast<std::ptrdiff_t>(at + n), 0);
}

std::int64_t MemoryDisk::find(const std::string& text, std::uint64_t step) const {
  for (std::uint64_t at = 0; at + text.size() <= bytes_.size(); at += step)
    if (std::memcmp(bytes_.data() + at, text.data(), text.size()) == 0) return static_cast<std::int64_t>(at);
  return -1;
}

std::unique_ptr<MemoryDisk> fatImage(const std::string& name) {
  if (!haveFixture(name)) return nullptr;
  return std::make_unique<MemoryDisk>(readFile(fixture(name)));
}

std::vector<TruthLine> fatTruth(const std::string& image) {
  std::ifstream in(std::string(QUARNEL_SOURCE_DIR) + "/tests/fixtures/fat/" + image + ".tsv");
  std::vector<TruthLine> out;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string part;
    while (std::getline(ss, part, '\t')) f.push_back(part);
    if (f.size() != 6) continue;
    TruthLine t;
    t.kind = f[0][0];
    t.deleted = f[1] == "1";
    t.size = t.kind == 'f' ? std::stoull(f[2]) : 0;
    t.modified = f[3];
    t.sha256 = f[4];
    t.path = f[5];
    out.push_back(t);
  }
  return out;
}

std::string listingLine(char kind, bool deleted, std::uint64_t size, const std::string& modified,
                        const std::string& path) {
  return std::string(1, kind) + "\t" + (deleted ? "1" : "0") + "\t" + std::to_string(size) + "\t" + modified +
         "\t" + path;
}

std::set<std::string> listing(const EntryView& view) {
  std::set<std::string> out;
  for (const auto& row : listFolder(view, view.root(), "/", true)) {
    const bool folder = view.isFolder(row.entry);
    out.insert(listingLine(folder ? 'd' : 'f', view.deleted(row.entry), folder ? 0 : view.size(row.entry),
                           isoUtcText(view.modifiedTime(row.entry)), row.path));
  }
  return out;
}

std::map<std::string, EntryId> pathsOf(const EntryView& view) {
  std::map<std::string, EntryId> out;
  for (const auto& row : listFolder(view, view.root(), "/", true)) out.emplace(row.path, row.entry);
  return out;
}

namespace {

// FIPS 180-4 SHA-256, enough to compare recovered content with the ground truth.
class Sha256 {
 public:
  void update(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      block_[used_++] = p[i];
      if (used_ == 64) {
        compress();
        used_ = 0;
      }
    }
    bits_ += std::uint64_t{n} * 8;
  }
  std::string hex() {
    const std::uint64_t bits = bits_;
    const std::uint8_t one = 0x80, zero = 0;
    update(&one, 1);
    while (used_ != 56) update(&zero, 1);
    std::uint8_t len[8];
    for (int i = 0; i < 8; ++i) len[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(len, 8);
    char out[65];
    for (int i = 0; i < 8; ++i) std::snprintf(out + 8 * i, 9, "%08x", h_[i]);
    return out;
  }

 private:
  static std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void compress() {
    static constexpr std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = std::uint32_t{block_[4 * i]} << 24 | std::uint32_t{block_[4 * i + 1]} << 16 |
             std::uint32_t{block_[4 * i + 2]} << 8 | block_[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h_[0] += a; h_[1] += b; h_[2] += c; h_[3] += d; h_[4] += e; h_[5] += f; h_[6] += g; h_[7] += h;
  }

  std::uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<std::uint8_t, 64> block_{};
  std::size_t used_ = 0;
  std::uint64_t bits_ = 0;
};

class HashSink : public ByteSink {
 public:
  bool write(ByteSpan data) override {
    sha.update(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    return true;
  }
  Sha256 sha;
};

}  // namespace

std::string sha256Hex(const std::vector<std::uint8_t>& data) {
  Sha256 s;
  s.update(data.data(), data.size());
  return s.hex();
}

std::string contentSha(EntryView& view, EntryId e, bool* complete) {
  HashSink sink;
  const bool ok = view.writeContent(e, sink);
  if (complete) *complete = ok;
  return sink.sha.hex();
}

VolumeRecord fatRecord(const std::string& fileSystem, std::int64_t startSector, std::int64_t sizeMiB) {
  VolumeRecord r;
  r.fileSystem = fileSystem;
  r.volumeIndex = "0";
  r.volumeSizeText = sizeMiB > 0 ? std::to_string(sizeMiB) + "   MB" : "";
  r.startSector = startSector;
  return r;
}

ZoneGuard::ZoneGuard(const char* zone) {
  if (const char* old = std::getenv("TZ")) {
    had_ = true;
    old_ = old;
  }
  setenv("TZ", zone, 1);
  tzset();
}

ZoneGuard::~ZoneGuard() {
  if (had_) setenv("TZ", old_.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace quarnel::test
