#include "app/LxCfgClientApp.h"

#include <unistd.h>

#include "cfgmsg/CfgRequests.h"
#include "commands/HandleLine.h"

namespace quenlo {

namespace {

constexpr const char* kClientName = "quenlo";
constexpr const char* kServerEndpoint = "CfgServer-ReadFifo";
constexpr unsigned kWorkPeriodSeconds = 1;

}  // namespace

LxCfgClientApp* LxCfgClientApp::Instance() {
  static LxCfgClientApp application;
  return &application;
}

LxCfgClientApp::LxCfgClientApp() : exitCode_(0), prompter_(HandleLine), client_(nullptr) {}

LxCfgClientApp::~LxCfgClientApp() = default;

std::int32_t LxCfgClientApp::GetExitCode() const { return exitCode_; }

LxLinePrompter& LxCfgClientApp::GetPrompter() { return prompter_; }

qet_cfgserver::LxiConfigure* LxCfgClientApp::GetClient() { return client_; }

void LxCfgClientApp::OnStart() {
  LxBaseApp::OnStart();
  client_ = qet_cfgserver::CreateIpcClient(kClientName, kServerEndpoint);
  prompter_.Start();
}

void LxCfgClientApp::DoWork() {
  LxBaseApp::DoWork();
  sleep(kWorkPeriodSeconds);
}

void LxCfgClientApp::OnStop() {
  prompter_.Stop();
  if (client_ != nullptr) client_->Release();
  LxBaseApp::OnStop();
}

}  // namespace quenlo
