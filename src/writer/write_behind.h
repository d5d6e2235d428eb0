// Writes a large output on a helper thread while this thread makes the
// bytes that follow: copying tens of megabytes into the system's files is a
// good part of writing, and it needs nothing of the tree.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/context.h"

namespace ps {

class WriteBehind {
 public:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;  // about what Take is handed at a time

  // Starts the helper; std::system_error when no thread can be had. Until
  // Finish, `out` is the helper's alone.
  explicit WriteBehind(OutStream& out);
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Queues the bytes of `buf` after those taken before, and leaves `buf`
  // empty with room for a chunk. Waits while a few chunks are queued, so
  // that the memory held stays small.
  void Take(std::string& buf);
  // Returns once everything taken is written and the helper has ended.
  void Finish();

 private:
  static constexpr std::size_t kQueued = 4;

  void Run();

  OutStream& out_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> full_;    // taken, not yet written, in order
  std::vector<std::string> spare_;  // written, for Take to hand back
  bool finishing_ = false;
  std::thread helper_;
};

}  // namespace ps
