#include "speech_neural_network/normalize/wide_regex.h"

#define PCRE2_CODE_UNIT_WIDTH 32
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>

namespace speechnn {
namespace {

static_assert(sizeof(wchar_t) == sizeof(PCRE2_UCHAR),
              "wide strings are searched as PCRE2 32-bit code units");

// Groups a pattern may have, the whole match included.
constexpr std::uint32_t kMaxGroups = 64;

// The rules' patterns have no nested unbounded repetition, so a search needs
// a small number of engine steps per character (every alternative of the
// measure-word list at each position, at worst). The limits sit far above
// that and only stop a pattern that would otherwise run away.
constexpr std::uint64_t kBaseMatchLimit = 10'000'000;
constexpr std::uint64_t kMatchStepsPerCharacter = 2'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKibibytes = 64 * 1024;
constexpr PCRE2_SIZE kJitStackStart = 32 * 1024;
constexpr PCRE2_SIZE kJitStackMax = 1024 * 1024;

// Per-thread match state: compiled patterns are shared, match data is not.
struct MatchScratch {
  MatchScratch() {
    data = pcre2_match_data_create(kMaxGroups, nullptr);
    context = pcre2_match_context_create(nullptr);
    if (data == nullptr || context == nullptr) {
      Release();
      throw std::bad_alloc();
    }
    pcre2_set_depth_limit(context, kDepthLimit);
    pcre2_set_heap_limit(context, kHeapLimitKibibytes);
    // Without a stack of its own JIT code gets 32 KiB on the machine stack;
    // when even this one is exhausted the search is rerun by the interpreter.
    jit_stack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
    if (jit_stack != nullptr) {
      pcre2_jit_stack_assign(context, nullptr, jit_stack);
    }
  }
  ~MatchScratch() { Release(); }
  MatchScratch(const MatchScratch&) = delete;
  MatchScratch& operator=(const MatchScratch&) = delete;

  void Release() {
    pcre2_jit_stack_free(jit_stack);
    pcre2_match_context_free(context);
    pcre2_match_data_free(data);
  }

  pcre2_match_data* data = nullptr;
  pcre2_match_context* context = nullptr;
  pcre2_jit_stack* jit_stack = nullptr;
};

MatchScratch& ThreadScratch() {
  thread_local MatchScratch scratch;
  return scratch;
}

std::uint32_t MatchLimit(std::size_t length) {
  const std::uint64_t limit =
      kBaseMatchLimit + kMatchStepsPerCharacter * std::uint64_t{length};
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(
      limit, std::numeric_limits<std::uint32_t>::max()));
}

std::string ErrorText(int code) {
  PCRE2_UCHAR message[256];
  const int length = pcre2_get_error_message(code, message, 256);
  std::string text;
  for (int i = 0; i < length; ++i) {
    text.push_back(message[i] < 0x80 ? static_cast<char>(message[i]) : '?');
  }
  return text;
}

}  // namespace

bool WideMatch::matched(std::size_t group) const {
  return group < spans_.size() && spans_[group].first != npos;
}

std::size_t WideMatch::position(std::size_t group) const {
  return matched(group) ? spans_[group].first : npos;
}

std::size_t WideMatch::length(std::size_t group) const {
  return matched(group) ? spans_[group].second - spans_[group].first : 0;
}

std::wstring WideMatch::str(std::size_t group) const {
  if (!matched(group)) return std::wstring();
  return std::wstring(subject_ + spans_[group].first, length(group));
}

WideRegex::WideRegex(std::wstring_view pattern, Starts starts) {
  std::wstring source;
  if (starts == Starts::kDigitRunStartOnly) {
    // Not between two digits; the pattern itself is kept whole in a
    // non-capturing group, so its groups keep their numbers.
    source = L"(?:(?<![0-9])|(?![0-9]))(?:";
    source += pattern;
    source += L")";
  } else {
    source = pattern;
  }
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.data()),
                        source.size(), 0, &error, &error_offset, nullptr);
  if (code_ == nullptr) {
    throw std::invalid_argument("pattern does not compile at offset " +
                                std::to_string(error_offset) + ": " +
                                ErrorText(error));
  }
  std::uint32_t captures = 0;
  pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &captures);
  if (captures + 1 > kMaxGroups) {
    pcre2_code_free(code_);
    throw std::invalid_argument("pattern has too many groups");
  }
  group_count_ = captures + 1;
  // Without JIT (a platform that lacks it) the interpreter gives the same
  // matches, only slower.
  pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);

  // The patterns contain no "." wildcard, no negated class and no range
  // other than of digits, so every character a match can contain is written
  // in the pattern or is an ASCII digit. Syntax characters come along too,
  // which only makes the set larger than needed.
  alphabet_.assign(pattern.begin(), pattern.end());
  for (wchar_t digit = L'0'; digit <= L'9'; ++digit) {
    alphabet_.push_back(digit);
  }
  std::sort(alphabet_.begin(), alphabet_.end());
  alphabet_.erase(std::unique(alphabet_.begin(), alphabet_.end()),
                  alphabet_.end());
}

