// Helpers shared by the test suites: fixture paths, scratch folders, files of bytes, and
// running the quarnel binary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/byte_sink.h"

namespace quarnel::test {

// An unpacked fixture image from tests/fixtures/images (without the .zst ending).
std::string fixture(const std::string& name);
bool haveFixture(const std::string& name);

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Hex SHA-256 of a file's bytes (for ground-truth lists), and of bytes in memory.
std::string sha256File(const std::string& path);
std::string sha256Hex(const void* data, std::size_t n);

// Plain SHA-256 (FIPS 180-4), enough for comparing recovered files with ground truth.
class Sha256 {
 public:
  void update(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      block_[fill_++] = p[i];
      if (fill_ == 64) { compress(); fill_ = 0; }
    }
    length_ += n;
  }
  std::string hex() {
    std::uint64_t bits = length_ * 8;
    std::uint8_t pad = 0x80;
    update(&pad, 1);
    std::uint8_t zero = 0;
    while (fill_ != 56) update(&zero, 1);
    for (int i = 7; i >= 0; --i) { std::uint8_t b = static_cast<std::uint8_t>(bits >> (8 * i)); update(&b, 1); }
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::uint32_t v : h_)
      for (int i = 28; i >= 0; i -= 4) out += digits[(v >> i) & 0xF];
    return out;
  }

 private:
  static std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void compress() {
    static const std::uint32_t k[64] = {
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
      w[i] = (std::uint32_t{block_[4 * i]} << 24) | (std::uint32_t{block_[4 * i + 1]} << 16) |
             (std::uint32_t{block_[4 * i + 2]} << 8) | block_[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
      std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
    }
    h_[0] += a; h_[1] += b; h_[2] += c; h_[3] += d; h_[4] += e; h_[5] += f; h_[6] += g; h_[7] += h;
  }
  std::uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::uint8_t block_[64] = {};
  std::size_t fill_ = 0;
  std::uint64_t length_ = 0;
};

// SHA-256 of content written through a view, to compare with the ground truth.
class ShaSink : public ByteSink {
 public:
  bool write(ByteSpan data) override {
    sha_.update(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    return true;
  }
  std::string hex() { return sha_.hex(); }

 private:
  Sha256 sha_;
};

// Ground-truth lines of tests/fixtures/<dir>/<name>.tsv, split at tabs.
std::vector<std::vector<std::string>> groundTruth(const std::string& relativePath);
std::vector<std::string> splitTabs(const std::string& line);
// The lines of `ls --format tsv` (kind, deleted, size, modified, path) by their path.
std::map<std::string, std::vector<std::string>> listingByPath(const std::string& tsv);
// A file's modification time as the listings write it (UTC), or "absent".
std::string mtimeText(const std::string& path);
// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> randomBytes(std::size_t n, std::uint32_t seed);

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs the quarnel binary with the arguments (no shell involved).
RunResult runQuarnel(const std::vector<std::string>& args);
// Runs the test tools' RAID splitter: tests/tools/raid_split.py ARGS.
int runSplitter(const std::vector<std::string>& args);

}  // namespace quarnel::test
