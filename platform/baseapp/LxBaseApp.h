#pragma once

#include <atomic>

// The application framework's base class: runs an application's lifecycle on
// the thread that calls Start().
//
//   Start():  OnStart() once, then DoWork() over and over until Stop() has
//             been requested, then OnStop() once; returns 0.
//
// Derived classes override the hooks and call the base versions (first in
// OnStart and DoWork, last in OnStop). The base hooks do nothing. DoWork()
// paces the loop itself; the base never sleeps.
//
// Stop() only sets a lock-free atomic flag, so it is async-signal-safe and may
// be called from any thread, also before Start(): a stop requested early is
// kept, and Start() then runs OnStart() and OnStop() without any DoWork().
class LxBaseApp {
 public:
  LxBaseApp();
  virtual ~LxBaseApp();

  LxBaseApp(const LxBaseApp&) = delete;
  LxBaseApp& operator=(const LxBaseApp&) = delete;

  // Runs the lifecycle; returns when the application has stopped.
  int Start();

  // Requests the end of Start()'s loop. Async-signal-safe, any thread.
  void Stop();

  bool IsStopRequested() const;

 protected:
  virtual void OnStart();
  virtual void DoWork();
  virtual void OnStop();

 private:
  std::atomic<bool> stopRequested_;
  static_assert(std::atomic<bool>::is_always_lock_free, "Stop() must stay async-signal-safe");
};
