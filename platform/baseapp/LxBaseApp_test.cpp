// The framework's lifecycle and its stop request.

#include "LxBaseApp.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <thread>

namespace {

class RecordingApp : public LxBaseApp {
 public:
  explicit RecordingApp(int stopAfterWork) : stopAfterWork_(stopAfterWork) {}

  std::string trace;

 protected:
  void OnStart() override { trace += "start "; }
  void DoWork() override {
    trace += "work ";
    if (++workCalls_ == stopAfterWork_) Stop();
  }
  void OnStop() override { trace += "stop"; }

 private:
  int stopAfterWork_;
  int workCalls_ = 0;
};

TEST(LxBaseApp, RunsStartThenWorkUntilStoppedThenStop) {
  RecordingApp app(3);
  EXPECT_EQ(app.Start(), 0);
  EXPECT_EQ(app.trace, "start work work work stop");
}

TEST(LxBaseApp, StopBeforeStartSkipsTheWork) {
  RecordingApp app(1);
  app.Stop();
  app.Start();
  EXPECT_EQ(app.trace, "start stop");
}

class SpinningApp : public LxBaseApp {
 protected:
  void DoWork() override { std::this_thread::yield(); }
};

TEST(LxBaseApp, StopFromAnotherThreadEndsTheLoop) {
  SpinningApp app;
  std::thread stopper([&app] { app.Stop(); });
  app.Start();
  stopper.join();
  EXPECT_TRUE(app.IsStopRequested());
}

SpinningApp* signalledApp = nullptr;

void StopOnSignal(int) { signalledApp->Stop(); }

TEST(LxBaseApp, StopFromASignalHandlerEndsTheLoop) {
  SpinningApp app;
  signalledApp = &app;
  struct sigaction action {};
  action.sa_handler = StopOnSignal;
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  std::thread signaller([] { kill(getpid(), SIGUSR1); });
  app.Start();
  signaller.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_TRUE(app.IsStopRequested());
}

}  // namespace
