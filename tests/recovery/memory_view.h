// A tree of entries held in memory, for the walks' cases that real images cannot show
// (links that loop, names that collide or escape, unreadable content).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "recovery/entry_view.h"

namespace quarnel::test {

class MemoryView : public EntryView {
 public:
  struct Node {
    std::string name;
    bool folder = false;
    bool deleted = false;
    std::string content;
    bool unreadable = false;
    std::vector<EntryId> children;
  };

  MemoryView() { nodes_.push_back({"", true, false, {}, false, {}}); }
  EntryId add(EntryId parent, const std::string& name, bool folder, std::string content = {}) {
    nodes_.push_back({name, folder, false, std::move(content), false, {}});
    EntryId id = static_cast<EntryId>(nodes_.size() - 1);
    nodes_[static_cast<std::size_t>(parent)].children.push_back(id);
    return id;
  }
  Node& node(EntryId e) { return nodes_[static_cast<std::size_t>(e)]; }
  std::string badClusName = "$BadClus";

  EntryId root() const override { return 0; }
  std::vector<EntryId> children(EntryId f) const override { return at(f).children; }
  std::string name(EntryId e) const override { return at(e).name; }
  bool isFolder(EntryId e) const override { return at(e).folder; }
  bool deleted(EntryId e) const override { return at(e).deleted; }
  std::uint64_t size(EntryId e) const override { return at(e).content.size(); }
  EntryTexts texts(EntryId) const override { return {"c", "a", "m", "-A"}; }
  std::string sizeText(EntryId e) const override { return quarnel::sizeText(size(e)); }
  Instant modifiedTime(EntryId) const override { return instantFromUnix(1700000000); }
  Instant accessedTime(EntryId) const override { return instantFromUnix(1700000100); }
  bool descendWhenSaving(EntryId e) const override { return at(e).name != "."; }
  bool writeWhenSaving(EntryId e) const override { return at(e).name != badClusName; }
  bool writeContent(EntryId e, ByteSink& out) override {
    const Node& n = at(e);
    return out.write(asBytes(n.content.data(), n.content.size())) && !n.unreadable;
  }

 private:
  const Node& at(EntryId e) const { return nodes_[static_cast<std::size_t>(e)]; }
  std::vector<Node> nodes_;
};

}  // namespace quarnel::test
