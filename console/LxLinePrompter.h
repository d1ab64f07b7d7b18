#pragma once

#include <ace/Task.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "console/LxPrompterGate.h"

namespace quenlo {

// Handles one input line: given the prompter's state and the line (without
// its newline), returns the next state.
using LineHandler = std::int32_t (*)(std::int32_t state, std::string line);

// The console: an active object whose one thread prints a prompt, reads one
// line from std::cin, hands it to the handler and takes the handler's result
// as its next state, then pauses one second.
//
// The state is both the run flag and the key of the prompt text: above 0
// keeps the thread prompting, 0 or below stops it. A state without a prompt
// text prints nothing. Any thread may stop the prompter; a stop set while the
// handler runs is kept, whatever the handler returns. A stop takes effect at
// the thread's next look at the state, so a thread blocked on input ends only
// after that read returns.
//
// Threads: construct, Start() and destroy on one thread (the main thread);
// SetState()/Stop()/GetState() from any thread. The handler runs on the
// prompter thread. Nobody joins the thread; destruction is safe while the
// thread is still blocked on input (see LxPrompterGate).
class LxLinePrompter : public ACE_Task_Base {
 public:
  static constexpr std::int32_t kStateStopped = 0;
  static constexpr std::int32_t kStatePrompting = 2;

  explicit LxLinePrompter(LineHandler handler);
  ~LxLinePrompter() override;

  LxLinePrompter(const LxLinePrompter&) = delete;
  LxLinePrompter& operator=(const LxLinePrompter&) = delete;

  // Fills the prompt table and starts the thread: 0 on success, -1 if the
  // thread could not be started. Call once.
  int Start();

  void SetState(std::int32_t state);
  void Stop();
  std::int32_t GetState() const;

  // The thread body; returns 0 when the state has dropped to 0 or below.
  int svc() override;

 private:
  // Runs the handler on line unless the prompter was stopped meanwhile;
  // returns whether it ran.
  bool HandleOneLine(const std::string& line);

  const LineHandler handler_;
  std::atomic<std::int32_t> state_;
  std::map<std::int32_t, std::string> prompts_;
  const std::shared_ptr<LxPrompterGate> gate_;
};

}  // namespace quenlo
