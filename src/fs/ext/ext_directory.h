// The entries of one directory block: the chain the live entries form, and the entries of
// deleted names that still stand in the slack behind a live entry's name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace quarnel::ext {

inline constexpr std::uint8_t kEntryTypeRegular = 1;
inline constexpr std::uint8_t kEntryTypeDirectory = 2;

struct DirEntry {
  std::uint32_t inode = 0;
  std::uint8_t fileType = 0;  // 0 when entries carry none
  std::string name;           // bytes as stored
  bool deleted = false;       // found in slack
};

struct DirBlockOptions {
  bool fileType = true;         // the superblock's file-type feature
  std::uint32_t inodeCount = 0;  // inode numbers run from 1 to this (the record count)
  bool slack = true;            // also look behind the names
};

// Live entries in chain order, each followed by the deleted entries found behind it.
std::vector<DirEntry> parseDirectoryBlock(ByteSpan block, const DirBlockOptions& options);

}  // namespace quarnel::ext
