#include "volumes/volume_record.h"

#include <cctype>

namespace quarnel {

std::int64_t volumeSizeMiB(const VolumeRecord& record) {
  std::int64_t v = 0;
  for (char c : record.volumeSizeText) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    if (v > (INT64_MAX - 9) / 10) break;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::uint64_t volumeReadLimit(const VolumeRecord& record, std::int64_t diskSectors) {
  if (record.startSector < 0 || diskSectors <= record.startSector) return 0;
  const auto rest = static_cast<std::uint64_t>(diskSectors - record.startSector) * 512;
  if (record.volumeSizeText.empty()) return rest;
  const auto mib = static_cast<std::uint64_t>(volumeSizeMiB(record));
  return mib >= rest / 1048576 ? rest : (mib + 1) * 1048576;
}

std::string volumeSizeText(std::int64_t mib, SizeStyle style) {
  std::string text = std::to_string(mib);
  switch (style) {
    case SizeStyle::ThreeBlanks: return text + "   MB";
    case SizeStyle::TwoBlanks: return text + "  MB";
    case SizeStyle::Bare: break;
  }
  return text;
}

}  // namespace quarnel
