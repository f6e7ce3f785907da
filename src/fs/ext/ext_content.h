// Content held in the inode itself; what lies in blocks goes through the content streamer.
#pragma once

#include <cstdint>

#include "fs/ext/ext_inode.h"
#include "platform/byte_sink.h"

namespace quarnel::ext {

// Content held in the inode itself: inline data and fast symbolic links.
bool writeInlineContent(const Inode& inode, ByteSink& out);

}  // namespace quarnel::ext
