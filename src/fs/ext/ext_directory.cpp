#include "fs/ext/ext_directory.h"

#include <algorithm>

namespace quarnel::ext {
namespace {

constexpr std::size_t kInode = 0;
constexpr std::size_t kRecordLength = 4;
constexpr std::size_t kNameLength = 6;
constexpr std::size_t kFileType = 7;
constexpr std::size_t kName = 8;
constexpr std::size_t kHeader = 8;
constexpr std::uint16_t kMaxName = 255;
constexpr std::uint8_t kMaxFileType = 7;

std::size_t minimalLength(std::size_t nameLength) { return (kHeader + nameLength + 3) & ~std::size_t{3}; }

std::uint16_t nameLengthAt(ByteSpan b, std::size_t at, bool fileType) {
  return fileType ? u8(b, at + kNameLength) : le16(b, at + kNameLength);
}

std::string nameAt(ByteSpan b, std::size_t at, std::size_t length) {
  std::string name(length, '\0');
  for (std::size_t i = 0; i < length; ++i) name[i] = static_cast<char>(b[at + kName + i]);
  return name;
}

// A deleted entry keeps its header and name; what the live chain no longer covers may
// also hold leftovers of hash-tree roots or old names cut short, which these tests reject.
bool plausibleDeleted(ByteSpan b, std::size_t at, std::size_t end, const DirBlockOptions& o,
                      DirEntry& out, std::size_t& length) {
  const std::uint32_t inode = le32(b, at + kInode);
  const std::uint16_t recLen = le16(b, at + kRecordLength);
  const std::uint16_t nameLen = nameLengthAt(b, at, o.fileType);
  const std::uint8_t type = o.fileType ? u8(b, at + kFileType) : 0;
  if (inode == 0 || inode > o.inodeCount || nameLen == 0 || nameLen > kMaxName) return false;
  if (o.fileType && (type == 0 || type > kMaxFileType)) return false;
  length = minimalLength(nameLen);
  if (recLen < length || recLen % 4 != 0 || at + recLen > end) return false;
  for (std::size_t i = 0; i < nameLen; ++i) {
    const auto c = static_cast<std::uint8_t>(b[at + kName + i]);
    if (c == 0 || c == '/') return false;
  }
  out.inode = inode;
  out.fileType = type;
  out.name = nameAt(b, at, nameLen);
  out.deleted = true;
  return out.name != "." && out.name != "..";
}

void scanSlack(ByteSpan b, std::size_t from, std::size_t end, const DirBlockOptions& o,
               std::vector<DirEntry>& out) {
  std::size_t at = (from + 3) & ~std::size_t{3};
  while (at + kHeader <= end) {
    DirEntry e;
    std::size_t length = 0;
    if (plausibleDeleted(b, at, end, o, e, length)) {
      out.push_back(std::move(e));
      at += length;
    } else {
      at += 4;
    }
  }
}

}  // namespace

std::vector<DirEntry> parseDirectoryBlock(ByteSpan b, const DirBlockOptions& o) {
  std::vector<DirEntry> out;
  std::size_t at = 0;
  while (at + kHeader <= b.size()) {
    const std::uint32_t inode = le32(b, at + kInode);
    const std::uint16_t recLen = le16(b, at + kRecordLength);
    const std::uint16_t nameLen = nameLengthAt(b, at, o.fileType);
    if (nameLen == 0 || recLen == 0 || !fits(b, at + kName, nameLen)) break;
    if (o.fileType && inode > o.inodeCount) break;
    if (!o.fileType && nameLen > 1024) break;
    DirEntry e;
    e.inode = inode;
    e.fileType = o.fileType ? u8(b, at + kFileType) : 0;
    e.name = nameAt(b, at, nameLen);
    out.push_back(std::move(e));
    const std::size_t used = minimalLength(nameLen);
    // Without the file-type feature the chain always follows the record length.
    const std::size_t step = o.fileType ? std::max<std::size_t>(recLen, used) : recLen;
    if (o.slack && recLen > used) scanSlack(b, at + used, std::min(b.size(), at + recLen), o, out);
    at += step;
  }
  return out;
}

}  // namespace quarnel::ext
