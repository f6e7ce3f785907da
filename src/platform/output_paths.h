// Recovered names become paths under an output folder: made safe, confined to that folder,
// and never placed on top of something that is already there.
#pragma once

#include <string>
#include <string_view>

#include "platform/output_file.h"

namespace quarnel {

// One path component from a recovered name: "/" and NUL become "_", "." and ".." become
// "_." and "_..", an empty name becomes "_", and a name longer than 255 bytes is cut
// (keeping its extension) on a UTF-8 character boundary.
std::string safeComponent(std::string_view name);

// "name (2).ext", "name (3).ext", ...: the k-th alternative of a name (k >= 2).
std::string numberedName(const std::string& name, int k);

// Creates dir/safeComponent(name) with O_EXCL, or the first numbered alternative that does
// not exist yet. Returns the path created, or empty with out.error() set.
std::string createUniqueFile(const std::string& dir, std::string_view name, OutputFile& out);

// The folder dir/safeComponent(name): an existing folder of that name is reused; when a
// file holds the name, a numbered alternative is made. Returns its path, or empty (error
// set) when it cannot be made.
std::string makeUniqueFolder(const std::string& dir, std::string_view name, std::string& error);

}  // namespace quarnel
