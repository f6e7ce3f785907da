#include "fs/fat/fat64_class.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "fs/fat/exfat_directory_walk.h"
#include "fs/fat/exfat_scan.h"
#include "fs/fat/fat_candidates.h"
#include "fs/fat/fat_content.h"
#include "platform/output_file.h"

namespace quarnel {
namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFF;
constexpr int kMaxExponent = 16;  // 32 MiB clusters of 512-byte sectors
constexpr std::size_t kSetWindow = 2048;

ExFatEntryRecord syntheticRecord(std::string_view name, std::int32_t self) {
  ExFatEntryRecord r;
  r.entryType = kExfatFile;
  r.attributes = 0x10;
  r.name = name;
  r.self = self;
  return r;
}

}  // namespace

void Fat64Class::attachSource(readWriteInterface& source, std::int64_t startSector) {
  source_ = &source;
  startSector_ = startSector;
  source.baseOffset = startSector * static_cast<std::int64_t>(kSector);
  source.seek(0, 0);
  setVolumeSize(volumeSize_);
}

bool Fat64Class::setVolumeSize(std::uint64_t bytes) {
  volumeSize_ = bytes;
  if (source_ != nullptr) {
    const std::uint64_t start = static_cast<std::uint64_t>(startSector_) * kSector;
    const auto disk = static_cast<std::uint64_t>(std::max<std::int64_t>(0, source_->sizeSectors())) * kSector;
    if (disk > 0) volumeSize_ = std::min(volumeSize_, disk > start ? disk - start : 0);
    io_ = VolumeReader(*source_, start, volumeSize_);
  }
  return volumeSize_ != 0;
}

void Fat64Class::useTable(std::uint64_t offset, std::uint64_t size) {
  fat_ = std::make_unique<FatTable>(io_, offset, size, FatWidth::Exfat, geo_.clusterLimit);
}

bool Fat64Class::checkBootSector() {
  std::array<std::byte, kSector> sector{};
  if (!io_.read(0, sector)) reporter_->warning(WarningKind::Unreadable, "cant read file");
  const auto g = ExfatBootRecord::decode(sector).geometry();
  bootAccepted_ = g.has_value();
  bootGeometry_ = g;
  if (bootAccepted_) {
    if (!userGeometry_) {
      geo_ = *g;
      useTable(geo_.fatOffset, geo_.fatSize);
    }
    return true;
  }
  // A wiped boot sector leaves its backup to place the heap in the advanced mode.
  for (std::uint64_t sectorSize : {kSector, std::uint64_t{4096}}) {
    io_.read(kExfatBackupBootSector * sectorSize, sector);
    const auto backup = ExfatBootRecord::decode(sector).geometry();
    if (backup && backup->bytesPerSector == sectorSize) {
      bootGeometry_ = backup;
      break;
    }
  }
  return false;
}

bool Fat64Class::readRootCluster() {
  std::vector<ExFatEntryRecord> none;
  ExfatDirectoryWalker walker(io_, geo_, *fat_, none, !formatted_);
  root_ = walker.readDirectory(geo_.rootCluster, false, 0);
  if (root_.clusters.empty()) reporter_->warning(WarningKind::Damaged, "error...");
  return !root_.clusters.empty();
}

std::vector<ExFatEntryRecord>& Fat64Class::collectRootEntries() {
  records_.clear();
  ExfatDirectoryWalker walker(io_, geo_, *fat_, records_, !formatted_);
  walker.useJob(job_);
  walker.walkRoot(root_);
  walker.readDeferredFolders();
  root_ = FatDirectoryBytes{};
  reportDamagedSets();
  return records_;
}

std::uint32_t Fat64Class::nextCluster(std::uint32_t c) const {
  if (formatted_) return kEndOfChain;
  const std::uint32_t n = fat_->next(c);
  return n != 0 ? n : kEndOfChain;
}

// The tree the window shows is built from the entry store over the view; the parser only
// says the step.
void Fat64Class::fillTreeRoots() {
  const std::size_t n = records_.size();
  auto say = [&](std::size_t i) {
    char text[64];
    std::snprintf(text, sizeof text, "filling entry =%zu in tree ", i);
    reporter_->status(text);
  };
  for (std::size_t i = 0; i < n; i += kStatusEvery) say(i);
  if (n > 1 && (n - 1) % kStatusEvery != 0) say(n - 1);
}

void Fat64Class::setUserGeometry(int exponent) {
  userGeometry_ = true;
  exponent = std::clamp(exponent, 0, kMaxExponent);
  geo_.width = FatWidth::Exfat;
  geo_.bytesPerSector = kSector;
  geo_.sectorsPerCluster = 1u << exponent;
  geo_.clusterSize = kSector << exponent;
  geo_.clusterLimit = static_cast<std::uint32_t>(std::min<std::uint64_t>(volumeSize_ / geo_.clusterSize, 0xFFFFFFF6));
  records_.clear();
}

