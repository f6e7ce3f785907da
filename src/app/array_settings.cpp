#include "app/array_settings.h"

#include <algorithm>
#include <charconv>

namespace quarnel::app {
namespace {

struct LayoutName {
  std::int32_t layout;
  const char* name;
};
constexpr LayoutName kLayouts[] = {{kRightAsymmetric, "right-asymmetric"},
                                   {kLeftAsymmetric, "left-asymmetric"},
                                   {kLeftSymmetric, "left-symmetric"},
                                   {kRightSymmetric, "right-symmetric"}};

bool parseOffsets(const std::string& text, std::vector<std::int64_t>& out) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), v);
    if (item.empty() || ec != std::errc{} || end != item.data() + item.size() || v < 0) return false;
    out.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

}  // namespace

std::int32_t parseLayout(const std::string& text) {
  for (const auto& l : kLayouts)
    if (text == l.name || text == std::to_string(l.layout)) return l.layout;
  return 0;
}

std::string layoutName(std::int32_t layout) {
  for (const auto& l : kLayouts)
    if (l.layout == layout) return l.name;
  return "unknown";
}

bool configureArray(const ArraySettings& o, FileReadSeekRaid& raid, std::string& error) {
  raid.raidLevel = o.level;
  raid.stripeSectors = o.stripe;
  raid.parityLayout = parseLayout(o.layout);
  if (raid.parityLayout == 0) {
    error = "unknown parity layout '" + o.layout + "' (1|right-asymmetric, 2|left-asymmetric, "
            "3|left-symmetric, 4|right-symmetric)";
    return false;
  }
  raid.memberNames.clear();
  for (const auto& m : o.members) {
    std::string lower = m;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    raid.memberNames.push_back(lower == "missing" ? kMissingDiskName : m);
  }
  raid.memberOffsets.clear();
  if (!o.offsets.empty()) {
    if (!parseOffsets(o.offsets, raid.memberOffsets)) {
      error = "--offsets takes whole numbers of sectors separated by commas, not '" + o.offsets + "'";
      return false;
    }
    if (raid.memberOffsets.size() != raid.memberNames.size()) {
      error = "--offsets gives " + std::to_string(raid.memberOffsets.size()) + " offsets for " +
              std::to_string(raid.memberNames.size()) + " members";
      return false;
    }
  } else {
    for (const auto& name : raid.memberNames) raid.memberOffsets.push_back(raid.probeMemberOffset(name));
  }
  return true;
}

}  // namespace quarnel::app
