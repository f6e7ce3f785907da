#include "fs/fat/fat32_class.h"

#include "fs/fat/fat_candidates.h"

namespace quarnel {
namespace {

constexpr std::uint32_t kEndOfChain = 0x0FFFFFFF;
constexpr std::uint64_t kBackupBootSector = 6;

}  // namespace

Fat32Class::Fat32Class() {
  rules_ = FatWalkRules{};
  advancedRules_ = FatWalkRules{};
  advancedRules_.attributeCdEndsCluster = true;
  scanRules_ = FatScanRules::Fat32;
  geo_.width = FatWidth::Fat32;
}

bool Fat32Class::checkBootSector() {
  boot_ = readBoot(0);
  const auto g = boot_.geometry();
  bootAccepted_ = g && g->width == FatWidth::Fat32;
  bootGeometry_.reset();
  if (bootAccepted_) {
    bootGeometry_ = g;
    if (!userGeometry_) {
      geo_ = *g;
      useTable(geo_.fatOffset, geo_.fatSize);
    }
  } else if (const auto backup = readBoot(kBackupBootSector).geometry(); backup && backup->width == FatWidth::Fat32) {
    bootGeometry_ = backup;  // a wiped boot sector leaves its backup to place the data region
  }
  return bootAccepted_;
}

std::uint32_t Fat32Class::countRootClusters() {
  std::vector<FatEntryRecord> none;
  FatDirectoryWalker walker(io_, geo_, *fat_, none, rules_, !formatted_);
  return static_cast<std::uint32_t>(walker.readChain(geo_.rootCluster).clusters.size());
}

bool Fat32Class::readRootDirectory() {
  std::vector<FatEntryRecord> none;
  FatDirectoryWalker walker(io_, geo_, *fat_, none, rules_, !formatted_);
  root_ = walker.readChain(geo_.rootCluster);
  return !root_.clusters.empty();
}

std::vector<FatEntryRecord>& Fat32Class::collectRootEntries() {
  walkFrom(root_);
  root_ = FatDirectoryBytes{};
  return records_;
}

std::uint32_t Fat32Class::nextCluster(std::uint32_t c) const {
  if (formatted_) return kEndOfChain;
  const std::uint32_t n = fat_->next(c);
  return n != 0 ? n : kEndOfChain;
}

void Fat32Class::setFatOffset(std::uint64_t position) {
  candidates_.clear();
  geo_.width = FatWidth::Fat32;
  geo_.fatOffset = position;
  if (bootGeometry_) geo_.dataOffset = bootGeometry_->dataOffset;
  useTable(position, std::uint64_t{geo_.clusterLimit} * 4);
}

void Fat32Class::scanForEntries() {
  const FatScanResult r = scanFatSlots(io_, FatScanRules::Fat32, geo_.clusterLimit, *reporter_, *job_);
  found_ = r.found;
  if (!bootGeometry_ && r.dataOffsetSlot) geo_.dataOffset = *r.dataOffsetSlot;
}

std::vector<FatEntryRecord>& Fat32Class::buildFromScan(std::uint64_t position) {
  setFatOffset(position);
  return buildEntries();
}

std::vector<std::uint64_t> Fat32Class::findFatCandidates(int limit) {
  SectorPatternSearch s;
  s.pattern = kFat32Pattern;
  s.fat32Masked = true;
  s.limit = limit;
  s.chunkStatus = true;
  return searchSectorPattern(io_, s, *reporter_, *job_);
}

}  // namespace quarnel