void Fat64Class::scanForEntries() {
  ExfatScanResult r = scanExfatSets(io_, *reporter_, *job_);
  found_ = std::move(r.found);
  rootPosition_ = r.rootPosition;
}

std::vector<ExFatEntryRecord>& Fat64Class::buildFromScan(std::uint64_t heapPosition, std::uint64_t fatPosition) {
  geo_.dataOffset = heapPosition;
  geo_.fatOffset = fatPosition;
  useTable(fatPosition, std::uint64_t{geo_.clusterLimit} * 4);
  records_.clear();
  taken_.clear();
  records_.push_back(syntheticRecord(kDummyEntryName, 0));
  records_.push_back(syntheticRecord(kOrphanEntryName, 1));
  ExfatDirectoryWalker walker(io_, geo_, *fat_, records_, !formatted_);
  walker.useJob(job_);
  walker.useTakenSet(&taken_);
  std::uint64_t boundary = 0;
  bool first = true;
  std::vector<std::byte> window(kSetWindow);
  for (std::uint64_t p : found_) {
    if (!taken_.insert(p).second) continue;
    if (first) {
      first = false;
      boundary = rootPosition_.value_or(p) + geo_.clusterSize;
    }
    io_.read(p, window);
    ExFatEntryRecord rec;
    readExfatEntrySet(window, 0, rec);
    rec.parent = p >= boundary ? 1 : 0;
    rec.self = static_cast<std::int32_t>(records_.size());
    const bool folder = isExfatFolderAttribute(rec.attributes & 0xFF);
    records_.push_back(std::move(rec));
    if (folder) walker.readFolder(records_.back().self);
  }
  walker.readDeferredFolders();
  taken_.clear();
  reportDamagedSets();
  return records_;
}

// Damaged sets stay listed (their clusters may be whole), the count said once.
void Fat64Class::reportDamagedSets() {
  std::size_t live = 0;
  std::size_t deleted = 0;
  for (const ExFatEntryRecord& r : records_)
    if (r.damaged) ++(r.deleted() ? deleted : live);
  if (live + deleted == 0) return;
  reporter_->warning(WarningKind::Damaged,
                     std::to_string(live + deleted) + " exFAT entry sets (" + std::to_string(live) + " live, " +
                         std::to_string(deleted) +
                         " deleted) fail their secondary count or set checksum: part of each was "
                         "overwritten; they are listed as found");
}

std::vector<std::uint64_t> Fat64Class::findFatCandidates(int limit) {
  SectorPatternSearch s;
  s.pattern = kExfatFatPattern;
  s.limit = limit;
  return searchSectorPattern(io_, s, *reporter_, *job_);
}

std::vector<std::uint64_t> Fat64Class::findHeapCandidates(int limit) {
  SectorPatternSearch s;
  s.pattern = kExfatHeapPattern;
  s.limit = limit;
  s.foundStatus = false;
  s.progress = false;
  return searchSectorPattern(io_, s, *reporter_, *job_);
}

bool Fat64Class::writeContent(const ExFatEntryRecord& r, ByteSink& out) const {
  ClusterContent content{r.firstCluster, r.validDataLength, ClusterOrder::Chain};
  if (formatted_ || r.contiguous() || (r.deleted() && fat_->entry(r.firstCluster) == 0))
    content.order = ClusterOrder::Consecutive;
  return streamClusters(io_, geo_, *fat_, content, out);
}

bool Fat64Class::saveFile(const ExFatEntryRecord& r, const std::string& path) const {
  OutputFile out;
  if (!out.create(path, false)) return false;
  const bool read = writeContent(r, out);
  const bool closed = out.close();
  const ExfatFileTimes t = fileTimes(r);
  setFileTimes(path, t.accessed, t.modified);
  return read && closed;
}

ExfatFileTimes Fat64Class::fileTimes(const ExFatEntryRecord& r) const {
  return {exfatCreated(r), exfatAccessed(r), exfatModified(r)};
}

std::string Fat64Class::sizeText(const ExFatEntryRecord& r) const { return quarnel::sizeText(r.validDataLength); }

FatEntryTexts Fat64Class::entryTimeTexts(const ExFatEntryRecord& r) const {
  const ExfatFileTimes t = fileTimes(r);
  return {dateText(t.created), dateText(t.accessed), dateText(t.modified), fatAttributeText(r.attributes)};
}

}  // namespace quarnel
