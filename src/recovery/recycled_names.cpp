#include "recovery/recycled_names.h"

#include <map>
#include <vector>

#include "platform/byte_sink.h"
#include "platform/text.h"
#include "recovery/ntfs_view.h"

namespace quarnel {
namespace {

constexpr std::size_t kMaxRecordBytes = 2047;  // a "$I" record of 2048 bytes or more is skipped
constexpr std::size_t kVersion = 0;            // u64
constexpr std::size_t kPathV1 = 24;
constexpr std::size_t kLengthV2 = 24;  // u32, characters with the terminating zero
constexpr std::size_t kPathV2 = 28;

bool startsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

std::string recycledFormerName(ByteSpan content) {
  const bool v2 = le64(content, kVersion) == 2;
  const std::size_t start = v2 ? kPathV2 : kPathV1;
  if (start >= content.size()) return {};
  std::size_t chars = (content.size() - start) / 2;
  if (v2) chars = std::min<std::size_t>(chars, le32(content, kLengthV2));
  std::u16string path;
  for (std::size_t i = 0; i < chars; ++i) {
    const auto c = static_cast<char16_t>(le16(content, start + 2 * i));
    if (c == 0) break;
    path.push_back(c);
  }
  const std::size_t slash = path.rfind(u'\\');
  return utf16ToUtf8(slash == std::u16string::npos ? path : path.substr(slash + 1));
}

std::size_t restoreRecycledNames(EntryView& view, RecycleLayout layout,
                                 const std::function<void(EntryId, const std::string&)>& rename) {
  std::size_t restored = 0;
  const auto scan = [&](EntryId folder) {
    const std::vector<EntryId> kids = view.children(folder);
    std::vector<std::string> names;
    names.reserve(kids.size());
    for (EntryId k : kids) names.push_back(view.name(k));
    std::map<std::string, std::string> formerNames;
    for (std::size_t i = 0; i < kids.size(); ++i) {
      if (!startsWith(names[i], "$I") || view.isFolder(kids[i])) continue;
      MemorySink content(kMaxRecordBytes);
      if (!view.writeContent(kids[i], content)) continue;
      std::string former = recycledFormerName(content.bytes);
      if (!former.empty()) formerNames[names[i]] = std::move(former);
    }
    for (const auto& [key, former] : formerNames) {
      const std::string partner = "$R" + key.substr(2);
      for (std::size_t i = 0; i < kids.size(); ++i)
        if (names[i] == partner) {
          rename(kids[i], former);
          ++restored;
        }
    }
  };
  for (EntryId bin : view.children(view.root())) {
    if (!view.isFolder(bin)) continue;
    const std::string name = view.name(bin);
    if (name != "$RECYCLE.BIN" && name != "$RECYCLEBIN") continue;
    if (layout == RecycleLayout::Flat) {
      scan(bin);
      continue;
    }
    for (EntryId user : view.children(bin))
      if (view.isFolder(user)) scan(user);
  }
  return restored;
}

std::size_t restoreRecycledNames(NtfsView& view) {
  return restoreRecycledNames(view, RecycleLayout::UserFolders,
                              [&](EntryId e, const std::string& name) { view.rename(e, name); });
}

}  // namespace quarnel
