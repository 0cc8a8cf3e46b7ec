// How far an array read has come: the leading elements already stored, for a
// thread that uses them while the read goes on.
#pragma once
#include <atomic>
#include <cstdint>

// Published by the reading thread (release), read by another (acquire).
struct ReadProgress {
  std::atomic<int64_t> stored{0};

  // The first `count` elements are final.
  void Publish(int64_t count) {
    stored.store(count, std::memory_order_release);
    stored.notify_one();
  }

  // Waits until at least `count` elements are final.
  void WaitFor(int64_t count) const {
    for (int64_t seen = stored.load(std::memory_order_acquire); seen < count;
         seen = stored.load(std::memory_order_acquire))
      stored.wait(seen, std::memory_order_acquire);
  }
};
