#include "conversation/outgoing_texts.h"

#include <algorithm>

namespace veltrinawnd {

int OutgoingTexts::Sent(const std::string& conversation_id, const std::wstring& text) {
  const int serial = next_serial_++;
  entries_.push_back(Entry{serial, conversation_id, text});
  return serial;
}

std::string OutgoingTexts::Answered(int serial, bool ok) {
  auto entry = std::find_if(entries_.begin(), entries_.end(), [serial](const Entry& e) { return e.serial == serial; });
  if (entry == entries_.end()) return {};  // answered before, or its text is back in the composer
  if (ok) {
    // Gone through, even after its time-out: a kept copy would only be sent twice.
    entries_.erase(entry);
    return {};
  }
  if (entry->kept) return {};  // failed after its time-out had kept it
  entry->kept = true;
  return entry->conversation_id;
}

std::vector<std::string> OutgoingTexts::Tick() {
  std::vector<std::string> grown;
  for (Entry& entry : entries_) {
    if (entry.kept || --entry.ticks_left > 0) continue;
    entry.kept = true;
    if (std::find(grown.begin(), grown.end(), entry.conversation_id) == grown.end())
      grown.push_back(entry.conversation_id);
  }
  return grown;
}

bool OutgoingTexts::waiting() const {
  return std::any_of(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.kept; });
}

std::wstring OutgoingTexts::TakeDraft(const std::string& conversation_id) {
  std::wstring draft;
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    if (!entry->kept || entry->conversation_id != conversation_id) {
      ++entry;
      continue;
    }
    if (!draft.empty()) draft += L'\n';
    draft += entry->text;
    entry = entries_.erase(entry);
  }
  return draft;
}

void OutgoingTexts::Keep(const std::string& conversation_id, const std::wstring& text) {
  Entry entry{next_serial_++, conversation_id, text};
  entry.kept = true;
  entries_.push_back(std::move(entry));
}

std::vector<std::pair<std::string, std::wstring>> OutgoingTexts::TakeAll() {
  std::vector<std::pair<std::string, std::wstring>> texts;
  for (Entry& entry : entries_) texts.emplace_back(std::move(entry.conversation_id), std::move(entry.text));
  entries_.clear();
  return texts;
}

}  // namespace veltrinawnd
