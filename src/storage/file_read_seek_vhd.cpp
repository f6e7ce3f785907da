#include "storage/file_read_seek_vhd.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace quarnel {
namespace {

// Hard disk footer (big-endian fields).
constexpr std::size_t kFooterDataOffset = 0x10;   // 64-bit: where the dynamic header is
constexpr std::size_t kFooterCurrentSize = 0x30;  // 64-bit: virtual disk size in bytes
constexpr std::size_t kFooterDiskType = 0x3C;     // 32-bit: 2 fixed, 3 dynamic, 4 differencing
// Dynamic disk header.
constexpr std::size_t kHeaderTableOffset = 0x10;  // 64-bit: block allocation table position
constexpr std::size_t kHeaderMaxEntries = 0x1C;   // 32-bit: entries in the table
constexpr std::size_t kHeaderBlockSize = 0x20;    // 32-bit: bytes of data per block

constexpr std::int64_t kDefaultHeaderOffset = 512;
constexpr std::int64_t kDefaultTableOffset = 1536;
constexpr std::int64_t kDefaultBlockBytes = 2 * 1024 * 1024;
constexpr std::uint32_t kUnallocated = 0xFFFFFFFF;
constexpr std::int64_t kMaxSector = std::int64_t{1} << 44;

bool isFooter(ByteSpan s) { return hasText(s, 0, "conectix"); }

}  // namespace

bool hasVhdName(const std::string& name) {
  if (name.size() <= 3) return true;
  std::string tail = name.substr(name.size() - 3);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == "vhd";
}

bool hasVhdExtension(const std::string& name) {
  return name.size() > 4 && name[name.size() - 4] == '.' && hasVhdName(name);
}

FileReadSeekVHD FileReadSeekVHD::missing() {
  FileReadSeekVHD s;
  s.handle = kMissingHandle;
  return s;
}

bool FileReadSeekVHD::fail(const std::string& why, const char* box) {
  lastError_ = why;
  vhdHandle.close();
  handle = 0;
  reporter().warning(WarningKind::Refused, box);
  return false;
}

bool FileReadSeekVHD::open(const std::string& name) {
  fixed_ = false;
  diskBytes_ = 0;
  blockTable.clear();
  blockTableEntries = 0;
  if (!hasVhdName(name)) return fail(name + ": not a vhd file", "not a vhd file");
  if (!vhdHandle.open(name)) return fail(vhdHandle.error(), "invalid handle ...");
  handle = vhdHandle.fd();

  const std::int64_t fileBytes = vhdHandle.size();
  std::byte footer[512] = {};
  bool haveCopy = fileBytes >= 512 && vhdHandle.readAt(0, footer) == 512 && isFooter(footer);
  if (!haveCopy && fileBytes >= 512) {
    // Fixed disks keep their only footer in the last sector.
    haveCopy = vhdHandle.readAt(static_cast<std::uint64_t>(fileBytes - 512), footer) == 512 &&
               isFooter(footer);
    if (haveCopy && be32(footer, kFooterDiskType) == 2) {
      fixed_ = true;
      diskBytes_ = std::min<std::int64_t>(static_cast<std::int64_t>(be64(footer, kFooterCurrentSize)),
                                          fileBytes - 512);
      diskBytes_ -= diskBytes_ % kSectorSize;
      currentDiskSectors = diskBytes_ / kSectorSize;
      lastError_.clear();
      return true;
    }
  }
  if (!haveCopy)
    return fail(name + ": not a vhd file (no VHD footer found)", "not a vhd file");

  std::uint32_t type = be32(footer, kFooterDiskType);
  if (type == 4)
    return fail(name + ": a differencing VHD needs its parent; merge it first with qemu-img convert", "not a vhd file");
  if (type != 3 && type != 2)
    return fail(name + ": unknown VHD disk type " + std::to_string(type), "not a vhd file");
  if (type == 2) {
    // A fixed disk whose footer also stands at the start: the data follows that copy.
    fixed_ = true;
    diskBytes_ = std::min<std::int64_t>(static_cast<std::int64_t>(be64(footer, kFooterCurrentSize)),
                                        std::max<std::int64_t>(fileBytes - 1024, 0));
    diskBytes_ -= diskBytes_ % kSectorSize;
    currentDiskSectors = diskBytes_ / kSectorSize;
    return true;
  }
  if (!readDynamicLayout(footer, fileBytes)) return false;
  currentDiskSectors = diskBytes_ / kSectorSize;
  lastError_.clear();
  return true;
}

