#include "fs/ntfs/ntfs_test_support.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fs/ntfs/ntfs_parse.h"
#include "platform/raw_file.h"
#include "support/test_support.h"

namespace quarnel::ntfs_test {
namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 2; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putName(std::vector<std::uint8_t>& b, std::size_t at, const std::u16string& name) {
  for (std::size_t i = 0; i < name.size(); ++i) put16(b, at + 2 * i, name[i]);
}
std::size_t align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

constexpr std::uint16_t kUsn = 0x0D0E;

}  // namespace

bool MemorySource::readAt(std::int64_t offset, MutableByteSpan out) {
  ++reads;
  std::fill(out.begin(), out.end(), std::byte{0});
  if (offset < 0 || static_cast<std::uint64_t>(offset) >= bytes_.size()) return out.empty();
  const std::size_t n = std::min(out.size(), bytes_.size() - static_cast<std::size_t>(offset));
  std::memcpy(out.data(), bytes_.data() + offset, n);
  return n == out.size();
}

// ------------------------------------------------------------------ records

RecordBuilder::RecordBuilder(std::uint16_t flags, std::size_t size) : size_(size), bytes_(size, 0) {
  std::memcpy(bytes_.data(), "FILE", 4);
  const std::size_t usaCount = size / 512 + 1;
  put16(bytes_, 4, 0x30);
  put16(bytes_, 6, usaCount);
  put16(bytes_, 16, 1);
  put16(bytes_, 18, 1);
  next_ = align8(0x30 + 2 * usaCount);
  put16(bytes_, 20, next_);
  put16(bytes_, 22, flags);
  put32(bytes_, 28, size);
}

RecordBuilder& RecordBuilder::base(std::uint64_t reference) {
  put64(bytes_, 32, reference);
  return *this;
}

RecordBuilder& RecordBuilder::number(std::uint32_t recordNumber) {
  put32(bytes_, 44, recordNumber);
  return *this;
}

void RecordBuilder::append(std::vector<std::uint8_t> a) {
  put16(a, 14, nextId_++);
  std::copy(a.begin(), a.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(next_));
  next_ += a.size();
}

RecordBuilder& RecordBuilder::raw(std::uint32_t type, const std::vector<std::uint8_t>& attribute) {
  std::vector<std::uint8_t> a = attribute;
  put32(a, 0, type);
  append(std::move(a));
  return *this;
}

static std::vector<std::uint8_t> resident(std::uint32_t type, const std::vector<std::uint8_t>& content,
                                          const std::u16string& name) {
  const std::size_t contentOffset = align8(0x18 + 2 * name.size());
  std::vector<std::uint8_t> a(align8(contentOffset + content.size()), 0);
  put32(a, 0, type);
  put32(a, 4, a.size());
  a[9] = static_cast<std::uint8_t>(name.size());
  put16(a, 10, 0x18);
  put32(a, 16, content.size());
  put16(a, 20, contentOffset);
  putName(a, 0x18, name);
  std::copy(content.begin(), content.end(), a.begin() + static_cast<std::ptrdiff_t>(contentOffset));
  return a;
}

RecordBuilder& RecordBuilder::standardInformation(std::uint64_t created, std::uint64_t modified, std::uint64_t accessed) {
  std::vector<std::uint8_t> c(48, 0);
  put64(c, 0, created);
  put64(c, 8, modified);
  put64(c, 16, modified);
  put64(c, 24, accessed);
  append(resident(0x10, c, u""));
  return *this;
}

RecordBuilder& RecordBuilder::fileName(std::int64_t parent, const std::u16string& name, std::uint8_t nameSpace,
                                       std::uint32_t flags) {
  std::vector<std::uint8_t> c(66 + 2 * name.size(), 0);
  put64(c, 0, (static_cast<std::uint64_t>(parent) & 0x0000FFFFFFFFFFFFULL) | (std::uint64_t{1} << 48));
  put64(c, 40, 4096);
  put32(c, 56, flags);
  c[64] = static_cast<std::uint8_t>(name.size());
  c[65] = nameSpace;
  putName(c, 66, name);
  append(resident(0x30, c, u""));
  return *this;
}

RecordBuilder& RecordBuilder::residentData(const std::vector<std::uint8_t>& content, const std::u16string& name) {
  append(resident(0x80, content, name));
  return *this;
}

