#pragma once
// Auto-repeat schedules of the step buttons, the scroll buttons and paging on
// the scroll bar's trough. Each tick of the window's timer calls tick(); the
// schedule says whether the tick acts and what the next interval is, so tests
// drive it tick by tick without waiting. The intervals are the view's
// (view/view_state.h): its first intervals and its shortening steps.

#include "view/view_state.h"

namespace quorvel {

class ButtonRepeat {
 public:
  void start() {
    interval_ = kFirstRepeatIntervalMs;
    armed_ = false;
    running_ = true;
  }
  void stop() {
    interval_ = kFirstRepeatIntervalMs;
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
  int interval_ = kFirstRepeatIntervalMs;
  bool armed_ = false;
  bool running_ = false;
};

class PagingRepeat {
 public:
  void start() {
    interval_ = kFirstPagingIntervalMs;
    running_ = true;
  }
  void stop() { running_ = false; }
  // Every tick pages and shortens the interval.
  bool tick() {
    if (!running_) return false;
    interval_ = NextPagingInterval(interval_);
    return true;
  }
  int interval() const { return interval_; }
  bool running() const { return running_; }

 private:
  int interval_ = kFirstPagingIntervalMs;
  bool running_ = false;
};

}  // namespace quorvel
