// The one way a file's content leaves a volume: each parser describes the content as
// extents (where each piece lies, or that it is a hole), and this streamer reads them in
// large batches. Holes, the part past the initialised size and bytes that cannot be read all
// come out as zeros in place, so later bytes never shift; the unreadable ranges are told to
// the sink and counted.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/byte_sink.h"
#include "platform/job.h"
#include "storage/read_write_interface.h"

namespace quarnel {

struct ContentExtent {
  std::uint64_t logical = 0;   // where the piece starts in the file, in bytes
  std::uint64_t length = 0;    // bytes
  std::uint64_t physical = 0;  // where it lies, in bytes from the volume's start
  bool hole = false;           // sparse, unwritten or uninitialised: zeros, nothing to read
};

struct ContentMap {
  std::vector<ContentExtent> extents;  // rising logical offsets; a gap between them is a hole
  std::uint64_t size = 0;              // the content's length; past the last extent, a hole
  // The first byte the map covers: a long file may be streamed in several maps in turn.
  std::uint64_t start = 0;
  // Bytes from here on read as zeros whatever the extents say (NTFS's initialised size).
  std::uint64_t validSize = std::numeric_limits<std::uint64_t>::max();

  // Appends a piece, merged into the last one when it follows on both in the file and on
  // the volume.
  void add(std::uint64_t logical, std::uint64_t length, std::uint64_t physical, bool hole = false);
};

struct ContentReport {
  bool written = true;         // the sink took every byte (false: it refused, or a stop came)
  bool stopped = false;
  std::uint64_t unreadable = 0;  // bytes written as zeros because they could not be read
  bool complete() const { return written && !stopped && unreadable == 0; }
};

// The volume as content reads it: a source, where the volume starts on it, and how many
// bytes of it may be read (bytes past that are unreadable).
struct VolumeBytes {
  readWriteInterface* source = nullptr;
  std::uint64_t start = 0;
  std::uint64_t limit = std::numeric_limits<std::uint64_t>::max();
};

ContentReport streamContent(const VolumeBytes& volume, const ContentMap& map, ByteSink& out,
                            JobControl* job = nullptr);

}  // namespace quarnel