RecordBuilder& RecordBuilder::nonResident(std::uint32_t type, const std::vector<std::uint8_t>& runs, std::uint64_t lastVcn,
                                          std::uint64_t realSize, std::uint16_t flags, std::uint16_t compressionUnit,
                                          const std::u16string& name, std::uint64_t firstVcn) {
  const std::size_t runOffset = align8(0x40 + 2 * name.size());
  std::vector<std::uint8_t> a(align8(runOffset + runs.size()), 0);
  put32(a, 0, type);
  put32(a, 4, a.size());
  a[8] = 1;
  a[9] = static_cast<std::uint8_t>(name.size());
  put16(a, 10, 0x40);
  put16(a, 12, flags);
  put64(a, 16, firstVcn);
  put64(a, 24, lastVcn);
  put16(a, 32, runOffset);
  put16(a, 34, compressionUnit);
  put64(a, 40, (lastVcn + 1) * 4096);
  put64(a, 48, realSize);
  put64(a, 56, realSize);
  putName(a, 0x40, name);
  std::copy(runs.begin(), runs.end(), a.begin() + static_cast<std::ptrdiff_t>(runOffset));
  append(std::move(a));
  return *this;
}

RecordBuilder& RecordBuilder::nonResidentData(const std::vector<std::uint8_t>& runs, std::uint64_t lastVcn,
                                              std::uint64_t realSize, std::uint16_t flags, std::uint16_t compressionUnit,
                                              const std::u16string& name, std::uint64_t firstVcn) {
  return nonResident(0x80, runs, lastVcn, realSize, flags, compressionUnit, name, firstVcn);
}

RecordBuilder& RecordBuilder::attributeList(const std::vector<ListEntry>& entries) {
  std::vector<std::uint8_t> list;
  for (const ListEntry& e : entries) {
    std::vector<std::uint8_t> x(align8(0x1A + 2 * e.name.size()), 0);
    put32(x, 0, e.type);
    put16(x, 4, x.size());
    x[6] = static_cast<std::uint8_t>(e.name.size());
    x[7] = 0x1A;
    put64(x, 8, e.startVcn);
    put32(x, 16, e.record & 0xFFFFFFFF);
    put16(x, 20, e.record >> 32);
    putName(x, 0x1A, e.name);
    list.insert(list.end(), x.begin(), x.end());
  }
  append(resident(0x20, list, u""));
  return *this;
}

std::vector<std::uint8_t> RecordBuilder::build() const {
  std::vector<std::uint8_t> r = bytes_;
  put32(r, next_, 0xFFFFFFFF);
  put32(r, 24, next_ + 8);
  put16(r, 0x30, kUsn);
  for (std::size_t k = 1; k <= size_ / 512; ++k) {
    const std::size_t end = 512 * k - 2;
    r[0x30 + 2 * k] = r[end];
    r[0x30 + 2 * k + 1] = r[end + 1];
    put16(r, end, kUsn);
  }
  return r;
}

// ------------------------------------------------------------------ volumes

VolumeBuilder::VolumeBuilder(std::size_t bytes, std::uint16_t sectorsPerCluster, std::uint64_t mftCluster,
                             std::uint64_t mftRecords)
    : image_(bytes, 0), clusterSize_(512u * sectorsPerCluster), mftCluster_(mftCluster), mftRecords_(mftRecords) {
  image_[0] = 0xEB;
  image_[1] = 0x52;
  image_[2] = 0x90;
  std::memcpy(image_.data() + 3, "NTFS    ", 8);
  put16(image_, 0x0B, 512);
  image_[0x0D] = static_cast<std::uint8_t>(sectorsPerCluster);
  put64(image_, 0x28, bytes / 512 - 1);
  put64(image_, 0x30, mftCluster);
  put64(image_, 0x38, mftCluster + 1);
  image_[0x40] = 0xF6;  // 2^10-byte records
  image_[0x44] = 1;
  image_[510] = 0x55;
  image_[511] = 0xAA;
}

VolumeBuilder& VolumeBuilder::record(std::uint64_t n, const std::vector<std::uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<std::ptrdiff_t>(mftCluster_ * clusterSize_ + n * 1024));
  return *this;
}

VolumeBuilder& VolumeBuilder::cluster(std::uint64_t c, const std::vector<std::uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<std::ptrdiff_t>(c * clusterSize_));
  return *this;
}

VolumeBuilder& VolumeBuilder::standardRecords() {
  const std::uint64_t clusters = (mftRecords_ * 1024 + clusterSize_ - 1) / clusterSize_;
  record(0, RecordBuilder()
                .standardInformation(1, 2, 3)
                .fileName(5, u"$MFT")
                .nonResidentData(runList({{clusters, static_cast<std::int64_t>(mftCluster_)}}), clusters - 1,
                                 mftRecords_ * 1024)
                .build());
  const char16_t* names[] = {u"$MFTMirr", u"$LogFile", u"$Volume", u"$AttrDef"};
  for (std::uint64_t n = 1; n <= 4; ++n) record(n, RecordBuilder().fileName(5, names[n - 1]).build());
  record(5, RecordBuilder(0x0003).standardInformation(1, 2, 3).fileName(5, u".", 3, 0x10000006).build());
  return *this;
}

