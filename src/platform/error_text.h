// The reason the last operation of an object failed, kept so that several threads may read
// through the object at once: each failure replaces the text under a lock.
#pragma once

#include <mutex>
#include <string>

namespace quarnel {

class ErrorText {
 public:
  ErrorText() = default;
  ErrorText(const ErrorText& other) : text_(other.get()) {}
  ErrorText& operator=(const ErrorText& other) {
    if (this != &other) set(other.get());
    return *this;
  }
  ErrorText& operator=(std::string text) {
    set(std::move(text));
    return *this;
  }

  void set(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text);
  }
  void clear() { set({}); }
  std::string get() const {
    std::lock_guard lock(mutex_);
    return text_;
  }
  bool empty() const {
    std::lock_guard lock(mutex_);
    return text_.empty();
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace quarnel
