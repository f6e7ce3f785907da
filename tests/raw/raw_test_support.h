// A volume held in memory and a tree that keeps what the carver puts in it.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "raw/carver.h"
#include "raw/signature_record.h"
#include "storage/read_write_interface.h"

namespace quarnel::test::raw {

class MemoryVolume : public readWriteInterface {
 public:
  explicit MemoryVolume(std::size_t bytes, std::uint8_t fill = 0x11) : bytes_(bytes, fill) {}
  bool open(const std::string&) override { return true; }
  bool readAt(std::int64_t offset, MutableByteSpan out) override {
    reads.push_back(offset);
    for (std::size_t i = 0; i < out.size(); ++i) {
      const auto at = static_cast<std::size_t>(offset) + i;
      out[i] = at < bytes_.size() ? static_cast<std::byte>(bytes_[at]) : std::byte{0};
    }
    return static_cast<std::size_t>(offset) + out.size() <= bytes_.size();
  }
  std::int64_t sizeSectors() const override { return static_cast<std::int64_t>(bytes_.size() / 512); }

  void put(std::size_t at, const std::vector<std::uint8_t>& b) { std::memcpy(bytes_.data() + at, b.data(), b.size()); }
  std::size_t size() const { return bytes_.size(); }
  std::vector<std::int64_t> reads;

 private:
  std::vector<std::uint8_t> bytes_;
};

class RecordingTree : public CarveTreeSink {
 public:
  struct Item {
    TreeItem parent;
    std::string text;
    bool folder;
    std::int64_t entry;
  };
  TreeItem insertItem(TreeItem parent, std::string_view text, bool folder, bool, std::int64_t entry) override {
    items.push_back({parent, std::string(text), folder, entry});
    return static_cast<TreeItem>(items.size());
  }
  void setItemText(TreeItem item, std::string_view text) override { items.at(static_cast<std::size_t>(item) - 1).text = text; }
  const Item& at(TreeItem item) const { return items.at(static_cast<std::size_t>(item) - 1); }
  std::vector<Item> items;
};

class RecordingReporter : public Reporter {
 public:
  void progressRange(std::int64_t low, std::int64_t high) override { range = {low, high}; }
  void progressPosition(std::int64_t p) override { positions.push_back(p); }
  void message(std::string_view text) override { messages.emplace_back(text); }
  std::pair<std::int64_t, std::int64_t> range{-1, -1};
  std::vector<std::int64_t> positions;
  std::vector<std::string> messages;
};

// A record as the editor would make it (fails the test when it cannot be built).
SignatureRecord recordOf(const SignatureDraft& draft, std::size_t number = 0);

}  // namespace quarnel::test::raw
