#include "speech_neural_network/prosody/tone_sandhi.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "speech_neural_network/lexicon/word_lists.h"
#include "speech_neural_network/prosody/tone_cycle.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

// Character sets the rules test, by code point.
constexpr std::wstring_view kSentenceParticles =
    L"吧呢哈啊呐噻嘛吖嗨哦哒额滴哩哟喽啰耶喔诶啦哇呗呦噢咧";
constexpr std::wstring_view kStructuralParticles = L"的地得";
// Aspect 过 (去过 qu4 guo4) keeps its tone in careful reading, as do the
// locatives (家里, 身上) and the direction complements (起来, 出去): no rule
// makes them neutral.
constexpr std::wstring_view kAspectParticles = L"了着";
constexpr std::wstring_view kSuffixes = L"们子";
// Words before 个 that make it a measure word.
constexpr std::wstring_view kQuantityWords =
    L"几有两半多各整每做是零一二三四五六七八九十";
// The digits as the number readings write them, 幺 included.
constexpr std::wstring_view kDigits = L"零一二三四五六七八九幺";
// Digits and 十: a 一 after one of them ends a number (十一, 二十一).
constexpr std::wstring_view kDigitsAndTen = L"零一二三四五六七八九幺十";
// Units that a number's 一十 follows (一百一十, 三千零一十).
constexpr std::wstring_view kUnitsBeforeTen = L"零百千万亿";

constexpr wchar_t kBu = L'不';
constexpr wchar_t kDi = L'地';
constexpr wchar_t kYi = L'一';
constexpr wchar_t kGe = L'个';
constexpr wchar_t kTen = L'十';
constexpr wchar_t kPoint = L'点';
constexpr wchar_t kMonth = L'月';
constexpr std::wstring_view kDayOfMonth = L"日号";
constexpr std::wstring_view kDiYi = L"第一";

constexpr char kNeutralTone = '5';

bool InSet(std::wstring_view set, wchar_t ch) {
  return set.find(ch) != std::wstring_view::npos;
}

bool HasTone(const std::string& final, char tone) {
  return !final.empty() && final.back() == tone;
}

void SetTone(std::string& final, char tone) {
  if (!final.empty()) final.back() = tone;
}

// The rules index finals by character; a list of another length (a caller's
// mistake, never produced by GetInitialsFinals) fails the step.
absl::Status OneFinalPerCharacter(const SandhiWord& word,
                                  const std::vector<std::string>& finals) {
  if (finals.size() == word.chars.size()) return absl::OkStatus();
  return absl::InvalidArgumentError(
      "word_num == word_wstr.length() failed: " +
      std::to_string(finals.size()) + " finals for the " +
      std::to_string(word.chars.size()) + " characters of word: " + word.text);
}

// True when the word, or its last two characters, is a lexical neutral-tone
// word.
bool EndsInNeutralToneWord(std::wstring_view chars, const WordList& words) {
  if (ListContains(words, wstring2utf8string(std::wstring(chars)))) {
    return true;
  }
  return chars.size() > 1 &&
         ListContains(words, wstring2utf8string(
                                 std::wstring(chars.substr(chars.size() - 2))));
}

// ---- 不 ----------------------------------------------------------------

// 不怕: 不 before a fourth tone rises. Inside a verb-complement or an A-not-A
// form it follows the same rule (看不到 bu2, 忘不了 bu4, 是不是 bu2): a
// careful reading does not reduce it.
void BuBeforeFourthTone(const std::wstring& chars,
                        const std::vector<std::string>& citation,
                        std::vector<std::string>& finals) {
  for (std::size_t i = 0; i + 1 < chars.size(); ++i) {
    if (chars[i] == kBu && HasTone(citation[i + 1], '4')) {
      SetTone(finals[i], '2');
    }
  }
}

// ---- 一 ----------------------------------------------------------------

// The characters of a word's phrase around position `i` of the word: the
// word's own, then those of its neighbours; 0 past either end.
class AroundYi {
 public:
  AroundYi(const SandhiWord& word, std::size_t i) : word_(word), i_(i) {}
  wchar_t At(std::ptrdiff_t offset) const {
    const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(i_) + offset;
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(word_.chars.size());
    if (at >= 0 && at < size) return word_.chars[at];
    if (at < 0) {
      const std::ptrdiff_t back = -at;
      const std::ptrdiff_t before =
          static_cast<std::ptrdiff_t>(word_.previous.size());
      return back <= before ? word_.previous[before - back] : 0;
    }
    const std::size_t ahead = static_cast<std::size_t>(at - size);
    return ahead < word_.next.size() ? word_.next[ahead] : 0;
  }

 private:
  const SandhiWord& word_;
  std::size_t i_;
};

