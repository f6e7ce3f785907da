#include "recovery/hfs_view.h"

#include <set>

#include "fs/hfsplus/hfsp.h"

namespace quarnel {
namespace {

std::string trimmed(const std::string& s) {
  const char* blanks = " \t\r\n\v\f";
  const auto first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

class HfsView : public EntryView {
 public:
  explicit HfsView(HFSP& parser) : p_(parser) {}

  EntryId root() const override { return hfs::kRootFolderId; }

  std::vector<EntryId> children(EntryId folder) const override {
    std::vector<EntryId> out;
    if (folder == root()) {
      out.assign(p_.topLevel().begin(), p_.topLevel().end());
      return out;
    }
    const HfsEntryRecord* f = p_.find(folder);
    if (!f || f->type != hfs::kFolderRecord) return out;
    std::set<EntryId> seen;
    for (std::int64_t k = f->firstChild; k > 0 && seen.insert(k).second;) {
      const HfsEntryRecord* c = p_.find(k);
      if (!c) break;
      out.push_back(k);
      k = c->nextSibling;
    }
    return out;
  }
  bool hasChildren(EntryId folder) const override {
    if (folder == root()) return !p_.topLevel().empty();
    const HfsEntryRecord* f = p_.find(folder);
    return f && f->type == hfs::kFolderRecord && f->firstChild > 0 && p_.find(f->firstChild);
  }

  std::string name(EntryId e) const override { return rec(e) ? rec(e)->name : std::string(); }
  bool isFolder(EntryId e) const override {
    return e == root() || (rec(e) && rec(e)->type == hfs::kFolderRecord);
  }
  bool deleted(EntryId) const override { return false; }
  std::uint64_t size(EntryId e) const override { return rec(e) ? rec(e)->size : 0; }
  EntryTexts texts(EntryId e) const override {
    if (!rec(e)) return {};
    auto t = p_.entryTimeTexts(*rec(e));
    return {t[0], t[1], t[2], t[3]};
  }
  std::string sizeText(EntryId e) const override { return rec(e) ? p_.sizeText(*rec(e)) : std::string(); }
  // The content's modification date: the attribute date the saved copy would otherwise
  // get changes with every rename and permission change.
  Instant modifiedTime(EntryId e) const override {
    return rec(e) ? hfs::instantFromHfs(rec(e)->contentModDate) : Instant{};
  }
  Instant accessedTime(EntryId e) const override { return rec(e) ? p_.recordTimes(*rec(e)).accessed : Instant{}; }

  bool isFolderForSaving(EntryId e) const override {
    return e == root() || (isFolder(e) && parentAbove0(e));
  }
  bool isFileForSaving(EntryId e) const override {
    return rec(e) && rec(e)->type == hfs::kFileRecord && parentAbove0(e);
  }
  std::string savedName(EntryId e) const override { return trimmed(name(e)); }
  bool writeContent(EntryId e, ByteSink& out) override {
    const HfsEntryRecord* r = rec(e);
    return r && p_.saveFile(*r, out);
  }

 private:
  const HfsEntryRecord* rec(EntryId e) const { return p_.find(e); }
  bool parentAbove0(EntryId e) const { return rec(e) && static_cast<std::int32_t>(rec(e)->parent) > 0; }
  HFSP& p_;
};

class HfsVolume : public ParsedVolume {
 public:
  HfsVolume(readWriteInterface& disk, const VolumeRecord& record, Reporter& reporter)
      : parser(disk, record, reporter), view_(parser) {}
  EntryView& view() override { return view_; }
  void releaseJob() override { parser.setJob(nullptr); }
  HFSP parser;

 private:
  HfsView view_;
};

}  // namespace

std::unique_ptr<ParsedVolume> parseHfsVolume(readWriteInterface& disk, const VolumeRecord& record,
                                             const ParseOptions& options, Reporter& reporter, std::string& error) {
  auto v = std::make_unique<HfsVolume>(disk, record, reporter);
  v->parser.setJob(options.job);
  if (!v->parser.parse(options.mode != RecoveryMode::Standard, error)) return nullptr;
  return v;
}

}  // namespace quarnel
