#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace cfgctl {

// Where cfgctl writes: bytes to standard output exactly as given, and its
// one-line errors ("cfgctl: ...") to standard error. Remembers whether
// writing standard output failed (a full disk behind `> a.ini`), so that
// the command can fail instead of leaving a short file unnoticed. Knows
// which form the commands write standard output in: text, or JSON
// (cfgctl --json, JsonForm). One thread.
class Output {
 public:
  enum class Form { kText, kJson };

  explicit Output(Form form = Form::kText) : form_(form) {}

  // Whether the commands write JSON instead of text.
  bool json() const { return form_ == Form::kJson; }

  void Write(const std::string& bytes);
  // Write, then push the line out at once (for watch behind a pipe).
  void WriteLineNow(const std::string& line);
  // Flushes; false when anything written to standard output was lost.
  bool Finish();

  // "cfgctl: <message>\n" on standard error.
  static void Error(const std::string& message);

  // A name or value as one word of a message or of an output line: in
  // double quotes with INI escapes when it is empty or holds blanks, '=',
  // control bytes or a leading quote (IniField::Place::kWord).
  static std::string Word(const std::string& text);

  // A time as history shows it, in UTC: "2026-12-06T15:45:00Z"; empty when
  // the C library cannot express it.
  static std::string Time(std::int64_t secondsSince1970);

 private:
  const Form form_;
  bool failed_ = false;
};

}  // namespace cfgctl
