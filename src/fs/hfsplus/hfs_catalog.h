// Catalog leaf records: the folder and file records with their key, names in UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "fs/hfsplus/hfs_volume_header.h"
#include "platform/bytes.h"
#include "platform/times.h"

namespace quarnel::hfs {

inline constexpr std::int16_t kFolderRecord = 1;
inline constexpr std::int16_t kFileRecord = 2;

struct CatalogRecord {
  std::int16_t type = -1;
  std::uint32_t parent = 0;
  std::string name;  // UTF-8
  std::uint32_t id = 0;
  std::uint32_t createDate = 0, contentModDate = 0, attributeModDate = 0, accessDate = 0;
  std::uint16_t mode = 0;
  ForkData dataFork;  // files only
};

// The folder or file record at [offset, end) of a leaf node; false for thread records,
// other types, names of 0 or more than 255 units, and records that do not fit.
bool decodeCatalogRecord(ByteSpan node, std::size_t offset, std::size_t end, CatalogRecord& out);

// Seconds since 1904-01-01 00:00 UTC as an instant; 0 (never set) is no time.
Instant instantFromHfs(std::uint32_t seconds);

// "-Owner:X-Owner:W-Owner:R-OX-OW-OR-GX-GW-GR" for the bits of mode that are set, in that order.
std::string hfsPermissionLetters(std::uint16_t mode);

}  // namespace quarnel::hfs
