#pragma once

#include <ace/LSOCK_Stream.h>
#include <ace/Svc_Handler.h>
#include <ace/Synch_Traits.h>

#include <string>

#include "Frame.h"
#include "Messages.h"
#include "RequestDispatcher.h"

namespace qet_cfgserver {

// One client on the server's socket, driven by the reactor thread; the
// socket is non-blocking. Reads whatever has arrived into a frame assembler
// and answers each complete frame in turn. A reply the socket cannot take
// at once waits in a queue, sent from handle_output; meanwhile the
// connection neither reads nor answers more, so a client that never reads
// costs the server at most one reply. A bad frame header, or one announcing
// more than the largest legal request, closes only this connection, before
// its body is buffered.
//
// Created by ClientAcceptor; deletes itself when closed (ACE_Svc_Handler).
class ClientConnection : public ACE_Svc_Handler<ACE_LSOCK_Stream, ACE_NULL_SYNCH> {
 public:
  ClientConnection() = default;  // ACE_Acceptor's default factory needs it
  explicit ClientConnection(RequestDispatcher* dispatcher) : dispatcher_(dispatcher) {}

  int handle_input(ACE_HANDLE handle) override;
  int handle_output(ACE_HANDLE handle) override;

 private:
  // Answers buffered frames until one reply cannot be sent at once.
  // -1 closes the connection.
  int AnswerFrames();
  // Sends queued reply bytes until done or the socket is full.
  int Flush();
  // Reads when nothing is queued, else waits to write.
  int WatchFor(bool replyQueued);

  RequestDispatcher* dispatcher_ = nullptr;
  wire::FrameAssembler assembler_{wire::kMaxRequestBodyBytes};
  std::string pendingReply_;
  std::size_t pendingOffset_ = 0;
};

}  // namespace qet_cfgserver
