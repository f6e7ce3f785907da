// Helpers for the NTFS parser's tests: an in-memory sector source, MFT records built by
// hand, small volumes laid out from them, recorders for status texts, and
// the fixture images with their ground truth.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fs/ntfs/ntfs.h"
#include "platform/byte_sink.h"
#include "storage/file_read_seek.h"

namespace quarnel::ntfs_test {

// A volume image held in memory.
class MemorySource : public readWriteInterface {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool open(const std::string&) override { return true; }
  bool readAt(std::int64_t offset, MutableByteSpan out) override;
  std::int64_t sizeSectors() const override { return static_cast<std::int64_t>(bytes_.size() / 512); }

  std::vector<std::uint8_t>& bytes() { return bytes_; }
  int reads = 0;

 private:
  std::vector<std::uint8_t> bytes_;
};

class RecordingReporter : public Reporter {
 public:
  void status(std::string_view t) override {
    statuses.emplace_back(t);
    events.push_back("S:" + std::string(t));
  }
  void message(std::string_view t) override { messages.emplace_back(t); }
  void progressPosition(std::int64_t p) override { events.push_back("P:" + std::to_string(p)); }
  std::vector<std::string> statuses, messages;
  std::vector<std::string> events;  // statuses and progress positions in order
};


std::string sha256Hex(const std::vector<std::byte>& data);

// A 1024-byte (or 4096-byte) MFT record, built attribute by attribute and protected by
// the update sequence the way the file system writes it.
class RecordBuilder {
 public:
  explicit RecordBuilder(std::uint16_t flags = 0x0001, std::size_t size = 1024);
  RecordBuilder& base(std::uint64_t reference);
  RecordBuilder& number(std::uint32_t recordNumber);
  RecordBuilder& standardInformation(std::uint64_t created, std::uint64_t modified, std::uint64_t accessed);
  RecordBuilder& fileName(std::int64_t parent, const std::u16string& name, std::uint8_t nameSpace = 1,
                          std::uint32_t flags = 0x20);
  RecordBuilder& residentData(const std::vector<std::uint8_t>& content, const std::u16string& name = u"");
  RecordBuilder& nonResidentData(const std::vector<std::uint8_t>& runList, std::uint64_t lastVcn, std::uint64_t realSize,
                                 std::uint16_t flags = 0, std::uint16_t compressionUnit = 0,
                                 const std::u16string& name = u"", std::uint64_t firstVcn = 0);
  RecordBuilder& nonResident(std::uint32_t type, const std::vector<std::uint8_t>& runList, std::uint64_t lastVcn,
                             std::uint64_t realSize, std::uint16_t flags, std::uint16_t compressionUnit,
                             const std::u16string& name, std::uint64_t firstVcn);
  // One $ATTRIBUTE_LIST entry per (type, record number, first VCN), resident.
  struct ListEntry {
    std::uint32_t type;
    std::uint64_t record;
    std::uint64_t startVcn = 0;
    std::u16string name = u"";
  };
  RecordBuilder& attributeList(const std::vector<ListEntry>& entries);
  RecordBuilder& raw(std::uint32_t type, const std::vector<std::uint8_t>& attribute);
  // The record as it lies on disk, sector ends swapped into the update sequence array.
  std::vector<std::uint8_t> build() const;

 private:
  void append(std::vector<std::uint8_t> attribute);
  std::size_t size_;
  std::vector<std::uint8_t> bytes_;
  std::size_t next_;
  std::uint16_t nextId_ = 0;
};

// A volume of 4096-byte clusters (or other sizes): boot sector, an MFT at mftCluster of
// the records put, and data clusters.
class VolumeBuilder {
 public:
  VolumeBuilder(std::size_t bytes, std::uint16_t sectorsPerCluster = 8, std::uint64_t mftCluster = 4,
                std::uint64_t mftRecords = 64);
  VolumeBuilder& record(std::uint64_t n, const std::vector<std::uint8_t>& bytes);
  VolumeBuilder& cluster(std::uint64_t c, const std::vector<std::uint8_t>& bytes);
  // Records 0 ($MFT with its run), 5 (".") and the metadata files 1 to 4 a parse expects.
  VolumeBuilder& standardRecords();
  std::uint64_t clusterSize() const { return clusterSize_; }
  std::uint64_t mftCluster() const { return mftCluster_; }
  std::vector<std::uint8_t>& image() { return image_; }
  std::vector<std::uint8_t> build() const { return image_; }

 private:
  std::vector<std::uint8_t> image_;
  std::uint64_t clusterSize_;
  std::uint64_t mftCluster_;
  std::uint64_t mftRecords_;
};

// One run list: (count, start) pairs, start 0 for a sparse run, ending with 0x00.
std::vector<std::uint8_t> runList(const std::vector<std::pair<std::uint64_t, std::int64_t>>& runs);

// An LZNT1 unit that decompresses to the given chunks of repeated bytes (one literal and
// one overlapping back-reference per 4096-byte chunk).
std::vector<std::uint8_t> repeatedChunks(const std::vector<std::uint8_t>& bytePerChunk);

// A parser over a source, and what it reported.
struct Parsed {
  std::unique_ptr<readWriteInterface> source;
  RecordingReporter reporter;
  std::unique_ptr<ntfs> fs;
};
std::unique_ptr<Parsed> parseImage(std::vector<std::uint8_t> image, NtfsMode mode);
std::unique_ptr<Parsed> parseSource(std::unique_ptr<readWriteInterface> source, const VolumeRecord& volume, NtfsMode mode);
std::unique_ptr<Parsed> parseFixture(const std::string& image, NtfsMode mode);
// The parser opened on a fixture, nothing run yet.
std::unique_ptr<Parsed> openFixture(const std::string& image);

class ByteCollector : public ByteSink {
 public:
  bool write(ByteSpan data) override {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return true;
  }
  std::vector<std::byte> bytes;
};

// A row of tests/fixtures/ntfs/<image>.tsv.
struct TruthRow {
  char kind;
  bool deleted;
  std::uint64_t size;
  std::string modified, sha256, path;
};
std::vector<TruthRow> readTruth(const std::string& image);

}  // namespace quarnel::ntfs_test
