#pragma once

#include <condition_variable>
#include <mutex>

namespace quenlo {

// Where the prompter thread and the destruction of its prompter meet.
//
// Nobody joins the prompter thread, and at process exit the prompter is
// destroyed while its thread may still be blocked reading standard input,
// pausing, or running a command. The thread therefore touches its prompter
// only inside stretches opened with Enter() and closed with Leave(); the
// destructor calls Close(), which waits for a stretch under way to end and
// makes every later Enter() fail. A thread whose Enter() fails must Park():
// it never touches the prompter again and never returns (returning would let
// ACE touch the destroyed task).
//
// Shared through a std::shared_ptr that the thread copies, so the gate
// outlives the prompter. All members may be called from any thread.
class LxPrompterGate {
 public:
  // False once Close() has begun; the caller must then Park().
  bool Enter();
  void Leave();

  // Inside a stretch: the thread leaves its loop and returns to ACE, which
  // touches the task object once more after the stretch has ended.
  void MarkLeaving();

  // Waits until no stretch is under way and shuts the gate. Returns true when
  // the thread has returned or is returning to ACE, so the caller must wait
  // for it (briefly) before destroying the task.
  bool Close();

  // Blocks the calling thread for good.
  [[noreturn]] void Park();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool closing_ = false;
  bool inside_ = false;
  bool leaving_ = false;
};

}  // namespace quenlo
