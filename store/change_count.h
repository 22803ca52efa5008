#pragma once
// How often a store has changed, and who hears of each change: the shell
// saves the options file from it, so that a change reaches the disk as it
// happens rather than at exit.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

namespace corvantis {

class ChangeCount {
 public:
  ChangeCount() = default;
  // A copy is another store: it carries the count, never the listener.
  ChangeCount(const ChangeCount& other) : count_(other.count_) {}
  ChangeCount(ChangeCount&& other) noexcept : count_(other.count_) {}
  // A store assigned over is a changed store: its count moves past both.
  ChangeCount& operator=(const ChangeCount& other) {
    if (this != &other) assignedFrom(other.count_);
    return *this;
  }
  ChangeCount& operator=(ChangeCount&& other) {
    if (this != &other) assignedFrom(other.count_);
    return *this;
  }
  ~ChangeCount() = default;

  uint64_t value() const { return count_; }
  void bump() {
    ++count_;
    if (listener_) listener_();
  }
  // Called after every change, on the thread that made it.
  void setListener(std::function<void()> listener) { listener_ = std::move(listener); }

 private:
  void assignedFrom(uint64_t other) {
    count_ = std::max(count_, other) + 1;
    if (listener_) listener_();
  }
  uint64_t count_ = 0;
  std::function<void()> listener_;
};

}  // namespace corvantis
