#include "fs/ext/ext_content.h"

#include <algorithm>

namespace quarnel::ext {
bool writeInlineContent(const Inode& inode, ByteSink& out) {
  std::uint64_t left = inode.size;
  const std::uint64_t head = std::min<std::uint64_t>(left, kBlockAreaSize);
  if (!out.write(ByteSpan(inode.blockArea.data(), head))) return false;
  left -= head;
  const std::uint64_t tail = std::min<std::uint64_t>(left, inode.inlineTail.size());
  return out.write(ByteSpan(inode.inlineTail.data(), tail));
}

}  // namespace quarnel::ext
