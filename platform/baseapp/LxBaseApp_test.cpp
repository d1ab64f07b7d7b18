// The framework's lifecycle. Stop() from a signal handler is exercised end
// to end by the console's SIGTERM tests.

#include "baseapp/LxBaseApp.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
