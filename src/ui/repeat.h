#pragma once
// Auto-repeat schedules of the step buttons, the scroll buttons and paging on
// the scroll bar's trough. Each tick of the window's timer calls tick(); the
// schedule says whether the tick acts and what the next interval is, so tests
// drive it tick by tick without waiting.

#include "view/view_state.h"

namespace quorvel {

class ButtonRepeat {
 public:
  static constexpr int kFirstInterval = kFirstRepeatIntervalMs;
  void start() {
    interval_ = kFirstInterval;
    armed_ = false;
    running_ = true;
  }
  void stop() {
    interval_ = kFirstInterval;
    running_ = false;
  }
  // The first tick only arms; every later one acts and shortens the interval.
  bool tick() {
    if (!running_) return false;
    if (!armed_) {
      armed_ = true;
      return false;
    }
    interval_ = NextRepeatInterval(interval_);
    return true;
  }
  int interval() const { return interval_; }
  bool running() const { return running_; }

 private:
  int interval_ = kFirstInterval;
  bool armed_ = false;
  bool running_ = false;
};

class PagingRepeat {
 public:
  static constexpr int kFirstInterval = kFirstPagingIntervalMs;
  void start() {
    interval_ = kFirstInterval;
    running_ = true;
  }
  void stop() { running_ = false; }
  // Every tick pages; the interval goes 240, 160, 80, 40, 20, 20, ...
  bool tick() {
    if (!running_) return false;
    interval_ = NextPagingInterval(interval_);
    return true;
  }
  int interval() const { return interval_; }
  bool running() const { return running_; }

 private:
  int interval_ = kFirstInterval;
  bool running_ = false;
};

}  // namespace quorvel