bool FileReadSeekVHD::readDynamicLayout(ByteSpan footer, std::int64_t fileBytes) {
  diskBytes_ = static_cast<std::int64_t>(be64(footer, kFooterCurrentSize) & ~std::uint64_t{511});
  std::int64_t headerOffset = static_cast<std::int64_t>(be64(footer, kFooterDataOffset));
  if (headerOffset < 512 || headerOffset > fileBytes - 1024) headerOffset = kDefaultHeaderOffset;

  std::byte header[1024] = {};
  vhdHandle.readAt(static_cast<std::uint64_t>(headerOffset), header);
  std::int64_t tableOffset = kDefaultTableOffset;
  std::int64_t entries = 0;
  blockBytes_ = kDefaultBlockBytes;
  if (hasText(header, 0, "cxsparse")) {
    std::int64_t t = static_cast<std::int64_t>(be64(header, kHeaderTableOffset));
    if (t >= 512 && t < fileBytes) tableOffset = t;
    std::int64_t b = be32(header, kHeaderBlockSize);
    if (b >= 4096 && b <= (std::int64_t{1} << 28) && (b & (b - 1)) == 0) blockBytes_ = b;
    entries = be32(header, kHeaderMaxEntries);
  } else {
    entries = (diskBytes_ + blockBytes_ - 1) / blockBytes_;
  }
  // The bitmap in front of each block: one bit per sector, in whole sectors.
  std::int64_t blockSectors = blockBytes_ / kSectorSize;
  bitmapBytes_ = ((blockSectors / 8 + kSectorSize - 1) / kSectorSize) * kSectorSize;

  // The table can hold no more entries than the file has room for.
  entries = std::clamp<std::int64_t>(entries, 0, (fileBytes - tableOffset) / 4);
  std::vector<std::byte> raw(static_cast<std::size_t>(entries) * 4);
  std::int64_t got = vhdHandle.readAt(static_cast<std::uint64_t>(tableOffset), raw);
  if (got < 0) return fail(vhdHandle.error(), "invalid handle ...");
  entries = got / 4;
  blockTable.resize(static_cast<std::size_t>(entries));
  for (std::int64_t i = 0; i < entries; ++i)
    blockTable[static_cast<std::size_t>(i)] = be32(raw, static_cast<std::size_t>(i) * 4);
  blockTableEntries = entries;
  return true;
}

bool FileReadSeekVHD::seek(std::int64_t offset, int moveMethod) {
  std::int64_t target = resolveSeek(offset, moveMethod);
  if (target < 0 || !vhdHandle.isOpen()) return false;
  position = target - baseOffset;
  std::int64_t sector = target / kSectorSize;
  if (sector >= kMaxSector) return false;
  if (fixed_) return true;
  std::int64_t block = target / blockBytes_;
  if (block >= static_cast<std::int64_t>(blockTable.size())) return false;
  blockAllocated = blockTable[static_cast<std::size_t>(block)] == kUnallocated ? 0 : 1;
  return true;
}

bool FileReadSeekVHD::read(void* buffer, std::uint32_t byteCount) {
  if (byteCount == 0) return true;
  MutableByteSpan out(static_cast<std::byte*>(buffer), byteCount);
  bool ok = readAt(position + baseOffset, out);
  position += byteCount;
  seek(position, 0);
  return ok;
}

bool FileReadSeekVHD::readAt(std::int64_t offset, MutableByteSpan out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  if (offset < 0 || !vhdHandle.isOpen()) return false;
  bool ok = true;
  if (fixed_) {
    std::int64_t avail = std::clamp<std::int64_t>(diskBytes_ - offset, 0,
                                                  static_cast<std::int64_t>(out.size()));
    std::int64_t got = vhdHandle.readAt(static_cast<std::uint64_t>(offset),
                                        out.first(static_cast<std::size_t>(avail)));
    if (got != static_cast<std::int64_t>(out.size())) {
      lastError_ = "read past the end of the VHD disk";
      return false;
    }
    return true;
  }
  std::size_t done = 0;
  while (done < out.size()) {
    std::int64_t pos = offset + static_cast<std::int64_t>(done);
    std::int64_t block = pos / blockBytes_;
    std::int64_t within = pos % blockBytes_;
    std::size_t chunk = static_cast<std::size_t>(
        std::min<std::int64_t>(blockBytes_ - within, static_cast<std::int64_t>(out.size() - done)));
    if (block >= static_cast<std::int64_t>(blockTable.size())) {
      lastError_ = "read past the end of the VHD block table";
      return false;
    }
    std::uint32_t entry = blockTable[static_cast<std::size_t>(block)];
    if (entry != kUnallocated) {
      std::int64_t filePos = std::int64_t{entry} * kSectorSize + bitmapBytes_ + within;
      std::int64_t got = vhdHandle.readAt(static_cast<std::uint64_t>(filePos), out.subspan(done, chunk));
      if (got != static_cast<std::int64_t>(chunk)) {
        if (got > 0) std::fill(out.begin() + static_cast<std::ptrdiff_t>(done + got),
                               out.begin() + static_cast<std::ptrdiff_t>(done + chunk), std::byte{0});
        lastError_ = "VHD block " + std::to_string(block) + " lies past the end of the file";
        ok = false;
      }
    }
    done += chunk;
  }
  return ok;
}

}  // namespace quarnel
