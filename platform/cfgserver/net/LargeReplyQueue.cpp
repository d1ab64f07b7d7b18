#include "net/LargeReplyQueue.h"

#include <ace/OS_NS_sys_time.h>

#include <algorithm>

#include "cfgwire/Messages.h"

namespace qet_cfgserver {

const ACE_Time_Value LargeReplyQueue::kLongestWait(0, 100 * 1000);

bool LargeReplyQueue::MayBeLarge(const wire::FrameHeader& header, const std::string& body) {
  std::uint32_t operation = 0, argument = 0;
  if (!wire::PeekRequest(header, body, &operation, &argument)) return false;
  switch (static_cast<wire::Operation>(operation)) {
    case wire::Operation::kGetSets:
    case wire::Operation::kGetSections:
    case wire::Operation::kGetKeysAndValues:
    case wire::Operation::kChanges:
    case wire::Operation::kImportPreview:  // reads the whole set
    // Read from history: a history lists up to wire::kMaxRevisionsPerReply
    // revisions; a show or a diff decodes, or folds, whole revisions for
    // each piece.
    case wire::Operation::kHistory:
    case wire::Operation::kShowRevision:
    case wire::Operation::kDiff:
      return true;
    case wire::Operation::kExport:
      return argument != wire::kExportPieceArgument;
    default:
      return false;
  }
}

void LargeReplyQueue::Remove(Waiter* waiter) {
  waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), waiter), waiting_.end());
}

bool LargeReplyQueue::Due(bool otherWorkReady) const {
  return !waiting_.empty() && (!otherWorkReady || ACE_OS::gettimeofday() - lastAnswered_ >= kLongestWait);
}

void LargeReplyQueue::AnswerOldest() {
  if (waiting_.empty()) return;
  Waiter* waiter = waiting_.front();
  waiting_.pop_front();
  waiter->AnswerInTurn();
  // From the end of the build: other work gets its time before the next.
  lastAnswered_ = ACE_OS::gettimeofday();
}

}  // namespace qet_cfgserver
