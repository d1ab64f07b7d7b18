#include "requests/RevisionNotes.h"

#include "ini/IniField.h"

namespace qet_cfgserver {

std::string RevisionSummary(const std::string& operation, const std::vector<std::string>& names) {
  std::string summary = operation;
  for (const std::string& name : names) {
    summary += ' ';
    summary += IniField::Write(name, IniField::Place::kWord);
  }
  return summary;
}

std::vector<std::string> ScopeNames(const ConfigScope& scope) {
  const std::string* const names[] = {&scope.set, &scope.section, &scope.key};
  std::vector<std::string> given;
  for (std::uint32_t index = 0; index < static_cast<std::uint32_t>(scope.level) && index < 3; ++index)
    given.push_back(*names[index]);
  return given;
}

std::string CommandWords(const wire::Request& request, const std::string& command) {
  if (request.confirmSeconds == 0) return command;
  return command + " --confirm " + std::to_string(request.confirmSeconds);
}

ChangeNote NoteFor(const wire::Request& request, const PeerCredentials& peer, std::string summary) {
  ChangeNote note;
  if (peer.uid != PeerCredentials::kNoUser) {
    note.author.uid = static_cast<std::uint32_t>(peer.uid);
    note.author.userName = peer.userName;
    note.author.pid = static_cast<std::uint32_t>(peer.pid);
    note.author.program = peer.program;
  }
  note.author.client = request.client;
  note.author.tag = request.tag;
  note.summary = std::move(summary);
  note.confirmSeconds = request.confirmSeconds;
  return note;
}

wire::Record NotificationOf(const KeyChange& change) {
  wire::Record record;
  record.kind = change.after ? wire::RecordKind::kValue : wire::RecordKind::kDeleted;
  record.set = change.set;
  record.section = change.section;
  record.key = change.key;
  record.value = change.after.value_or("");
  return record;
}

}  // namespace qet_cfgserver
