// What the FAT-family tests share: fixture images held in memory (so a test can damage its
// own copy), the ground truth beside them, a content digest, and the listing of a view in
// the ground truth's form.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/byte_sink.h"
#include "recovery/entry_view.h"
#include "recovery/open_volume.h"
#include "storage/read_write_interface.h"

namespace quarnel::test {

// A disk in memory; bytes past its end read as zeros. Reads are counted.
class MemoryDisk : public readWriteInterface {
 public:
  explicit MemoryDisk(std::vector<std::uint8_t> bytes = {}) : bytes_(std::move(bytes)) {}
  bool open(const std::string&) override { return true; }
  bool readAt(std::int64_t offset, MutableByteSpan out) override;
  std::int64_t sizeSectors() const override { return static_cast<std::int64_t>(bytes_.size() / 512); }

  std::vector<std::uint8_t>& bytes() { return bytes_; }
  void putLe16(std::uint64_t at, std::uint16_t v);
  void putLe32(std::uint64_t at, std::uint32_t v);
  void zero(std::uint64_t at, std::uint64_t n);
  // Where text first stands at a multiple of step, or -1.
  std::int64_t find(const std::string& text, std::uint64_t step = 32) const;
  int reads = 0;

 private:
  std::vector<std::uint8_t> bytes_;
};

// A fat_*.img fixture, unpacked by the build; empty when missing.
std::unique_ptr<MemoryDisk> fatImage(const std::string& name);

struct TruthLine {
  char kind = 'f';
  bool deleted = false;
  std::uint64_t size = 0;
  std::string modified;  // "YYYY-MM-DDTHH:MM:SSZ"
  std::string sha256;    // "-" when the content is not known
  std::string path;
};
std::vector<TruthLine> fatTruth(const std::string& image);

// "kind deleted size modified path" of every entry below the root (folders size 0), as
// `ls -r --format tsv` prints them.
std::set<std::string> listing(const EntryView& view);
std::string listingLine(char kind, bool deleted, std::uint64_t size, const std::string& modified,
                        const std::string& path);
// The path of every entry below the root, to its id.
std::map<std::string, EntryId> pathsOf(const EntryView& view);

std::string sha256Hex(const std::vector<std::uint8_t>& data);
// The digest of an entry's content, and whether all of it could be read.
std::string contentSha(EntryView& view, EntryId e, bool* complete = nullptr);

VolumeRecord fatRecord(const std::string& fileSystem, std::int64_t startSector = 0, std::int64_t sizeMiB = 0);

// Sets TZ for the life of the object: the fixtures' DOS times were written in UTC.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone = "UTC");
  ~ZoneGuard();
  ZoneGuard(const ZoneGuard&) = delete;
  ZoneGuard& operator=(const ZoneGuard&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

}  // namespace quarnel::test
