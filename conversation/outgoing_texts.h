#pragma once
// What the composer sent and has not seen go through. Each send waits for its answer under a
// serial; a failure, or no answer within the time-out, keeps its text as a draft of its
// conversation until that conversation opens again, so typed text is never lost. A success
// forgets the text, also when it comes after the time-out and the text was still kept.
// UI thread only: answers reach it as window messages.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace veltrinawnd {

// The main window's clock for sends without an answer; a send times out after this many ticks.
inline constexpr UINT_PTR kTimerSendTimeOut = 1042;
inline constexpr UINT kSendTimeOutTickMs = 1000;
inline constexpr int kSendTimeOutTicks = 30;

class OutgoingTexts {
 public:
  // A send has started; its serial (never 0) comes back with its answer.
  int Sent(const std::string& conversation_id, const std::wstring& text);
  // The answer of a send. Returns the conversation whose draft got the text of a failed send;
  // empty when nothing was kept (success, a repeated or unknown serial).
  std::string Answered(int serial, bool ok);
  // One tick of the clock: sends waiting this long are kept as failed. Returns the
  // conversations whose draft got a text, each once.
  std::vector<std::string> Tick();
  // True while a send waits for its answer (the clock is needed).
  bool waiting() const;
  // Takes the kept texts of the conversation, oldest first, one per line; empty when none.
  std::wstring TakeDraft(const std::string& conversation_id);
  // Keeps a text for its conversation as a failed send's would be (texts carried over from an
  // earlier main window).
  void Keep(const std::string& conversation_id, const std::wstring& text);
  // Takes every text, kept or still waiting, in send order, with its conversation: the session
  // is over and no answer will come for this object.
  std::vector<std::pair<std::string, std::wstring>> TakeAll();

 private:
  struct Entry {
    int serial = 0;
    std::string conversation_id;
    std::wstring text;
    int ticks_left = kSendTimeOutTicks;
    bool kept = false;  // failed or timed out: waits for its conversation to open
  };
  std::vector<Entry> entries_;  // in send order
  int next_serial_ = 1;
};

}  // namespace veltrinawnd
