#include "raw/raw_recovery.h"

#include <algorithm>
#include <map>

#include "platform/output_paths.h"
#include "raw/signature_file.h"
#include "storage/volume_source.h"

namespace quarnel {
namespace {

constexpr std::int64_t kCopyBlock = 1048576;

// Copies length bytes at start of the volume into out; false when some could not be read.
bool copyFind(readWriteInterface& source, std::int64_t start, std::int64_t length, OutputFile& out,
              std::vector<std::byte>& buffer, std::string& error) {
  bool complete = true;
  for (std::int64_t done = 0; done < length;) {
    const std::int64_t n = std::min(kCopyBlock, length - done);
    MutableByteSpan chunk(buffer.data(), static_cast<std::size_t>(n));
    if (!source.readAt(source.baseOffset + start + done, chunk)) {
      if (complete) error = "some of it could not be read and was written as zeros: " + source.lastError();
      complete = false;
    }
    if (!out.write(chunk)) {
      error = out.error();
      return false;
    }
    done += n;
  }
  return complete;
}

}  // namespace

SaveFindsResult saveFoundFiles(readWriteInterface& source, const myJpg& carver,
                               const std::vector<std::size_t>& which, const std::string& outDir,
                               Reporter& reporter, JobControl& job) {
  SaveFindsResult result;
  std::map<std::string, std::string> folders;  // category -> folder made for it
  std::vector<std::byte> buffer(static_cast<std::size_t>(kCopyBlock));
  reporter.progressRange(0, static_cast<std::int64_t>(which.size()));
  for (std::size_t k = 0; k < which.size() && !job.shouldStop(); ++k) {
    reporter.progressPosition(static_cast<std::int64_t>(k));
    SavedFind saved;
    saved.find = which[k];
    if (saved.find >= carver.foundFiles.size()) continue;
    const FoundFile& f = carver.foundFiles[saved.find];
    const FileTypeDefinition& def = carver.definitions[f.definition];
    auto folder = folders.find(def.category);
    if (folder == folders.end()) {
      std::string error;
      folder = folders.emplace(def.category, makeUniqueFolder(outDir, def.category, error)).first;
      if (folder->second.empty()) saved.error = error;
    }
    if (!folder->second.empty()) {
      const std::string name = std::to_string(f.start) + (def.extension.empty() ? "" : "." + def.extension);
      OutputFile out;
      saved.path = createUniqueFile(folder->second, name, out);
      if (saved.path.empty()) {
        saved.error = "cannot create a file for " + name + " in " + folder->second + ": " + out.error();
      } else {
        reporter.status("saving File  " + saved.path);
        const bool complete = copyFind(source, f.start, f.length, out, buffer, saved.error);
        const bool closed = out.close();
        if (!closed && saved.error.empty()) saved.error = out.error();
        if (complete && closed) ++result.written;
      }
    } else if (saved.error.empty()) {
      saved.error = "cannot make a folder for " + def.category + " in " + outDir;
    }
    result.files.push_back(std::move(saved));
  }
  reporter.progressPosition(static_cast<std::int64_t>(which.size()));
  return result;
}

RawRecoveryResult recoverRaw(myJpg& carver, readWriteInterface& disk, const VolumeRecord& volume,
                             const RawRecoveryRequest& request, Reporter& reporter,
                             CarveTreeSink& tree) {
  RawRecoveryResult result;
  if (!request.defaultFile.empty()) {
    SignatureFileLoad load = loadSignatureFile(request.defaultFile, SignatureFileVariant::Default);
    if (load.status == LoadStatus::Loaded) carver.addRecords(load.records);
    if (load.status == LoadStatus::Invalid) result.problems.push_back({request.defaultFile, load.message});
  }
  for (const std::string& path : request.signatureFiles) {
    SignatureFileLoad load = loadSignatureFile(path, SignatureFileVariant::Chosen);
    if (load.status != LoadStatus::Loaded) {
      result.problems.push_back({path, load.message});
      return result;
    }
    carver.addRecords(load.records);
  }

  std::int64_t bytes = volumeSizeMiB(volume) * 1048576;
  if (bytes <= 0) {
    reporter.warning(WarningKind::Notice, "zero size volume..");
    return result;
  }
  // The volume's own reader: the disk may be shared with open volumes and other jobs.
  VolumeSource source(disk);
  source.baseOffset = volume.startSector * kSectorSize;
  // A range given by hand may reach past the disk; there is nothing to carve out there.
  const std::int64_t diskBytes = disk.sizeSectors() * kSectorSize;
  if (diskBytes > 0) {
    const std::int64_t rest = std::max<std::int64_t>(diskBytes - source.baseOffset, 0);
    // Sizes are whole MiB rounded down: a volume that reaches the disk's last MiB ends with it.
    bytes = bytes / 1048576 >= rest / 1048576 ? rest : bytes;
  }

  reporter.status("Processing.....");
  if (!carver.carveVolume(source, bytes, reporter, tree)) return result;
  reporter.status("Processing done");
  result.carved = true;
  if (request.outFolder.empty()) return result;
  std::vector<std::size_t> all(carver.foundFiles.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  result.saved = saveFoundFiles(source, carver, all, request.outFolder, reporter, *carver.job);
  return result;
}

}  // namespace quarnel
