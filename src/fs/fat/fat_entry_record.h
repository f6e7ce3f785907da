// The flat entry list the FAT12/16/32 parsers build, its links, and the texts and instants
// the browse page shows for a record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fs/fat/fat_dir_entry.h"
#include "platform/times.h"

namespace quarnel {

inline constexpr std::string_view kDummyEntryName = "DUMMY ENTRY";    // index 0: the root folder
inline constexpr std::string_view kOrphanEntryName = "ORPHAN ENTRY";  // index 1 in advanced mode
inline constexpr std::int32_t kNoRecord = -1;

struct FatEntryRecord {
  std::uint8_t attribute = 0;
  std::uint8_t creation10ms = 0;
  std::uint16_t creationTime = 0;
  std::uint16_t creationDate = 0;
  std::uint16_t accessDate = 0;
  std::uint16_t firstClusterHigh = 0;
  std::uint16_t writeTime = 0;
  std::uint16_t writeDate = 0;
  std::uint16_t firstClusterLow = 0;
  std::uint32_t size = 0;
  std::uint8_t deleted = 0;
  std::string name;  // UTF-8
  std::int32_t parent = 0;
  std::int32_t self = 0;
  std::int32_t firstChild = kNoRecord;
  std::int32_t nextSibling = kNoRecord;

  static FatEntryRecord fromEntry(const FatShortEntry& e);
  std::uint32_t firstCluster() const { return (std::uint32_t{firstClusterHigh} << 16) | firstClusterLow; }
};

// Creation, access, modification and attribute texts, in the browse page's order.
struct FatEntryTexts {
  std::string created, accessed, modified, attributes;
};

// "-R", "-H", "-S", "-A" for the read-only, hidden, system and archive bits, in that order.
std::string fatAttributeText(std::uint16_t attributes);

Instant fatCreated(const FatEntryRecord& r);
Instant fatAccessed(const FatEntryRecord& r);  // a date without a time
Instant fatModified(const FatEntryRecord& r);
FatEntryTexts fatEntryTimeTexts(const FatEntryRecord& r);

// Sets the first-child and next-sibling links: the children of a record are the records
// that name it as their parent, in list order. Returns the list's length.
template <class Record>
std::int32_t linkRecords(std::vector<Record>& list) {
  std::vector<std::int32_t> last(list.size(), kNoRecord);
  for (auto& r : list) r.firstChild = r.nextSibling = kNoRecord;
  const auto n = static_cast<std::int32_t>(list.size());
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t p = list[static_cast<std::size_t>(i)].parent;
    if (p < 0 || p >= n || p == i) continue;
    auto& parent = list[static_cast<std::size_t>(p)];
    if (last[static_cast<std::size_t>(p)] == kNoRecord) parent.firstChild = i;
    else list[static_cast<std::size_t>(last[static_cast<std::size_t>(p)])].nextSibling = i;
    last[static_cast<std::size_t>(p)] = i;
  }
  return n;
}

}  // namespace quarnel
