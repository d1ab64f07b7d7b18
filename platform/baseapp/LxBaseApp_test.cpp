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
  RecordingApp stoppedEarly(1);
  stoppedEarly.Stop();
  stoppedEarly.Start();
  EXPECT_EQ(stoppedEarly.trace, "start stop");
}

RecordingApp* signalledApp = nullptr;

TEST(LxBaseApp, StopFromASignalHandlerOnAnotherThreadEndsTheLoop) {
  RecordingApp app(-1);  // only the signal stops it
  signalledApp = &app;
  struct sigaction action {};
  action.sa_handler = [](int) { signalledApp->Stop(); };
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  std::thread signaller([] { kill(getpid(), SIGUSR1); });
  app.Start();
  signaller.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_TRUE(app.IsStopRequested());
}

}  // namespace