// 一 that is part of a number or a date keeps tone 1: among digits read one
// by one (一九八六, 一一零), at the end of a number (十一, 二十一个), as 一十
// inside one (一百一十), before the point of a decimal or a clock time
// (一点五, 一点三十分) and after it (三点一), and in month names and days of
// the month (一月, 十一月, 五月一日).
bool YiInNumber(const SandhiWord& word, std::size_t i) {
  const AroundYi around(word, i);
  const wchar_t before = around.At(-1);
  const wchar_t after = around.At(1);
  if (InSet(kDigits, after) || InSet(kDigitsAndTen, before)) return true;
  if (after == kTen && InSet(kUnitsBeforeTen, before)) return true;
  // 一点一点 'bit by bit' repeats the word; no digit follows its point.
  if (after == kPoint && InSet(kDigitsAndTen, around.At(2)) &&
      !(around.At(2) == kYi && around.At(3) == kPoint)) {
    return true;
  }
  if (before == kPoint && InSet(kDigitsAndTen, around.At(-2)) &&
      after != kPoint) {
    return true;
  }
  return after == kMonth || (InSet(kDayOfMonth, after) && before == kMonth);
}

// 看一看: 一 between a repeated verb is unstressed.
bool YiBetweenRepeats(const std::wstring& chars) {
  return chars.size() == 3 && chars[1] == kYi && chars[0] == chars[2];
}

// 第一: the ordinal keeps tone 1.
bool IsOrdinalYi(const std::wstring& chars) {
  return chars.compare(0, kDiYi.size(), kDiYi) == 0;
}

// 一段 (before tone 4) rises to 2; 一天 (before any other tone) falls to 4.
// The next syllable counts by its citation tone: 一个 is yi2 ge5.
void YiBeforeNextSyllable(const SandhiWord& word,
                          const std::vector<std::string>& citation,
                          std::vector<std::string>& finals) {
  for (std::size_t i = 0; i + 1 < word.chars.size(); ++i) {
    if (word.chars[i] != kYi || YiInNumber(word, i)) continue;
    SetTone(finals[i], HasTone(citation[i + 1], '4') ? '2' : '4');
  }
}

// ---- neutral tone --------------------------------------------------------

// 奶奶, 看看: the repeated syllable of a reduplicated noun, verb or adjective.
void ReduplicationNeutral(const std::wstring& chars, const std::string& tag,
                          std::vector<std::string>& finals) {
  if (tag.empty() ||
      std::string_view("nva").find(tag[0]) == std::string_view::npos) {
    return;
  }
  // The pair begins or ends the word (看看, 谢谢你, 老奶奶) or the word is
  // AABB; a character met twice where two inner words meet is no
  // reduplication (银行行长), nor are repeated digits (幺幺 in a telephone
  // number).
  const std::size_t n = chars.size();
  const bool aabb = n == 4 && chars[0] == chars[1] && chars[2] == chars[3];
  for (std::size_t i = 1; i < n; ++i) {
    if (chars[i] == chars[i - 1] && (i == 1 || i + 1 == n || aabb) &&
        !InSet(kDigits, chars[i])) {
      SetTone(finals[i], kNeutralTone);
    }
  }
}

struct NeutralRuleInput {
  const std::string& word;
  const std::wstring& chars;
  const std::string& tag;
  const WordList& neutral_words;
};

// Each rule returns the position of the final it makes neutral, or nothing
// when it does not match.
using NeutralRule = std::optional<std::size_t> (*)(const NeutralRuleInput&);

std::optional<std::size_t> LastPosition(const NeutralRuleInput& in) {
  return in.chars.size() - 1;
}

// A particle is a word of its own, tagged as one: the same character at the
// end of a longer word is no particle (当地, 获得, 目的, 金额, 哈哈).
bool IsParticle(const NeutralRuleInput& in, std::wstring_view set,
                std::initializer_list<std::string_view> tags) {
  return in.chars.size() == 1 && InSet(set, in.chars[0]) &&
         std::find(tags.begin(), tags.end(), in.tag) != tags.end();
}

std::optional<std::size_t> SentenceParticleRule(const NeutralRuleInput& in) {
  if (IsParticle(in, kSentenceParticles, {"y", "zg", "e"})) return 0;
  return std::nullopt;
}

std::optional<std::size_t> StructuralParticleRule(const NeutralRuleInput& in) {
  if (IsParticle(in, kStructuralParticles, {"uj", "uv", "ud"})) return 0;
  return std::nullopt;
}

std::optional<std::size_t> AspectParticleRule(const NeutralRuleInput& in) {
  if (in.chars.size() == 1 && InSet(kAspectParticles, in.chars[0]) &&
      (in.tag == "ul" || in.tag == "uz" || in.tag == "ug")) {
    return 0;
  }
  return std::nullopt;
}

std::optional<std::size_t> SuffixRule(const NeutralRuleInput& in) {
  if (in.chars.size() > 1 && InSet(kSuffixes, in.chars.back()) &&
      (in.tag == "r" || in.tag == "n") &&
      !ListContains(ZiSuffixWords(), in.word)) {
    return LastPosition(in);
  }
  return std::nullopt;
}

