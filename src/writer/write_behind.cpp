#include "writer/write_behind.h"

#include <utility>

namespace ps {

WriteBehind::WriteBehind(OutStream& out) : out_(out) { helper_ = std::thread([this] { Run(); }); }

WriteBehind::~WriteBehind() { Finish(); }

void WriteBehind::Take(std::string& buf) {
  if (buf.empty()) return;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return full_.size() < kQueued; });
    full_.push_back(std::move(buf));
    buf = std::string();
    if (!spare_.empty()) {
      buf = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  buf.reserve(kChunk + kChunk / 4);  // one node's bytes may run past the chunk
}

void WriteBehind::Finish() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  helper_.join();
}

void WriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return finishing_ || !full_.empty(); });
    if (full_.empty()) return;
    std::string bytes = std::move(full_.front());
    full_.pop_front();
    lock.unlock();
    changed_.notify_all();
    // A failed write is recorded by the stream; what follows is still
    // written, as when this thread writes.
    out_.write(bytes);
    bytes.clear();
    lock.lock();
    spare_.push_back(std::move(bytes));
  }
}

}  // namespace ps
