// Recycled files under their former names. The recycle bin keeps each file as "$R<suffix>"
// beside a small "$I<suffix>" record that holds the file's former full path.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/bytes.h"
#include "recovery/entry_view.h"

namespace quarnel {

class NtfsView;

// NTFS keeps one folder per user inside the bin; FAT32 and exFAT keep the pairs directly.
enum class RecycleLayout { UserFolders, Flat };

// The last component of the former path in a "$I" record's content: version 2 holds a
// 4-byte length at byte 24 and the path from byte 28, version 1 the path from byte 24.
// Empty when there is none.
std::string recycledFormerName(ByteSpan content);

// For every "$RECYCLE.BIN" or "$RECYCLEBIN" folder under the root: each "$R" file whose
// "$I" partner of the same suffix (read whole when under 2048 bytes) names a former path
// gets that path's last component through rename. Returns how many names were restored.
std::size_t restoreRecycledNames(EntryView& view, RecycleLayout layout,
                                 const std::function<void(EntryId, const std::string&)>& rename);

std::size_t restoreRecycledNames(NtfsView& view);

}  // namespace quarnel
