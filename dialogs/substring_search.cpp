#include "dialogs/substring_search.h"

#include <utility>

namespace veltrinawnd {

SubstringSearch::SubstringSearch(std::string pattern) : pattern_(std::move(pattern)), fallback_(pattern_.size(), 0) {
  for (size_t i = 1, k = 0; i < pattern_.size(); ++i) {
    while (k > 0 && pattern_[i] != pattern_[k]) k = fallback_[k - 1];
    if (pattern_[i] == pattern_[k]) ++k;
    fallback_[i] = k;
  }
}

bool SubstringSearch::FoundIn(std::string_view text) const {
  if (pattern_.empty()) return true;
  if (text.size() < pattern_.size()) return false;
  for (size_t i = 0, k = 0; i < text.size(); ++i) {
    while (k > 0 && text[i] != pattern_[k]) k = fallback_[k - 1];
    if (text[i] == pattern_[k] && ++k == pattern_.size()) return true;
  }
  return false;
}

}  // namespace veltrinawnd
