// One copy of the allocation table, read through a block cache so every part of it is read
// from the disk at most once, and the rules that say where a chain goes and where it ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "fs/fat/fat_geometry.h"
#include "fs/fat/fat_volume_io.h"

namespace quarnel {

class FatTable {
 public:
  FatTable() = default;
  // The table at offset, sizeBytes long (cut at the volume's end), describing the clusters
  // below clusterLimit.
  FatTable(const VolumeReader& io, std::uint64_t offset, std::uint64_t sizeBytes, FatWidth width,
           std::uint32_t clusterLimit);

  // The entry of cluster c as stored (FAT32 masked to 28 bits); 0 outside the table.
  std::uint32_t entry(std::uint32_t c) const;
  // The cluster after c, or 0 where the chain ends: an end mark, a bad-cluster mark, a free
  // entry, or a value outside the volume.
  std::uint32_t next(std::uint32_t c) const;
  bool validCluster(std::uint64_t c) const { return c >= 2 && c < clusterLimit_; }
  std::uint32_t clusterLimit() const { return clusterLimit_; }
  FatWidth width() const { return width_; }

 private:
  std::uint8_t byteAt(std::uint64_t offset) const;
  const std::vector<std::byte>& block(std::size_t index) const;
  std::uint32_t bytesLe(std::uint64_t offset, int count) const;

  static constexpr std::uint64_t kBlock = 64 * 1024;
  const VolumeReader* io_ = nullptr;
  std::uint64_t offset_ = 0;
  std::uint64_t size_ = 0;
  FatWidth width_ = FatWidth::Fat32;
  std::uint32_t clusterLimit_ = 2;
  // Read on first use; the table is read from several threads at once (saving while the
  // window lists), so a block is filled once under the lock and published by its flag.
  mutable std::vector<std::vector<std::byte>> blocks_;
  std::unique_ptr<std::atomic<bool>[]> loaded_;
  std::unique_ptr<std::mutex> loading_ = std::make_unique<std::mutex>();
};

}  // namespace quarnel
