// ls, find, cat, save and candidates: the commands that read a parsed volume.
#include <cstdio>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "app/session.h"
#include "cli/array_options.h"
#include "cli/commands.h"
#include "cli/terminal_reporter.h"
#include "cli/volume_options.h"
#include "platform/raw_file.h"
#include "recovery/entry_paths.h"
#include "recovery/name_search.h"
#include "recovery/open_volume.h"
#include "recovery/save_walk.h"

namespace quarnel::cli {
namespace {

constexpr int kCannot = 1;
constexpr int kUsage = 2;

struct Target {
  ArrayOptions array;
  VolumeOptions volume;
};

void addTarget(CLI::App& command, Target& t) {
  addArrayOptions(command, t.array);
  addVolumeOptions(command, t.volume);
}

// The command line keeps the end-of-work boxes to itself: its own summary says it.
class QuietReporter : public TerminalReporter {
 public:
  using TerminalReporter::TerminalReporter;
  void finished(std::string_view) override {}
};

class StdoutSink : public ByteSink {
 public:
  bool write(ByteSpan data) override {
    return std::fwrite(data.data(), 1, data.size(), stdout) == data.size();
  }
};

// Everything between the options and a parsed volume: the array, the record, the parse.
struct Opened {
  app::RecoverySession session;
  VolumeRecord record;
  std::unique_ptr<ParsedVolume> volume;  // goes before the session's disk
};

bool openVolume(const Target& t, TerminalReporter& reporter, Opened& o, int& status) {
  std::string error;
  if (!o.session.openArray(t.array, reporter, error, status)) {
    printError(error);
    return false;
  }
  for (const auto& w : o.session.warnings()) printError("warning: " + w);
  if (!resolveVolume(o.session.disk(), t.volume, reporter, o.record, error, status)) {
    printError(error);
    return false;
  }
  ParseOptions p;
  if (!app::parseOptionsFor(t.volume, p, error)) {
    printError(error);
    status = kUsage;
    return false;
  }
  o.volume = o.session.openVolume(o.record, p, reporter, error);
  reporter.finish();
  if (!o.volume) {
    printError(app::parseFailureText(o.record, error));
    status = kCannot;
    return false;
  }
  return true;
}

std::string tsvLine(const EntryView& v, EntryId e, const std::string& path) {
  const bool folder = v.isFolder(e);
  return std::string(folder ? "d" : "f") + "\t" + (v.deleted(e) ? "1" : "0") + "\t" +
         std::to_string(folder ? 0 : v.size(e)) + "\t" + isoUtcText(v.modifiedTime(e)) + "\t" + path;
}

std::string textLine(const EntryView& v, EntryId e, const std::string& path) {
  const bool folder = v.isFolder(e);
  char buf[160];
  std::snprintf(buf, sizeof buf, "%s %s %12s  %-22s ", folder ? "d" : "f", v.deleted(e) ? "D" : "-",
                folder ? "" : v.sizeText(e).c_str(), v.texts(e).modified.c_str());
  return buf + path;
}

struct LsOptions {
  std::string path = "/";
  bool recursive = false, deletedOnly = false;
  std::string format = "text";
};

int cmdLs(const Target& t, const LsOptions& l) {
  QuietReporter reporter(stderrIsTerminal());
  Opened o;
  int status = 0;
  if (!openVolume(t, reporter, o, status)) return status;
  EntryView& view = o.volume->view();
  EntryId at = findPath(view, l.path);
  if (at == kNoEntry) {
    printError("no entry " + l.path + " on the volume");
    return kCannot;
  }
  std::vector<ListedEntry> rows;
  if (at != view.root() && !view.isFolder(at))
    rows.push_back({at, l.path});
  else
    rows = listFolder(view, at, l.path, l.recursive);
  const bool tsv = l.format == "tsv";
  for (const auto& r : rows) {
    if (l.deletedOnly && !view.deleted(r.entry)) continue;
    std::string line = tsv ? tsvLine(view, r.entry, r.path) : textLine(view, r.entry, r.path);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return 0;
}

int cmdFind(const Target& t, const std::string& pattern, const std::string& format) {
  QuietReporter reporter(stderrIsTerminal());
  Opened o;
  int status = 0;
  if (!openVolume(t, reporter, o, status)) return status;
  EntryView& view = o.volume->view();
  std::vector<SearchRow> rows;
  JobControl job;
  SearchEnd end = searchNames(view, pattern, reporter, job, rows);
  reporter.finish();
  for (const auto& r : rows) {
    std::string line = format == "tsv" ? tsvLine(view, r.entry, r.path) : textLine(view, r.entry, r.path);
    std::printf("%s\n", line.c_str());
  }
  return end == SearchEnd::InvalidPattern ? kUsage : 0;
}

int cmdCat(const Target& t, const std::string& path) {
  QuietReporter reporter(false);
  Opened o;
  int status = 0;
  if (!openVolume(t, reporter, o, status)) return status;
  EntryView& view = o.volume->view();
  EntryId e = findPath(view, path);
  if (e == kNoEntry || e == view.root() || view.isFolder(e)) {
    printError(e == kNoEntry ? "no entry " + path + " on the volume" : path + " is a folder");
    return kCannot;
  }
  StdoutSink out;
  bool ok = view.writeContent(e, out);
  std::fflush(stdout);
  if (!ok) {
    printError("some of " + path + " could not be read");
    return kCannot;
  }
  return 0;
}

struct SaveOptions {
  std::string out;
  std::vector<std::string> paths;
  bool dryRun = false;
};

int cmdSave(const Target& t, const SaveOptions& s) {
  QuietReporter reporter(stderrIsTerminal());
  Opened o;
  int status = 0;
  if (!openVolume(t, reporter, o, status)) return status;
  EntryView& view = o.volume->view();
  std::vector<EntryId> targets;
  for (const auto& p : s.paths.empty() ? std::vector<std::string>{"/"} : s.paths) {
    EntryId e = findPath(view, p);
    if (e == kNoEntry) {
      printError("no entry " + p + " on the volume");
      return kCannot;
    }
    targets.push_back(e);
  }
  std::int64_t total = 0;
  for (EntryId e : targets)
    total += (e == view.root() || view.isFolderForSaving(e)) ? countFiles(view, e) : 1;
  if (s.dryRun) {
    std::printf("number of files found = %lld\n", static_cast<long long>(total));
    return 0;
  }
  std::error_code ec;
  std::filesystem::create_directories(s.out, ec);
  if (ec || !std::filesystem::is_directory(s.out)) {
    printError("cannot use " + s.out + " as the output folder: " + (ec ? ec.message() : "not a folder"));
    return kCannot;
  }
  SaveResult result;
  JobControl job;
  job.beginPhase(0, total);
  reporter.progressRange(0, total);
  for (EntryId e : targets) {
    if (e == view.root() || view.isFolderForSaving(e)) {
      saveFolderContents(view, e, s.out, reporter, job, result);
    } else {
      ++result.files;
      std::string error;
      bool saved = !quickDump(view, e, s.out, error).empty();
      if (saved && error.empty()) ++result.written;
      else result.failures.push_back(error);
    }
  }
  reporter.finish();
  for (const auto& f : result.failures) printError(f);
  std::printf("saved %lld of %lld files into %s", static_cast<long long>(result.written),
              static_cast<long long>(result.files), s.out.c_str());
  if (result.skipped > 0)
    std::printf(" (%lld never written, as $BadClus)", static_cast<long long>(result.skipped));
  std::printf("\nwork done\n");
  return result.failures.empty() ? 0 : kCannot;
}

int cmdCandidates(const Target& t, int maximum) {
  TerminalReporter reporter(stderrIsTerminal());
  app::RecoverySession session;
  std::string error;
  int status = 0;
  if (!session.openArray(t.array, reporter, error, status)) {
    printError(error);
    return status;
  }
  FileReadSeekRaid& raid = session.disk();
  VolumeRecord record;
  if (!resolveVolume(raid, t.volume, reporter, record, error, status)) {
    printError(error);
    return status;
  }
  CandidateList list;
  bool ok = listCandidates(raid, record, maximum, reporter, list, error);
  reporter.finish();
  if (!ok) {
    printError(error);
    return kCannot;
  }
  for (const auto& l : list.lines) std::printf("%s\n", l.c_str());
  std::printf("cluster sizes:");
  for (const auto& c : list.clusterChoices) std::printf(" %s", c.c_str());
  std::printf("\n");
  return 0;
}

}  // namespace

void registerBrowseCommands(CLI::App& app, int& status) {
  static Target target;  // one command runs per process

  auto* ls = app.add_subcommand("ls", "list a folder of a volume (the root by default)");
  addTarget(*ls, target);
  static LsOptions l;
  ls->add_option("PATH", l.path, "a folder or file, /-separated from the volume root");
  ls->add_flag("-r,--recursive", l.recursive, "everything below the folder");
  ls->add_flag("--deleted", l.deletedOnly, "only entries the file system marks deleted");
  ls->add_option("--format", l.format, "text or tsv")->check(CLI::IsMember({"text", "tsv"}));
  ls->callback([&status] { status = cmdLs(target, l); });

  auto* find = app.add_subcommand("find", "files whose name matches an ECMAScript regular expression");
  addTarget(*find, target);
  static std::string pattern, findFormat = "text";
  find->add_option("PATTERN", pattern, "case-sensitive; matches anywhere in the name")->required();
  find->add_option("--format", findFormat, "text or tsv")->check(CLI::IsMember({"text", "tsv"}));
  find->callback([&status] { status = cmdFind(target, pattern, findFormat); });

  auto* cat = app.add_subcommand("cat", "one file's content to standard output");
  addTarget(*cat, target);
  static std::string catPath;
  cat->add_option("PATH", catPath, "the file, /-separated from the volume root")->required();
  cat->callback([&status] { status = cmdCat(target, catPath); });

  auto* save = app.add_subcommand("save", "save folders (their contents) and files into DIR");
  addTarget(*save, target);
  static SaveOptions s;
  save->add_option("--out", s.out, "the output folder (made when missing)")->required();
  save->add_option("PATH", s.paths, "folders and files to save (default: the whole volume)");
  save->add_flag("--dry-run", s.dryRun, "print how many files would be saved");
  save->callback([&status] { status = cmdSave(target, s); });

  auto* candidates = app.add_subcommand("candidates", "advanced mode: MFT, FAT and heap candidates");
  addTarget(*candidates, target);
  static int maximum = 100;
  candidates->add_option("--max", maximum, "at most this many candidates")->check(CLI::PositiveNumber);
  candidates->callback([&status] { status = cmdCandidates(target, maximum); });
}

}  // namespace quarnel::cli
