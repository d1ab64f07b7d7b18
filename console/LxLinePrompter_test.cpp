// The prompter's state machine, driven through std::cin and std::cout.

#include "console/LxLinePrompter.h"

#include <ext/stdio_filebuf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

namespace quenlo {
namespace {

// What the handler saw, and what it answers. The handler is a plain
// function, so the script lives in one shared place.
struct Script {
  std::mutex mutex;
  std::vector<std::pair<std::int32_t, std::string>> calls;
  std::vector<std::int32_t> results;
  LxLinePrompter* prompter = nullptr;
  bool stopFromAnotherThread = false;
};

Script* script = nullptr;

std::int32_t ScriptedHandler(std::int32_t state, std::string line) {
  std::size_t call;
  bool stopMeanwhile;
  {
    std::lock_guard<std::mutex> lock(script->mutex);
    call = script->calls.size();
    script->calls.emplace_back(state, line);
    stopMeanwhile = script->stopFromAnotherThread;
  }
  if (stopMeanwhile) std::thread([] { script->prompter->Stop(); }).join();
  return call < script->results.size() ? script->results[call] : 0;
}

class LxLinePrompterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script = &script_;
    savedIn_ = std::cin.rdbuf();
    savedOut_ = std::cout.rdbuf(output_.rdbuf());
  }
  void TearDown() override {
    std::cin.rdbuf(savedIn_);
    std::cin.clear();
    std::cout.rdbuf(savedOut_);
    script = nullptr;
  }

  // Runs a prompter over input until its thread ends; returns its output.
  std::string RunToEnd(const std::string& input) {
    std::istringstream in(input);
    std::cin.rdbuf(in.rdbuf());
    LxLinePrompter prompter(ScriptedHandler);
    script_.prompter = &prompter;
    EXPECT_EQ(prompter.Start(), 0);
    prompter.wait();  // joins: the thread's writes are visible from here on
    EXPECT_LE(prompter.GetState(), 0);
    return output_.str();
  }

  Script script_;
  std::ostringstream output_;
  std::streambuf* savedIn_ = nullptr;
  std::streambuf* savedOut_ = nullptr;
};

TEST_F(LxLinePrompterTest, HandsLinesOnInOrderThenEmptyLinesAtEndOfInputUntilStopped) {
  script_.results = {3, 2, 2, 2, -1};
  const std::string output = RunToEnd("one\ntwo\nthree\r\nlast");
  using Call = std::pair<std::int32_t, std::string>;
  EXPECT_EQ(script_.calls, (std::vector<Call>{{2, "one"}, {3, "two"}, {2, "three\r"}, {2, "last"}, {2, ""}}));
  // State 3 has no prompt text: nothing is printed before the second read.
  EXPECT_EQ(output, "\n: \n: \n: \n: ");
}

TEST_F(LxLinePrompterTest, StopFromAnotherThreadWhileHandlerRunsIsKept) {
  script_.stopFromAnotherThread = true;
  script_.results = {2, 2};
  const std::string output = RunToEnd("first\nsecond\n");
  ASSERT_EQ(script_.calls.size(), 1u);
  EXPECT_EQ(output, "\n: ");
}

TEST_F(LxLinePrompterTest, DestroyedWhileBlockedOnInputNeverTouchedAgain) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  // The parked thread keeps its input stream for the rest of the process,
  // as the real console keeps standard input: never freed.
  static auto* input = new __gnu_cxx::stdio_filebuf<char>(pipeEnds[0], std::ios::in);
  std::cin.rdbuf(input);
  auto* prompter = new LxLinePrompter(ScriptedHandler);
  script_.prompter = prompter;
  ASSERT_EQ(prompter->Start(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the thread blocks in its read
  const auto before = std::chrono::steady_clock::now();
  delete prompter;
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));

  // The late line wakes the thread; it must park without calling the
  // handler or touching the freed prompter (AddressSanitizer watches).
  ASSERT_EQ(write(pipeEnds[1], "late\n", 5), 5);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::lock_guard<std::mutex> lock(script_.mutex);
  EXPECT_TRUE(script_.calls.empty());
  close(pipeEnds[1]);
}

}  // namespace
}  // namespace quenlo
