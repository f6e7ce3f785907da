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

std::int32_t readPartitionTables(readWriteInterface& source, Partition& partition) {
  // Sectors 0 and 1: the MBR and, on a GPT disk, the GPT header. The header's signature
  // decides nothing: without "GPT format" a GPT disk is read through its protective MBR.
  std::array<std::byte, 1024> head{};
  bool haveHead = source.readAt(0, head);
  if (partition.gptMode && haveHead)
    return detail::walkGpt(source, partition, ByteSpan(head).subspan(512));
  return detail::walkMbr(source, partition);
}

}  // namespace quarnel
