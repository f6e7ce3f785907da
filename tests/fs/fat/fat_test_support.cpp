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

class HashSink : public ByteSink {
 public:
  bool write(ByteSpan data) override {
    sha.update(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    return true;
  }
  test::Sha256 sha;
};

}  // namespace

std::string sha256Hex(const std::vector<std::uint8_t>& data) {
  return test::sha256Hex(data.data(), data.size());
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
