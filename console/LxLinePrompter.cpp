#include "console/LxLinePrompter.h"

#include <unistd.h>

#include <iostream>

namespace quenlo {

namespace {

constexpr const char* kStoppedPrompt = "stopping...\n";
constexpr const char* kPrompt = "\n: ";
constexpr unsigned kPauseSeconds = 1;

}  // namespace

LxLinePrompter::LxLinePrompter(LineHandler handler)
    : ACE_Task_Base(ACE_Thread_Manager::instance()),
      handler_(handler),
      state_(kStatePrompting),
      gate_(std::make_shared<LxPrompterGate>()) {}

LxLinePrompter::~LxLinePrompter() {
  Stop();
  // A thread already on its way out returns through ACE, which still uses
  // this task for a moment: let it finish. Any other thread parks.
  if (gate_->Close()) wait();
}

int LxLinePrompter::Start() {
  prompts_[kStateStopped] = kStoppedPrompt;
  prompts_[kStatePrompting] = kPrompt;
  return activate();
}

void LxLinePrompter::SetState(std::int32_t state) { state_.store(state); }

void LxLinePrompter::Stop() { SetState(kStateStopped); }

std::int32_t LxLinePrompter::GetState() const { return state_.load(); }

int LxLinePrompter::svc() {
  // A copy of its own: the gate must outlive this prompter.
  const std::shared_ptr<LxPrompterGate> gate = gate_;
  for (;;) {
    if (!gate->Enter()) gate->Park();
    if (state_.load() <= 0) {
      gate->MarkLeaving();
      gate->Leave();
      return 0;
    }
    std::cout << prompts_[state_.load()];
    gate->Leave();

    std::string line;
    std::getline(std::cin, line);  // flushes std::cout first: std::cin is tied to it

    if (!gate->Enter()) gate->Park();
    const bool handled = HandleOneLine(line);
    gate->Leave();
    if (handled) sleep(kPauseSeconds);
  }
}

bool LxLinePrompter::HandleOneLine(const std::string& line) {
  const std::int32_t state = state_.load();
  if (state <= 0) return false;
  const std::int32_t next = handler_(state, line);
  std::int32_t current = state_.load();
  while (current > 0 && !state_.compare_exchange_weak(current, next)) {
  }
  return true;
}

}  // namespace quenlo