std::vector<std::uint8_t> runList(const std::vector<std::pair<std::uint64_t, std::int64_t>>& runs) {
  std::vector<std::uint8_t> out;
  std::int64_t previous = 0;
  for (const auto& [count, start] : runs) {
    std::vector<std::uint8_t> len, off;
    for (std::uint64_t v = count; v != 0 || len.empty(); v >>= 8) len.push_back(static_cast<std::uint8_t>(v));
    if (len.back() & 0x80) len.push_back(0);
    if (start != 0) {
      std::int64_t d = start - previous;
      previous = start;
      do {
        off.push_back(static_cast<std::uint8_t>(d));
        d >>= 8;
      } while (!((d == 0 && !(off.back() & 0x80)) || (d == -1 && (off.back() & 0x80))));
    }
    out.push_back(static_cast<std::uint8_t>(off.size() << 4 | len.size()));
    out.insert(out.end(), len.begin(), len.end());
    out.insert(out.end(), off.begin(), off.end());
  }
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> repeatedChunks(const std::vector<std::uint8_t>& bytePerChunk) {
  std::vector<std::uint8_t> out;
  for (std::uint8_t b : bytePerChunk) {
    // flags 0b10: a literal, then a token of offset 1 and length 4095.
    const std::uint8_t chunk[] = {0x03, 0xB0, 0x02, b, 0xFC, 0x0F};
    out.insert(out.end(), std::begin(chunk), std::end(chunk));
  }
  return out;
}

// ------------------------------------------------------------------ parsing

namespace {

std::unique_ptr<Parsed> runParse(std::unique_ptr<Parsed> p, const VolumeRecord& volume, NtfsMode mode) {
  p->fs = std::make_unique<ntfs>(*p->source, volume, p->reporter);
  if (mode == NtfsMode::Advanced) searchNtfsCandidates(*p->fs, 3);
  if (mode != NtfsMode::None) parseNtfs(*p->fs, mode);
  return p;
}

std::unique_ptr<Parsed> runParse(std::unique_ptr<Parsed> p, std::int64_t bytes, NtfsMode mode) {
  return runParse(std::move(p), VolumeRecord{"NTFS", "", "0", volumeSizeText(bytes / 1048576, SizeStyle::Bare), 0}, mode);
}

}  // namespace

std::unique_ptr<Parsed> parseSource(std::unique_ptr<readWriteInterface> source, const VolumeRecord& volume, NtfsMode mode) {
  auto p = std::make_unique<Parsed>();
  p->source = std::move(source);
  return runParse(std::move(p), volume, mode);
}

std::unique_ptr<Parsed> parseImage(std::vector<std::uint8_t> image, NtfsMode mode) {
  auto p = std::make_unique<Parsed>();
  const auto bytes = static_cast<std::int64_t>(image.size());
  p->source = std::make_unique<MemorySource>(std::move(image));
  return runParse(std::move(p), bytes, mode);
}

std::unique_ptr<Parsed> parseFixture(const std::string& image, NtfsMode mode) {
  auto p = std::make_unique<Parsed>();
  RawFile f;
  if (!f.open(test::fixture(image))) return nullptr;
  const std::int64_t bytes = f.size();
  p->source = std::make_unique<FileReadSeek>(std::move(f));
  return runParse(std::move(p), bytes, mode);
}

std::unique_ptr<Parsed> openFixture(const std::string& image) { return parseFixture(image, NtfsMode::None); }

std::vector<TruthRow> readTruth(const std::string& image) {
  std::ifstream in(std::string(QUARNEL_SOURCE_DIR) + "/tests/fixtures/ntfs/" + image + ".tsv");
  std::vector<TruthRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string kind, deleted, size, modified, sha, path;
    std::getline(s, kind, '\t');
    std::getline(s, deleted, '\t');
    std::getline(s, size, '\t');
    std::getline(s, modified, '\t');
    std::getline(s, sha, '\t');
    std::getline(s, path);
    if (kind.empty()) continue;
    rows.push_back({kind[0], deleted == "1", size == "-" ? 0 : std::stoull(size), modified, sha, path});
  }
  return rows;
}

std::string sha256Hex(const std::vector<std::byte>& data) { return test::sha256Hex(data.data(), data.size()); }

}  // namespace quarnel::ntfs_test
