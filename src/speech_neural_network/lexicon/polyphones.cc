#include "speech_neural_network/lexicon/polyphones.h"

#include <string_view>

#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

bool IsVerb(const std::string& tag) { return !tag.empty() && tag[0] == 'v'; }

// The word `offset` places from k in the phrase, or nothing past its ends.
const WordTag* At(const WordTagList& phrase, std::size_t k, int offset) {
  const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(k) + offset;
  if (at < 0 || at >= static_cast<std::ptrdiff_t>(phrase.size())) {
    return nullptr;
  }
  return &phrase[static_cast<std::size_t>(at)];
}

// 为 after a verb is the copula "as, to be" (设置为, 视为) unless a verb
// follows its object, where it is "for" (努力为大家服务); after 以 earlier
// in the phrase it is the 为 of 以…为 (以人民为中心).
bool WeiIsCopula(const WordTagList& phrase, std::size_t k) {
  for (std::size_t i = 0; i < k; ++i) {
    if (phrase[i].first == "以") return true;
  }
  const WordTag* before = At(phrase, k, -1);
  const WordTag* after_object = At(phrase, k, 2);
  return before != nullptr && IsVerb(before->second) &&
         (after_object == nullptr || !IsVerb(after_object->second));
}

bool AfterVerbOrAdjective(const WordTagList& phrase, std::size_t k) {
  const WordTag* before = At(phrase, k, -1);
  return before != nullptr && !before->second.empty() &&
         (before->second[0] == 'v' || before->second[0] == 'a');
}

// AA, AABB or ABAB (慢慢, 高高兴兴, 一点一点): the adverbs that 地 follows.
bool IsReduplicated(const std::string& word) {
  const std::wstring c = utf8string2wstring(word);
  return (c.size() == 2 && c[0] == c[1]) ||
         (c.size() == 4 &&
          ((c[0] == c[1] && c[2] == c[3]) || (c[0] == c[2] && c[1] == c[3])));
}

// 地 after an adverb or a reduplicated word is the adverbial particle
// (慢慢地走, 一点一点地), whatever the tagger made of it.
bool DiIsParticle(const WordTagList& phrase, std::size_t k) {
  const WordTag* before = At(phrase, k, -1);
  if (before == nullptr) return false;
  const std::string& tag = before->second;
  return tag == "d" || tag == "ad" || tag == "z" ||
         IsReduplicated(before->first);
}

// 得 between a subject and a verb is "must" (你得去); after a verb or an
// adjective it is the particle (跑得快), and before anything but a verb it
// is "obtain" (得了冠军).
bool AfterDegreeAdverb(const WordTagList& phrase, std::size_t k) {
  static constexpr std::string_view kDegree[] = {
      "很",   "太", "有点", "有点儿", "非常", "更",   "最",   "特别",
      "比较", "挺", "多么", "这么",   "那么", "十分", "相当", "越来越"};
  const WordTag* before = At(phrase, k, -1);
  if (before == nullptr) return false;
  for (const std::string_view degree : kDegree) {
    if (before->first == degree) return true;
  }
  return false;
}

bool DeiIsMust(const WordTagList& phrase, std::size_t k) {
  const WordTag* after = At(phrase, k, 1);
  return !AfterVerbOrAdjective(phrase, k) && after != nullptr &&
         IsVerb(after->second);
}

bool IsPersonalPronoun(const WordTag* word) {
  static constexpr std::string_view kPronouns[] = {
      "你",   "我",   "他",   "她",   "它",  "您",
      "你们", "我们", "他们", "她们", "咱们"};
  if (word == nullptr) return false;
  for (const std::string_view pronoun : kPronouns) {
    if (word->first == pronoun) return true;
  }
  return false;
}

// 好 hao4 'be fond of' between a person and the activity that ends the
// phrase (他好学习, 她好打扮); before a verb of feeling, a modal or 有 it is
// the degree adverb (我好想你, 我好喜欢, 他好会说, 他好有钱).
bool HaoIsFondOf(const WordTagList& phrase, std::size_t k) {
  static constexpr std::string_view kFeeling[] = {
      "想",   "喜欢", "爱",   "怕",   "害怕", "担心", "会",   "能",
      "有",   "像",   "感动", "想念", "羡慕", "希望", "讨厌", "佩服",
      "后悔", "期待", "紧张", "激动", "开心", "难过", "失望", "生气",
      "没有", "要",   "是",   "在",   "累",   "饿",   "困",   "烦"};
  const WordTag* after = At(phrase, k, 1);
  if (!IsPersonalPronoun(At(phrase, k, -1)) || after == nullptr ||
      !IsVerb(after->second) || At(phrase, k, 2) != nullptr) {
    return false;
  }
  for (const std::string_view feeling : kFeeling) {
    if (after->first == feeling) return false;
  }
  return true;
}

