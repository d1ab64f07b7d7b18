// The console client's entry point.

#include <libgen.h>
#include <signal.h>
#include <string.h>

#include <iostream>
#include <string>

#include "app/LxCfgClientApp.h"
#include "dlog/dlog.h"

namespace {

constexpr const char* kSourceName = "cfgclient";

quenlo::LxCfgClientApp* application = nullptr;

void OnSigTerm(int signalNumber) {
  if (signalNumber == SIGTERM) application->Stop();
}

void InstallSigTermHandler() {
  struct sigaction action;
  memset(&action, 0, sizeof action);  // no SA_RESTART: an interrupted read returns
  action.sa_handler = OnSigTerm;
  struct sigaction previous;
  sigaction(SIGTERM, &action, &previous);
}

// POSIX basename may modify its argument, so it gets a copy.
std::string ProgramName(const char* argument0) {
  std::string copy = argument0 != nullptr ? argument0 : "";
  return basename(&copy[0]);
}

}  // namespace

int main(int, char* argv[]) {
  // The prompter thread may sit in a read of standard input when the process
  // exits; unsynchronised streams keep the C library's stdin lock out of it.
  std::ios::sync_with_stdio(false);

  application = quenlo::LxCfgClientApp::Instance();
  const std::string programName = ProgramName(argv[0]);
  __dlog_printf(kDlogNotice, kSourceName, "---- %s is starting ----\n", programName.c_str());
  std::cout << "Configurator      build " << __DATE__ << " : " << __TIME__ << std::endl;
  InstallSigTermHandler();

  application->Start();

  const int exitCode = application->GetExitCode();
  __dlog_printf(kDlogNotice, kSourceName, "---- %s is stopping ----\n", programName.c_str());
  return exitCode;
}