// 三个, 个: 个 as a measure word after a quantity, or on its own.
std::optional<std::size_t> MeasureWordGeRule(const NeutralRuleInput& in) {
  const std::size_t g = in.chars.find(kGe);
  if (g == std::wstring::npos) return std::nullopt;
  if ((g >= 1 && InSet(kQuantityWords, in.chars[g - 1])) ||
      in.chars == std::wstring(1, kGe)) {
    return g;
  }
  return std::nullopt;
}

std::optional<std::size_t> LexicalNeutralRule(const NeutralRuleInput& in) {
  if (EndsInNeutralToneWord(in.chars, in.neutral_words)) {
    return LastPosition(in);
  }
  return std::nullopt;
}

// Tried in this order; the first that matches is the only one applied.
constexpr NeutralRule kNeutralRules[] = {
    SentenceParticleRule, StructuralParticleRule, AspectParticleRule,
    SuffixRule,           MeasureWordGeRule,      LexicalNeutralRule,
};

}  // namespace

bool IsDigitString(std::wstring_view chars) {
  return !chars.empty() &&
         std::all_of(chars.begin(), chars.end(),
                     [](wchar_t ch) { return InSet(kDigits, ch); });
}

absl::Status BuSandhi(const SandhiWord& word, std::vector<std::string>& finals,
                      CitationFinals citation) {
  if (absl::Status status = OneFinalPerCharacter(word, finals); !status.ok()) {
    return status;
  }
  if (citation != nullptr) {
    if (absl::Status status = OneFinalPerCharacter(word, *citation);
        !status.ok()) {
      return status;
    }
  }
  // Copied: the rule rewrites `finals`, which may be the citation too.
  const std::vector<std::string> next_tones =
      citation != nullptr ? *citation : finals;
  BuBeforeFourthTone(word.chars, next_tones, finals);
  return absl::OkStatus();
}

absl::Status YiSandhi(const SandhiWord& word, std::vector<std::string>& finals,
                      CitationFinals citation) {
  if (absl::Status status = OneFinalPerCharacter(word, finals); !status.ok()) {
    return status;
  }
  if (citation != nullptr) {
    if (absl::Status status = OneFinalPerCharacter(word, *citation);
        !status.ok()) {
      return status;
    }
  }
  const std::wstring& chars = word.chars;
  if (IsDigitString(chars)) return absl::OkStatus();
  if (YiBetweenRepeats(chars)) {
    SetTone(finals[1], kNeutralTone);
  } else if (IsOrdinalYi(chars)) {
    SetTone(finals[1], '1');
  } else {
    const std::vector<std::string> next_tones =
        citation != nullptr ? *citation : finals;
    YiBeforeNextSyllable(word, next_tones, finals);
  }
  return absl::OkStatus();
}

absl::Status NeuralSandhi(const SandhiWord& word, const std::string& tag,
                          std::vector<std::string>& finals,
                          const WordSplitter& split_word,
                          const WordList& neutral_words) {
  if (absl::Status status = OneFinalPerCharacter(word, finals); !status.ok()) {
    return status;
  }
  const std::wstring& chars = word.chars;
  ReduplicationNeutral(chars, tag, finals);

  const NeutralRuleInput input{word.text, chars, tag, neutral_words};
  for (const NeutralRule rule : kNeutralRules) {
    if (const auto position = rule(input)) {
      SetTone(finals[*position], kNeutralTone);
      break;
    }
  }
  // The adverbial particle 地 is de5, not di5 (its initial is d either way).
  if (chars.size() == 1 && chars[0] == kDi && tag == "uv" &&
      !finals[0].empty()) {
    finals[0] = "e5";
  }

  // A compound may end a lexical neutral-tone word in either of its parts.
  const auto parts = split_word(word.text);
  if (!parts) return absl::NotFoundError("Failed to split word.");
  const std::size_t split = std::min(Utf8Length(parts->first), finals.size());
  const std::wstring_view all(chars);
  if (split > 0 && EndsInNeutralToneWord(all.substr(0, split), neutral_words)) {
    SetTone(finals[split - 1], kNeutralTone);
  }
  if (finals.size() > split &&
      EndsInNeutralToneWord(all.substr(split), neutral_words)) {
    SetTone(finals.back(), kNeutralTone);
  }
  return absl::OkStatus();
}

absl::Status ThreeSandhi(const SandhiWord& word,
                         std::vector<std::string>& finals,
                         const WordSplitter& split_word,
                         const HiddenThirds& hidden) {
  if (absl::Status status = OneFinalPerCharacter(word, finals); !status.ok()) {
    return status;
  }
  std::size_t split = 0;
  if (word.chars.size() == 3) {
    const auto parts = split_word(word.text);
    if (!parts) return absl::NotFoundError("Failed to split word.");
    split = Utf8Length(parts->first);
  }
  ThirdToneCycleInWord(finals, hidden, split);
  return absl::OkStatus();
}

}  // namespace speechnn
