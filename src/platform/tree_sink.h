// The folder tree a parser fills while it parses: the browse page's tree control, or a
// recorder in the command line and the tests.
#pragma once

#include <cstdint>
#include <string_view>

namespace quarnel {

using TreeItem = std::int64_t;  // 0: none (the top of the tree)

class TreeSink {
 public:
  virtual ~TreeSink() = default;
  // Inserts an item as the last child of parent; entry is the parser's reference to it
  // (-1 for an item without one). Returns the new item.
  virtual TreeItem insertItem(TreeItem parent, std::string_view text, bool folder, bool deleted,
                              std::int64_t entry) = 0;
  virtual void expand(TreeItem /*item*/) {}
};

// Numbers items and keeps nothing.
class NullTreeSink : public TreeSink {
 public:
  TreeItem insertItem(TreeItem, std::string_view, bool, bool, std::int64_t) override { return ++last_; }

 private:
  TreeItem last_ = 0;
};

}  // namespace quarnel
