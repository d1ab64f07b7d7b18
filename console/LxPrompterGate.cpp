#include "console/LxPrompterGate.h"

namespace quenlo {

bool LxPrompterGate::Enter() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closing_) return false;
  inside_ = true;
  return true;
}

void LxPrompterGate::Leave() {
  std::lock_guard<std::mutex> lock(mutex_);
  inside_ = false;
  changed_.notify_all();
}

void LxPrompterGate::MarkLeaving() {
  std::lock_guard<std::mutex> lock(mutex_);
  leaving_ = true;
}

bool LxPrompterGate::Close() {
  std::unique_lock<std::mutex> lock(mutex_);
  closing_ = true;
  changed_.wait(lock, [this] { return !inside_; });
  return leaving_;
}

void LxPrompterGate::Park() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) changed_.wait(lock);
}

}  // namespace quenlo
