#include "baseapp/LxBaseApp.h"

LxBaseApp::LxBaseApp() : stopRequested_(false) {}

LxBaseApp::~LxBaseApp() = default;

int LxBaseApp::Start() {
  OnStart();
  while (!IsStopRequested()) DoWork();
  OnStop();
  return 0;
}

void LxBaseApp::Stop() { stopRequested_.store(true); }

bool LxBaseApp::IsStopRequested() const { return stopRequested_.load(); }

void LxBaseApp::OnStart() {}

void LxBaseApp::DoWork() {}

void LxBaseApp::OnStop() {}
