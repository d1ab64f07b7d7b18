#pragma once

#include <ace/Log_Msg_Callback.h>

namespace qet_cfgserver {

// Sends what ACE itself logs (ACE_Log_Msg: the acceptor's and reactor's
// complaints) through __dlog_printf, so every line the server writes has
// the log format; ACE's own output to standard error is turned off while
// installed. ACE's priorities map onto the syslog levels of the log line.
//
// Main thread only: ACE_Log_Msg keeps its callback per thread, and the
// server logs from its one reactor thread. The destructor restores ACE's
// standard-error output.
class AceLogForwarder : public ACE_Log_Msg_Callback {
 public:
  AceLogForwarder();
  ~AceLogForwarder() override;

  AceLogForwarder(const AceLogForwarder&) = delete;
  AceLogForwarder& operator=(const AceLogForwarder&) = delete;

  void log(ACE_Log_Record& record) override;
};

}  // namespace qet_cfgserver
