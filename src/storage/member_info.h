// What a prospective array member is, before it takes part in an array.
#pragma once

#include <cstdint>
#include <string>

namespace quarnel {

struct MemberInfo {
  std::string kind;           // "block device", "raw image", "dynamic VHD", "fixed VHD", "missing"
  std::int64_t sectors = 0;   // size in 512-byte sectors
  std::string error;          // why it could not be opened; empty when it could
};

MemberInfo describeMember(const std::string& name, bool vhd);

}  // namespace quarnel