WideRegex::~WideRegex() { pcre2_code_free(code_); }

bool WideRegex::MayContain(wchar_t c) const {
  return std::binary_search(alphabet_.begin(), alphabet_.end(), c);
}

bool WideRegex::Search(std::wstring_view subject, WideMatch& match) const {
  return Search(subject, 0, match);
}

bool WideRegex::Search(std::wstring_view subject, std::size_t start,
                       WideMatch& match) const {
  if (start > subject.size()) return false;
  static const wchar_t kEmpty[1] = {L'\0'};
  const wchar_t* data = subject.empty() ? kEmpty : subject.data();
  const auto* units = reinterpret_cast<PCRE2_SPTR>(data);
  MatchScratch& scratch = ThreadScratch();
  pcre2_set_match_limit(scratch.context, MatchLimit(subject.size()));
  int found = pcre2_match(code_, units, subject.size(), start, 0, scratch.data,
                          scratch.context);
  if (found == PCRE2_ERROR_JIT_STACKLIMIT) {
    found = pcre2_match(code_, units, subject.size(), start, PCRE2_NO_JIT,
                        scratch.data, scratch.context);
  }
  // Negative: no match, or a limit was reached. Zero cannot happen: the
  // match data holds every group.
  if (found <= 0) return false;
  const PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(scratch.data);
  match.subject_ = data;
  match.spans_.resize(group_count_);
  for (std::size_t group = 0; group < group_count_; ++group) {
    const PCRE2_SIZE begin = offsets[2 * group];
    if (group < static_cast<std::size_t>(found) && begin != PCRE2_UNSET) {
      match.spans_[group] = {begin, offsets[2 * group + 1]};
    } else {
      match.spans_[group] = {WideMatch::npos, WideMatch::npos};
    }
  }
  return true;
}

// Why the search may resume near the replacement instead of at the first
// character. Let the leftmost match start at m, and let r <= m be such that
// the character before r cannot be part of any match (or r = 0). After the
// replacement nothing before the target changed. A match starting at some
// i < m now would have to read the changed text (with the old text it found
// none there), so it would consume every character from i up to the target,
// including the one before r when i < r: impossible. So no match starts
// before r, and positions before r are final. Matches starting at or after r
// do not look at anything before r (the patterns have no look-behind; the
// digit-run guard looks one character back, and the character before r is
// not a digit), so searching the text from r finds the same leftmost match
// as searching it all.
//
// The text from r on is kept at the end of `buffer`, with free room in front
// of it, so that a replacement moves only the few characters between r and
// the target instead of the whole rest of the sentence.
void WideRegex::ReplaceAll(std::wstring& text, std::size_t target_group,
                           const Replacer& replacer) const {
  // The rewrite works on a buffer of its own. Matches point into the
  // characters searched, so the search runs on the buffer, not on `text`.
  std::wstring buffer;
  buffer.swap(text);
  WideMatch match;
  if (!Search(buffer, match)) {
    text.swap(buffer);
    return;
  }
  // The text is always `done` followed by buffer[begin..].
  std::wstring done;
  done.reserve(buffer.size());
  std::size_t begin = 0;
  try {
    do {
      const std::size_t start = begin + match.position(0);
      const std::size_t target = begin + match.position(target_group);
      const std::size_t target_end = target + match.length(target_group);
      const std::wstring replacement = replacer(match);

      std::size_t resume = start;
      while (resume > begin && MayContain(buffer[resume - 1])) --resume;
      done.append(buffer, begin, resume - begin);
      begin = resume;

      // New layout: buffer[resume, target), then the replacement, ending
      // where the target ended.
      const std::size_t kept = target - resume;
      const std::size_t needed = kept + replacement.size();
      if (needed <= target_end) {
        begin = target_end - needed;
        std::wstring::traits_type::move(buffer.data() + begin,
                                        buffer.data() + resume, kept);
        std::wstring::traits_type::copy(buffer.data() + begin + kept,
                                        replacement.data(), replacement.size());
      } else {
        // Out of room: move the rest into a new buffer with room in front in
        // proportion to it, so that this happens a bounded number of times.
        const std::size_t rest = buffer.size() - target_end;
        const std::size_t room = 64 + needed + rest / 2;
        std::wstring grown;
        grown.reserve(room + needed + rest);
        grown.append(room, L'\0');
        grown.append(buffer, resume, kept);
        grown += replacement;
        grown.append(buffer, target_end, std::wstring::npos);
        buffer.swap(grown);
        begin = room;
      }
    } while (Search(std::wstring_view(buffer).substr(begin), match));
  } catch (...) {
    // A failing replacement leaves the text as rewritten so far.
    done.append(buffer, begin, std::wstring::npos);
    text = std::move(done);
    throw;
  }
  done.append(buffer, begin, std::wstring::npos);
  text = std::move(done);
}

}  // namespace speechnn
