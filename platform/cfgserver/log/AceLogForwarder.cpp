#include "log/AceLogForwarder.h"

#include <ace/Log_Msg.h>
#include <ace/Log_Priority.h>
#include <ace/Log_Record.h>

#include "log/ServerLog.h"

namespace qet_cfgserver {

namespace {

int DlogLevel(ACE_UINT32 priority) {
  switch (priority) {
    case LM_EMERGENCY:
    case LM_ALERT:
    case LM_CRITICAL: return kDlogCritical;
    case LM_ERROR: return kDlogError;
    case LM_WARNING: return kDlogWarning;
    case LM_NOTICE:
    case LM_STARTUP:
    case LM_SHUTDOWN: return kDlogNotice;
    case LM_INFO: return kDlogInfo;
    default: return kDlogDebug;
  }
}

}  // namespace

AceLogForwarder::AceLogForwarder() {
  ACE_Log_Msg* aceLog = ACE_Log_Msg::instance();
  aceLog->msg_callback(this);
  aceLog->set_flags(ACE_Log_Msg::MSG_CALLBACK);
  aceLog->clr_flags(ACE_Log_Msg::STDERR);
}

AceLogForwarder::~AceLogForwarder() {
  ACE_Log_Msg* aceLog = ACE_Log_Msg::instance();
  aceLog->set_flags(ACE_Log_Msg::STDERR);
  aceLog->clr_flags(ACE_Log_Msg::MSG_CALLBACK);
  aceLog->msg_callback(nullptr);
}

void AceLogForwarder::log(ACE_Log_Record& record) {
  __dlog_printf(DlogLevel(record.type()), kServerLogSource, "ACE: %s", record.msg_data());
}

}  // namespace qet_cfgserver
