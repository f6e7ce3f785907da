#include "storage/member_info.h"

#include "storage/file_read_seek.h"
#include "storage/file_read_seek_raid.h"
#include "storage/file_read_seek_vhd.h"

namespace quarnel {

MemberInfo describeMember(const std::string& name, bool vhd) {
  MemberInfo info;
  if (FileReadSeekRaid::isMissingName(name)) {
    info.kind = "missing";
    return info;
  }
  const std::int64_t before = currentDiskSectors;
  if (vhd) {
    FileReadSeekVHD source;
    if (source.open(name)) {
      info.kind = source.isFixed() ? "fixed VHD" : "dynamic VHD";
      info.sectors = source.sizeSectors();
    } else {
      info.error = source.lastError();
    }
  } else {
    RawFile file;
    if (file.open(name)) {
      FileReadSeek source(std::move(file));
      info.kind = source.isBlockDevice() ? "block device" : "raw image";
      info.sectors = source.sizeSectors();
    } else {
      info.error = file.error();
    }
  }
  currentDiskSectors = before;  // a look at a member is not the opening of a disk
  return info;
}

}  // namespace quarnel
