#pragma once

#include <cstdint>

#include "baseapp/LxBaseApp.h"
#include "cfgmsg/LxiConfigure.h"
#include "console/LxLinePrompter.h"

namespace quenlo {

// The console client: the one application object of the process.
//
//   OnStart  creates the configuration client handle ("quenlo" to
//            "CfgServer-ReadFifo") and starts the prompter thread
//   DoWork   paces the framework loop, one second per call
//   OnStop   stops the prompter and releases the client handle
//
// Owns the prompter (by value). The client handle belongs to the library;
// the application holds it from OnStart on and releases it in OnStop. The
// lifecycle runs on the main thread; the prompter thread reads the client
// and prompter through GetClient()/GetPrompter() while running commands.
class LxCfgClientApp : public LxBaseApp {
 public:
  // The single application object, built on first use (thread-safe) and
  // destroyed at process exit.
  static LxCfgClientApp* Instance();

  ~LxCfgClientApp() override;

  std::int32_t GetExitCode() const;
  LxLinePrompter& GetPrompter();
  qet_cfgserver::LxiConfigure* GetClient();

 protected:
  void OnStart() override;
  void DoWork() override;
  void OnStop() override;

 private:
  LxCfgClientApp();

  std::int32_t exitCode_;
  LxLinePrompter prompter_;
  qet_cfgserver::LxiConfigure* client_;
};

}  // namespace quenlo
