// Copies a range of a sector source into a file, in large sequential blocks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/job.h"
#include "platform/output_file.h"
#include "platform/reporter.h"
#include "storage/read_write_interface.h"

namespace quarnel {

struct ExportResult {
  bool written = false;              // every byte reached the file
  std::int64_t unreadSectors = 0;    // sectors that could not be read and were written as zeros
  std::int64_t firstUnreadSector = -1;
  bool stopped = false;              // a stop request ended the copy
  std::string error;                 // why writing stopped, or what could not be read
};

// Progress goes to reporter as a range 0..count in sectors; job, when given, can stop it.
ExportResult exportSectors(readWriteInterface& source, std::int64_t firstSector,
                           std::int64_t count, OutputFile& out, Reporter& reporter,
                           JobControl* job = nullptr);

}  // namespace quarnel
