// Regular expressions over wide (UTF-32) sentences, for the normalisation
// rules.
//
// Patterns use the ECMAScript-style subset that the rules need (groups,
// alternation, greedy ?, +, *, {m,n}, classes of literal characters and digit
// ranges, \d, \+, \., and a numbered back-reference). They run on PCRE2's
// 32-bit library: without PCRE2_UTF every wchar_t is one character, and
// without PCRE2_UCP \d matches only the ASCII digits 0 to 9. For such
// patterns a backtracking search gives the same leftmost match, the same
// choice among alternatives (left to right) and the same groups as an
// ECMAScript engine; the tests check this against std::wregex. Where the two
// engines differ the subset stays clear: a group is repeated only with ?
// (ECMAScript would reset its inner groups on every repetition), and a
// back-reference only names a group that is always set when it is reached
// (ECMAScript lets a reference to an unset group match the empty string).
//
// Each pattern is compiled once (JIT when the platform allows it) and a
// search never recurses on the machine stack, so long sentences are safe. A
// search that runs into the engine's limits is treated as "no match".

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_WIDE_REGEX_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_WIDE_REGEX_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct pcre2_real_code_32;

namespace speechnn {

// The groups of one match, as offsets into the searched text. Valid while
// that text is unchanged.
class WideMatch {
 public:
  static constexpr std::size_t npos = std::wstring::npos;

  // Number of groups, the whole match (group 0) included.
  std::size_t size() const { return spans_.size(); }
  // False for a group that took no part in the match.
  bool matched(std::size_t group) const;
  // Offset of the group's first character; npos when unmatched.
  std::size_t position(std::size_t group) const;
  // 0 when unmatched.
  std::size_t length(std::size_t group) const;
  // The group's text; empty when unmatched.
  std::wstring str(std::size_t group) const;

 private:
  friend class WideRegex;

  const wchar_t* subject_ = nullptr;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;  // [begin, end)
};

class WideRegex {
 public:
  // Where a match may start relative to runs of ASCII digits.
  enum class Starts {
    kAnywhere,
    // Never at a digit that follows another digit. Only for patterns where a
    // match starting there implies one starting a character earlier (every
    // alternative that can start with a digit begins with \d+, or with \d{n}
    // followed by \d*, after an optional "-"): the leftmost match is then
    // unchanged, and a search costs linear rather than quadratic time on a
    // long run of digits that the rest of the pattern does not accept.
    kDigitRunStartOnly,
  };

  // Throws std::invalid_argument when the pattern does not compile.
  explicit WideRegex(std::wstring_view pattern,
                     Starts starts = Starts::kAnywhere);
  ~WideRegex();
  WideRegex(const WideRegex&) = delete;
  WideRegex& operator=(const WideRegex&) = delete;

  // Finds the leftmost match in `subject`. Offsets in `match` are relative
  // to subject.data().
  bool Search(std::wstring_view subject, WideMatch& match) const;
  // The leftmost match that starts at or after `start`; look-behinds see
  // the text before it.
  bool Search(std::wstring_view subject, std::size_t start,
              WideMatch& match) const;

  using Replacer = std::function<std::wstring(const WideMatch&)>;

  // Rewrites `text` until no match is left: find the leftmost match, replace
  // the span of `target_group` (which must start where the match starts) by
  // `replacer(match)`, and search the changed text again. Gives the same
  // result as searching again from the first character after every
  // replacement; the replacement must remove what made the match possible
  // (for the rules: ASCII digits), or this does not end.
  void ReplaceAll(std::wstring& text, std::size_t target_group,
                  const Replacer& replacer) const;

 private:
  // Whether any match of the pattern can contain `c`.
  bool MayContain(wchar_t c) const;

  pcre2_real_code_32* code_ = nullptr;
  std::size_t group_count_ = 0;
  // Sorted characters that a match may contain.
  std::vector<wchar_t> alphabet_;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_WIDE_REGEX_H_
