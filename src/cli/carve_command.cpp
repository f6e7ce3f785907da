// carve and signatures: raw recovery by file signatures, and the signature files it reads.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/array_options.h"
#include "cli/commands.h"
#include "cli/terminal_reporter.h"
#include "cli/volume_options.h"
#include "platform/raw_file.h"
#include "raw/default_signatures.h"
#include "raw/raw_recovery.h"
#include "raw/signature_file.h"

namespace quarnel::cli {
namespace {

constexpr int kCannot = 1;
constexpr int kUsage = 2;

// Holds the message boxes back so that each can be printed as one line once it is known
// what they are about; the end-of-run box is the summary's to say.
class HeldReporter : public TerminalReporter {
 public:
  using TerminalReporter::TerminalReporter;
  void message(std::string_view text) override {
    if (text != "done..") held.emplace_back(text);
  }
  std::vector<std::string> held;
};

// "FileSetting.txt" in the folder of the running program.
std::string defaultSignaturePath() {
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (n <= 0) return kDefaultSignatureFileName;
  self.resize(static_cast<std::size_t>(n));
  return (std::filesystem::path(self).parent_path() / kDefaultSignatureFileName).string();
}

struct CarveOptions {
  ArrayOptions array;
  VolumeOptions volume;
  std::string out;
  std::vector<std::string> signatures;
  bool noDefault = false;
};

int cmdCarve(const CarveOptions& o) {
  HeldReporter reporter(stderrIsTerminal());
  FileReadSeekRaid raid;
  std::string error;
  int status = 0;
  raid.setReporter(&reporter);
  if (!configureArray(o.array, raid, error)) {
    printError(error);
    return kUsage;
  }
  if (!raid.open("raid Hard disk..")) {
    printError("cannot open the array: " + raid.lastError());
    return kCannot;
  }
  for (const auto& w : raid.warnings()) printError("warning: " + w);
  VolumeRecord record;
  if (!resolveVolume(raid, o.volume, reporter, record, error, status)) {
    printError(error);
    return status;
  }
  std::error_code ec;
  std::filesystem::create_directories(o.out, ec);
  if (ec || !std::filesystem::is_directory(o.out)) {
    printError("cannot use " + o.out + " as the output folder: " + (ec ? ec.message() : "not a folder"));
    return kCannot;
  }

  RawRecoveryRequest request;
  if (!o.noDefault) request.defaultFile = defaultSignaturePath();
  request.signatureFiles = o.signatures;
  request.outFolder = o.out;
  myJpg carver;
  NullCarveTreeSink tree;
  RawRecoveryResult r = recoverRaw(carver, raid, record, request, reporter, tree);
  reporter.finish();
  for (const auto& p : r.problems) printError(p.path + ": " + p.message);
  if (!r.carved) {
    if (r.problems.empty() && carver.definitions.empty())
      printError("no signature definitions: " + (o.noDefault ? std::string("--no-default is given") : request.defaultFile + " is missing") +
                 " and no --signatures FILE names any");
    else
      for (const auto& m : reporter.held) printError(m);
    return kCannot;
  }
  for (const auto& m : reporter.held) printError(m);

  for (const SavedFind& s : r.saved.files) {
    const FoundFile& f = carver.foundFiles[s.find];
    std::printf("%s\t%s\t%lld\t%lld\t%s\n", f.name.c_str(), carver.definitions[f.definition].category.c_str(),
                static_cast<long long>(f.start), static_cast<long long>(f.length),
                s.path.empty() ? "-" : s.path.c_str());
    if (!s.error.empty()) printError(s.error);
  }
  std::vector<std::string> categories;
  for (const auto& d : carver.definitions)
    if (std::find(categories.begin(), categories.end(), d.category) == categories.end())
      categories.push_back(d.category);
  for (const auto& c : categories) {
    auto it = carver.categoryCounts.find(c);
    std::printf("%s (%lld)\n", c.c_str(), static_cast<long long>(it == carver.categoryCounts.end() ? 0 : it->second));
  }
  std::fprintf(stderr, "%lld of %zu files written into %s\n", static_cast<long long>(r.saved.written),
               carver.foundFiles.size(), o.out.c_str());
  return r.saved.written == static_cast<std::int64_t>(carver.foundFiles.size()) ? 0 : kCannot;
}

struct AddOptions {
  std::string file;
  SignatureEditorFields fields;
};

int cmdSignaturesAdd(const AddOptions& o) {
  AppendResult r = appendSignatureRecord(o.file, draftFromEditorFields(o.fields));
  if (!r.ok) {
    printError(o.file + ": " + r.message);
    return r.fileProblem ? kCannot : kUsage;
  }
  std::printf("%s\nrecord %zu appended to %s\n", r.message.c_str(), r.recordNumber, o.file.c_str());
  return 0;
}

int cmdSignaturesList(const std::string& file) {
  SignatureFileLoad load = loadSignatureFile(file, SignatureFileVariant::Chosen);
  if (load.status != LoadStatus::Loaded) {
    printError(file + ": " + load.message);
    return kCannot;
  }
  std::printf("record\text\tstart\tend\tsize offset\tsize bytes\theader size\tsize includes header\t"
              "approx size\tskip size\tcategory\n");
  for (const SignatureRecord& s : load.records)
    std::printf("%u\t%s\t%s\t%s\t%d\t%d\t%d\t%u\t%lld\t%lld\t%s\n", unsigned{s.recordNumber},
                s.extensionText().c_str(), signatureText(s.startBytes()).c_str(),
                signatureText(s.endBytes()).c_str(), s.sizeOffset, s.sizeBytes, s.headerSize,
                unsigned{s.sizeIncludesHeader}, static_cast<long long>(s.approxSize),
                static_cast<long long>(s.skipSize), s.categoryText().c_str());
  return 0;
}

int cmdSignaturesDefaults(const std::string& file, bool force) {
  if (!force && pathExists(file)) {
    printError(file + " exists; pass --force to replace it");
    return kCannot;
  }
  std::string error = writeDefaultSignatureFile(file);
  if (!error.empty()) {
    printError("cannot write " + error);
    return kCannot;
  }
  return 0;
}

}  // namespace

void registerCarveCommands(CLI::App& app, int& status) {
  // The option values live as long as the callbacks that own them.
  auto carve = std::make_shared<CarveOptions>();
  auto* c = app.add_subcommand(
      "carve", "find files by their signatures on a volume (any file system or none) and write "
               "each into DIR/<category>/<start>.<extension>");
  addArrayOptions(*c, carve->array);
  addVolumeOptions(*c, carve->volume);
  c->add_option("--out", carve->out, "the output folder (made when missing)")->required();
  c->add_option("--signatures", carve->signatures,
                "a signature definitions file, loaded after FileSetting.txt beside the program; repeatable");
  c->add_flag("--no-default", carve->noDefault, "do not load FileSetting.txt beside the program");
  c->callback([&status, carve] { status = cmdCarve(*carve); });

  auto* sig = app.add_subcommand("signatures", "signature definitions files, as carve reads them");
  sig->require_subcommand(1);

  auto add = std::make_shared<AddOptions>();
  auto* a = sig->add_subcommand("add", "append one definition to FILE (made when missing)");
  a->add_option("FILE", add->file, "the signature file")->required();
  a->add_option("--ext", add->fields.extension, "file extension without the dot; four characters are kept")->required();
  a->add_option("--start", add->fields.startSignature,
                "starting signature: comma-separated hexadecimal bytes, 2A matches any byte (at most 10)")
      ->required();
  a->add_option("--end", add->fields.endSignature, "ending signature, the same way (optional)");
  a->add_option("--size-offset", add->fields.sizeOffset, "offset of the size field in the first sector");
  a->add_option("--size-bytes", add->fields.sizeBytes, "bytes of the size field (4 is read, little-endian)");
  a->add_option("--header-size", add->fields.headerSize, "header bytes the size leaves out");
  a->add_flag("--size-includes-header", add->fields.sizeIncludesHeader, "the size field counts the header too");
  a->add_option("--approx", add->fields.approxSize, "approximate file size in bytes: the most a find may be");
  a->add_option("--skip", add->fields.skipSize, "bytes in which no further start is looked for after a find");
  a->add_option("--category", add->fields.category, "category the finds are put under (at most 49 characters)");
  a->callback([&status, add] { status = cmdSignaturesAdd(*add); });

  auto listFile = std::make_shared<std::string>();
  auto* l = sig->add_subcommand("list", "the definitions in FILE");
  l->add_option("FILE", *listFile, "the signature file")->required();
  l->callback([&status, listFile] { status = cmdSignaturesList(*listFile); });

  struct DefaultsOptions {
    std::string file;
    bool force = false;
  };
  auto defaults = std::make_shared<DefaultsOptions>();
  auto* d = sig->add_subcommand("defaults", "write the definitions shipped as FileSetting.txt to FILE");
  d->add_option("FILE", defaults->file, "the file to write")->required();
  d->add_flag("--force", defaults->force, "replace FILE if it exists");
  d->callback([&status, defaults] { status = cmdSignaturesDefaults(defaults->file, defaults->force); });
}

}  // namespace quarnel::cli
