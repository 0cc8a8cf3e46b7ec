// A count of leading elements that are final: published by the thread that
// produces them, awaited by another that uses them meanwhile.
#pragma once
#include <atomic>
#include <cstdint>

// Only grows; stored with release, loaded with acquire.
struct Progress {
  std::atomic<int64_t> done{0};

  // The first `count` elements are final.
  void Publish(int64_t count) {
    done.store(count, std::memory_order_release);
    done.notify_one();
  }

  int64_t Get() const { return done.load(std::memory_order_acquire); }

  // Waits until at least `count` elements are final.
  void WaitFor(int64_t count) const {
    for (int64_t seen = Get(); seen < count; seen = Get())
      done.wait(seen, std::memory_order_acquire);
  }
};
