// Raw recovery of one volume: load the definitions, carve, and write the finds out.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "raw/carver.h"
#include "volumes/volume_record.h"

namespace quarnel {

struct SavedFind {
  std::size_t find = 0;  // index into the carver's foundFiles
  std::string path;      // empty when the file could not be created
  std::string error;     // why not, or what could not be read
};

struct SaveFindsResult {
  std::int64_t written = 0;  // files whose content was read and written in full
  std::vector<SavedFind> files;
};

// Writes the given finds of the carver's last run to outDir/<category>/<start>.<extension>,
// reading each from source (at its baseOffset) in bounded blocks. Names are made safe and
// nothing is overwritten; a find whose volume bytes cannot all be read is still written.
SaveFindsResult saveFoundFiles(readWriteInterface& source, const myJpg& carver,
                               const std::vector<std::size_t>& which, const std::string& outDir,
                               Reporter& reporter, JobControl& job);

struct RawRecoveryRequest {
  std::string defaultFile;                  // the file beside the program; empty: not loaded
  std::vector<std::string> signatureFiles;  // files the user named, loaded after it
  std::string outFolder;                    // where every find is written; empty: nowhere
};

struct SignatureFileProblem {
  std::string path;
  std::string message;  // "can not open file" or "not a valid file.."
};

struct RawRecoveryResult {
  bool carved = false;
  std::vector<SignatureFileProblem> problems;  // a named file's problem stops the run
  SaveFindsResult saved;
};

// Loads the definitions into carver (the default file first), carves the volume the record
// names from the disk ("zero size volume.." when it has no size) and saves every find. The
// carver's definitions, finds and counts stay for the caller to show.
RawRecoveryResult recoverRaw(myJpg& carver, readWriteInterface& disk, const VolumeRecord& volume,
                             const RawRecoveryRequest& request, Reporter& reporter,
                             CarveTreeSink& tree);

}  // namespace quarnel
