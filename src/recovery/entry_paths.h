// Entries by path, and listings of a folder: how the command line names what it shows.
#pragma once

#include <string>
#include <vector>

#include "recovery/entry_view.h"

namespace quarnel {

// "/" or "" is the root folder; components are matched exactly, a live entry before a
// deleted one of the same name, a folder before a file where the path goes on.
EntryId findPath(const EntryView& view, const std::string& path);

struct ListedEntry {
  EntryId entry = kNoEntry;
  std::string path;  // "/"-separated from the volume root, starting with "/"
};

// The children of folder (all below it with recursive), in link order, depth first;
// entries named "." or ".." are left out, and every folder is entered once.
std::vector<ListedEntry> listFolder(const EntryView& view, EntryId folder,
                                    const std::string& folderPath, bool recursive);

}  // namespace quarnel
