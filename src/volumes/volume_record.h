// One row of the volume list: a volume found on the disk by its partition tables or by
// its boot sector.
#pragma once

#include <cstdint>
#include <string>

namespace quarnel {

struct VolumeRecord {
  std::string fileSystem;      // "NTFS", "FAT32", "FAT16", "FAT64", "HFS+", "extX", ... or a GPT name
  std::string spareText;       // always empty
  std::string volumeIndex;     // decimal position in the list, from 0
  std::string volumeSizeText;  // size in MiB as shown: "%d   MB", "%lld  MB" or a bare number
  std::int64_t startSector = 0;
  // The size the table or boot sector gives, in sectors (0 when unknown); the text above is
  // made from it.
  std::int64_t sizeSectors = 0;
};

// The leading number of volumeSizeText: the volume's size in MiB (0 when there is none).
std::int64_t volumeSizeMiB(const VolumeRecord& record);

// The most bytes a parser may read of the volume. The record's size is whole MiB rounded down,
// so the volume ends before one MiB more; never past the disk. Without a size text: the rest.
std::uint64_t volumeReadLimit(const VolumeRecord& record, std::int64_t diskSectors);

// The three ways the lists write a size: "%lld   MB", "%lld  MB" and a bare "%lld".
enum class SizeStyle { ThreeBlanks, TwoBlanks, Bare };
std::string volumeSizeText(std::int64_t mib, SizeStyle style);

}  // namespace quarnel
