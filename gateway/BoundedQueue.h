// A queue of limited length between the line threads and a slow output: a
// push never waits; when the queue is full the item is dropped and counted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

template <class T>
class TBoundedQueue {
public:
  explicit TBoundedQueue(size_t limit) : Limit(limit) {}

  // False (and the item counted as dropped) when the queue is full or closed.
  bool TryPush(T item) {
    {
      std::lock_guard lock(Mutex);
      if (Closed || Items.size() >= Limit) {
        ++Dropped;
        return false;
      }
      Items.push_back(std::move(item));
    }
    Ready.notify_one();
    return true;
  }

  // Waits up to timeout for an item; nothing when none came or the queue is
  // closed and empty.
  std::optional<T> Pop(std::chrono::milliseconds timeout) {
    std::unique_lock lock(Mutex);
    Ready.wait_for(lock, timeout, [this] { return !Items.empty() || Closed; });
    if (Items.empty()) return std::nullopt;
    T item = std::move(Items.front());
    Items.pop_front();
    return item;
  }

  // Pushes fail from now on; what is queued can still be taken.
  void Close() {
    {
      std::lock_guard lock(Mutex);
      Closed = true;
    }
    Ready.notify_all();
  }

  bool IsClosed() const {
    std::lock_guard lock(Mutex);
    return Closed;
  }
  size_t Size() const {
    std::lock_guard lock(Mutex);
    return Items.size();
  }
  uint64_t DroppedCount() const {
    std::lock_guard lock(Mutex);
    return Dropped;
  }

private:
  const size_t Limit;
  mutable std::mutex Mutex;
  std::condition_variable Ready;
  std::deque<T> Items;
  uint64_t Dropped = 0;
  bool Closed = false;
};
