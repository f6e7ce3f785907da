#include "recovery/entry_paths.h"

#include <set>

namespace quarnel {

EntryId findPath(const EntryView& view, const std::string& path) {
  EntryId at = view.root();
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(start, slash - start);
    start = slash + 1;
    if (part.empty()) continue;
    const bool last = path.find_first_not_of('/', slash) == std::string::npos;
    EntryId best = kNoEntry;
    int bestScore = -1;
    for (EntryId child : view.children(at)) {
      if (view.name(child) != part) continue;
      int score = (view.deleted(child) ? 0 : 2) + ((last || view.isFolder(child)) ? 1 : 0);
      if (score > bestScore) {
        best = child;
        bestScore = score;
      }
    }
    if (best == kNoEntry) return kNoEntry;
    at = best;
  }
  return at;
}

namespace {

void listInto(const EntryView& view, EntryId folder, const std::string& path, bool recursive,
              std::set<EntryId>& seen, std::vector<ListedEntry>& out) {
  if (!seen.insert(folder).second) return;
  for (EntryId child : view.children(folder)) {
    const std::string name = view.name(child);
    if (name == "." || name == "..") continue;
    const std::string childPath = (path == "/" ? "" : path) + "/" + name;
    out.push_back({child, childPath});
    if (recursive && view.isFolder(child)) listInto(view, child, childPath, recursive, seen, out);
  }
}

}  // namespace

std::vector<ListedEntry> listFolder(const EntryView& view, EntryId folder,
                                    const std::string& folderPath, bool recursive) {
  std::vector<ListedEntry> out;
  std::set<EntryId> seen;
  listInto(view, folder, folderPath.empty() ? "/" : folderPath, recursive, seen, out);
  return out;
}

}  // namespace quarnel
