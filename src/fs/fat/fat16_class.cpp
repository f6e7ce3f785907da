#include "fs/fat/fat16_class.h"

#include "fs/fat/fat_candidates.h"

namespace quarnel {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFF;
constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kAdvancedRootSize = 16384;  // 512 entries

}  // namespace

Fat16Class::Fat16Class() {
  rules_.zeroEndsCluster = false;
  advancedRules_.zeroEndsCluster = false;
  advancedRules_.renameSameCluster = false;
  advancedRules_.takenEndsCluster = true;
  scanRules_ = FatScanRules::Fat16;
  geo_.width = FatWidth::Fat16;
}

bool Fat16Class::checkBootSector() {
  boot_ = readBoot(0);
  const auto g = boot_.geometry();
  bootAccepted_ = g && g->width != FatWidth::Fat32;
  bootGeometry_.reset();
  if (bootAccepted_) {
    bootGeometry_ = g;
    if (!userGeometry_) geo_ = *g;
  }
  return bootAccepted_;
}

void Fat16Class::readFat() { useTable(geo_.fatOffset, geo_.fatSize); }

bool Fat16Class::readRootRegion() {
  root_ = readFatRegion(io_, geo_.rootOffset, geo_.rootSize);
  return !root_.bytes.empty();
}

std::vector<FatEntryRecord>& Fat16Class::collectRootEntries() {
  walkFrom(root_);
  root_ = FatDirectoryBytes{};
  return records_;
}

std::uint32_t Fat16Class::nextCluster(std::uint32_t c) const {
  if (formatted_) return kEndOfChain;
  const std::uint32_t n = fat_->next(c);
  return n != 0 ? n : kEndOfChain;
}

void Fat16Class::setFatOffset(std::uint64_t position) {
  const std::uint64_t clusters = geo_.clusterLimit;
  geo_.width = bootGeometry_ ? bootGeometry_->width : FatWidth::Fat16;
  const std::uint64_t fatBytes = geo_.width == FatWidth::Fat12 ? clusters * 3 / 2 : clusters * 2;
  // The smallest multiple of 512 above the table's size, as one FAT copy is laid out.
  const std::uint64_t copy = (fatBytes / kSector + 1) * kSector;
  geo_.fatOffset = position;
  if (bootGeometry_) {
    geo_.rootOffset = bootGeometry_->rootOffset;
    geo_.rootSize = bootGeometry_->rootSize;
  } else {
    // The second copy is the next candidate when it lies where a copy can end.
    std::uint64_t distance = copy;
    for (std::uint64_t c : candidates_)
      if (c > position) {
        if (c - position >= kSector && c - position <= copy) distance = c - position;
        break;
      }
    geo_.rootOffset = position + 2 * distance;
    geo_.rootSize = kAdvancedRootSize;
  }
  geo_.dataOffset = geo_.rootOffset + geo_.rootSize;
  useTable(position, fatBytes);
}

void Fat16Class::scanForEntries() {
  found_ = scanFatSlots(io_, FatScanRules::Fat16, geo_.clusterLimit, *reporter_, *job_).found;
}

std::vector<FatEntryRecord>& Fat16Class::buildFromScan(std::uint64_t position) {
  setFatOffset(position);
  return buildEntries();
}

std::vector<std::uint64_t> Fat16Class::findFatCandidates(int limit) {
  SectorPatternSearch s;
  s.pattern = kFat16Pattern;
  s.limit = limit;
  return searchSectorPattern(io_, s, *reporter_, *job_);
}

}  // namespace quarnel
