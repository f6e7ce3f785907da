#include "recovery/ext_view.h"

#include <set>

#include "fs/ext/ext2_class.h"

namespace quarnel {
namespace {

std::string trimmed(const std::string& s) {
  const char* blanks = " \t\r\n\v\f";
  const auto first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

class ExtView : public EntryView {
 public:
  explicit ExtView(ext2Class& parser) : p_(parser) {}

  EntryId root() const override { return kExtRootKey; }
  std::string topLevelText() const override { return "ROOT"; }

  std::vector<EntryId> children(EntryId folder) const override {
    std::vector<EntryId> out;
    const ExtEntryRecord* f = p_.find(folder);
    if (!f) return out;
    std::set<EntryId> seen;
    for (ExtKey k = f->firstChild; k > 0 && seen.insert(k).second;) {
      const ExtEntryRecord* c = p_.find(k);
      if (!c) break;
      if (c->named) out.push_back(k);
      k = c->nextSibling;
    }
    return out;
  }
  bool hasChildren(EntryId folder) const override {
    const ExtEntryRecord* f = p_.find(folder);
    return f && f->firstChild > 0 && p_.find(f->firstChild);
  }

  std::string name(EntryId e) const override { return rec(e) ? rec(e)->name : std::string(); }
  bool isFolder(EntryId e) const override {
    return rec(e) && (rec(e)->mode & ext::kModeTypeMask) == ext::kModeDirectory;
  }
  bool deleted(EntryId e) const override { return rec(e) && rec(e)->deleted; }
  std::uint64_t size(EntryId e) const override { return rec(e) ? rec(e)->size : 0; }
  EntryTexts texts(EntryId e) const override {
    if (!rec(e)) return {};
    auto t = p_.entryTimeTexts(*rec(e));
    return {t[0], t[1], t[2], t[3]};
  }
  std::string sizeText(EntryId e) const override { return rec(e) ? p_.sizeText(*rec(e)) : std::string(); }
  Instant modifiedTime(EntryId e) const override { return rec(e) ? p_.inodeTimes(*rec(e)).written : Instant{}; }
  Instant accessedTime(EntryId e) const override { return rec(e) ? p_.inodeTimes(*rec(e)).accessed : Instant{}; }

  // The root's own "." record is a folder only for the tree.
  bool isFolderForSaving(EntryId e) const override {
    return isFolder(e) && name(e) != "." && name(e) != "..";
  }
  // Regular files and symbolic links (their target as content); devices, pipes and sockets
  // have nothing to save.
  bool isFileForSaving(EntryId e) const override {
    if (!rec(e)) return false;
    const std::uint16_t type = rec(e)->mode & ext::kModeTypeMask;
    return type == ext::kModeRegular || type == ext::kModeSymlink;
  }
  std::string savedName(EntryId e) const override { return trimmed(name(e)); }
  bool writeContent(EntryId e, ByteSink& out) override {
    const ExtEntryRecord* r = rec(e);
    return r && p_.saveFile(*r, out);
  }

 private:
  const ExtEntryRecord* rec(EntryId e) const { return p_.find(e); }
  ext2Class& p_;
};

class ExtVolume : public ParsedVolume {
 public:
  ExtVolume(readWriteInterface& disk, const VolumeRecord& record, Reporter& reporter)
      : parser(disk, record, reporter), view_(parser) {}
  EntryView& view() override { return view_; }
  void releaseJob() override { parser.setJob(nullptr); }
  ext2Class parser;

 private:
  ExtView view_;
};

}  // namespace

std::unique_ptr<ParsedVolume> parseExtVolume(readWriteInterface& disk, const VolumeRecord& record,
                                             const ParseOptions& options, Reporter& reporter,
                                             std::string& error) {
  auto v = std::make_unique<ExtVolume>(disk, record, reporter);
  v->parser.setJob(options.job);
  if (!v->parser.parse(error)) return nullptr;
  return v;
}

}  // namespace quarnel