// The verbs that read one way as a verb and another as a noun or measure,
// with the verb's final: the reading of AXA (数一数, 量了量).
struct VerbReading {
  wchar_t character;
  const char* final;
};
constexpr VerbReading kVerbReadings[] = {{L'数', "u3"},
                                         {L'量', "iang2"},
                                         {L'称', "eng1"},
                                         {L'转', "uan4"},
                                         {L'扇', "an1"}};

bool IsTriedVerb(std::wstring_view chars) {
  return chars.size() == 3 && chars[0] == chars[2] &&
         (chars[1] == L'一' || chars[1] == L'了');
}

// 朝阳 described by a degree word (朝阳很美, 朝阳真红) is the morning sun,
// zhao1; the place and 'facing the sun' keep chao2 (朝阳最大的商场: the
// superlative and comparative degree words are left out, as they pick out
// places as often as they describe).
bool IsDescribed(const WordTagList& phrase, std::size_t k) {
  static constexpr std::wstring_view kDegreeHeads = L"很真太好非格十";
  const WordTag* after = At(phrase, k, 1);
  if (after == nullptr) return false;
  const std::wstring next = utf8string2wstring(after->first);
  return !next.empty() && kDegreeHeads.find(next[0]) != std::wstring_view::npos;
}

// A character inside a longer word: the word's own reading stands but for
// the verb of a tried action and a particle the segmenter joined to the
// next word (一个一个地来 as 一个一个 / 地来).
std::optional<PolyphoneReading> ReadInWord(const WordTagList& phrase,
                                           std::size_t k,
                                           std::wstring_view chars,
                                           std::size_t at) {
  const wchar_t c = chars[at];
  if (IsTriedVerb(chars) && at != 1) {
    for (const VerbReading& verb : kVerbReadings) {
      if (verb.character == c) return {{verb.final, phrase[k].second}};
    }
  }
  if (c == L'地' && at == 0 && phrase[k].second == "x" &&
      DiIsParticle(phrase, k)) {
    return {{"e5", phrase[k].second, "d"}};
  }
  if (c == L'朝' && at == 0 && chars == L"朝阳" && IsDescribed(phrase, k)) {
    return {{"ao1", phrase[k].second, "zh"}};
  }
  return std::nullopt;
}

}  // namespace

std::optional<PolyphoneReading> ReadPolyphone(const WordTagList& phrase,
                                              std::size_t k,
                                              std::wstring_view chars,
                                              std::size_t at) {
  if (k >= phrase.size() || at >= chars.size()) return std::nullopt;
  if (chars.size() > 1) return ReadInWord(phrase, k, chars, at);
  const auto& [word, tag] = phrase[k];
  const WordTag* after = At(phrase, k, 1);
  const std::string next = after != nullptr ? after->first : std::string();
  if (word == "为" && WeiIsCopula(phrase, k)) return {{"ui2", tag}};
  // 还 before the one it is owed to: 还你钱, 没还他.
  if (word == "还" && IsPersonalPronoun(after)) return {{"uan2", "v"}};
  if (word == "好" && HaoIsFondOf(phrase, k)) return {{"ao4", "v"}};
  // 应了一声 'answered' keeps ying4.
  if (word == "应" && IsVerb(tag) && next != "了") return {{"ing1", tag}};
  if (word == "干" && IsVerb(tag)) return {{"an4", tag}};
  // 倒是, 倒也: the adverb, whatever the tag says.
  if (word == "倒" && (tag == "d" || next == "是" || next == "也")) {
    return {{"ao4", "d"}};
  }
  if (word == "只" && tag == "d") return {{"iii3", tag}};
  if (word == "得" && DeiIsMust(phrase, k)) return {{"ei3", "v"}};
  // The complement particle: 考得很好, 跳得很美.
  if (word == "得" && tag == "ud" && AfterVerbOrAdjective(phrase, k)) {
    return {{"e5", tag}};
  }
  if (word == "地" && DiIsParticle(phrase, k)) return {{"e5", "uv"}};
  // 很长, 有点长, 太长: the adjective "long", not zhang3 "grow".
  if (word == "长" && AfterDegreeAdverb(phrase, k)) {
    return {{"ang2", tag, "ch"}};
  }
  return std::nullopt;
}

}  // namespace speechnn
