#include <array>
#include <string>

#include "volumes/partition.h"
#include "volumes/walk_support.h"

namespace quarnel {
namespace detail {

VolumeReporter& reporterOf(Partition& partition) {
  static VolumeReporter silent;
  return partition.reporter ? *partition.reporter : silent;
}

void appendRecord(Partition& partition, const VolumeRecord& record) {
  if (partition.volumeList) partition.volumeList->push_back(record);
}

void warnIfPastEnd(VolumeReporter& reporter, std::string_view entry, std::int64_t first,
                   std::int64_t last, std::int64_t diskSectors) {
  if (diskSectors <= 0 || last < diskSectors) return;
  reporter.warning(WarningKind::Damaged, std::string(entry) + ": sectors " + std::to_string(first) + " to " +
                   std::to_string(last) + " extend past the end of the disk (" +
                   std::to_string(diskSectors) + " sectors)");
}

}  // namespace detail

namespace {

// An MBR with an entry of type 0xEE protects a GPT (a hybrid MBR keeps other entries beside
// it; the GPT is still the table).
bool protectsGpt(ByteSpan mbr) {
  if (u8(mbr, 510) != 0x55 || u8(mbr, 511) != 0xAA) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if (u8(mbr, 0x1BE + i * 16 + 4) == 0xEE) return true;
  return false;
}

}  // namespace

std::int32_t readPartitionTables(readWriteInterface& source, Partition& partition) {
  // Sectors 0 and 1: the MBR and, on a GPT disk, the GPT header. "GPT format" forces the
  // GPT walk; a protective MBR asks for it by itself.
  std::array<std::byte, 1024> head{};
  bool haveHead = source.readAt(0, head);
  if (haveHead && (partition.gptMode || protectsGpt(ByteSpan(head).first(512))))
    return detail::walkGpt(source, partition, ByteSpan(head).subspan(512));
  return detail::walkMbr(source, partition);
}

}  // namespace quarnel
