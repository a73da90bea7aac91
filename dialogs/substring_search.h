#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace veltrinawnd {

// Bytewise substring search that takes time linear in the text whatever the pattern
// (Knuth-Morris-Pratt): search text is typed by the user and names come from the server, so
// neither may make a keystroke quadratic. An empty pattern is found everywhere.
class SubstringSearch {
 public:
  explicit SubstringSearch(std::string pattern);
  bool FoundIn(std::string_view text) const;

 private:
  std::string pattern_;
  std::vector<size_t> fallback_;  // length of the longest proper border of each prefix
};

}  // namespace veltrinawnd
