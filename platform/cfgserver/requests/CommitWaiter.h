#pragma once

#include <string>

namespace qet_cfgserver {

// Whoever waits for the answer to a write handed to GroupCommit: a client
// connection. Answer() is called once, on the reactor thread, with the
// encoded reply frame, after the write's group was committed or failed.
// Answer() may withdraw and delete the waiter (a connection that closes).
class CommitWaiter {
 public:
  virtual void Answer(const std::string& replyFrame) = 0;

 protected:
  ~CommitWaiter() = default;
};

}  // namespace qet_cfgserver
