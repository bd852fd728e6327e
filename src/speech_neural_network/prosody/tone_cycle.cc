#include "speech_neural_network/prosody/tone_cycle.h"

namespace speechnn {
namespace {

bool HasTone(const std::string& final, char tone) {
  return !final.empty() && final.back() == tone;
}

void Rise(std::string& final) { final.back() = '2'; }

// Whether the syllable at `i` counts as a third tone for the one before it.
bool CountsAsThird(const std::vector<std::string>& finals,
                   const HiddenThirds& hidden, std::size_t i) {
  return HasTone(finals[i], '3') ||
         (HasTone(finals[i], '5') && i < hidden.size() && hidden[i]);
}

// The boundaries of one word, each between the syllables at `left` and
// `left + 1`. A unit of one syllable on the right counts by its tone before
// the cycle, a longer unit by its surface.
class WordCycle {
 public:
  WordCycle(std::vector<std::string>& finals, const HiddenThirds& hidden)
      : finals_(finals), before_(finals), hidden_(hidden) {}

  void BeforeOneSyllable(std::size_t left) {
    if (HasTone(finals_[left], '3') &&
        CountsAsThird(before_, hidden_, left + 1))
      Rise(finals_[left]);
  }
  void BeforeLongerUnit(std::size_t left) {
    if (HasTone(finals_[left], '3') && HasTone(finals_[left + 1], '3'))
      Rise(finals_[left]);
  }

 private:
  std::vector<std::string>& finals_;
  const std::vector<std::string> before_;
  const HiddenThirds& hidden_;
};

}  // namespace

HiddenThirds FindHiddenThirds(const std::wstring& chars, const std::string& tag,
                              const std::vector<std::string>& underlying,
                              const std::vector<std::string>& surface) {
  HiddenThirds hidden(surface.size(), false);
  if (underlying.size() != surface.size() || chars.size() != surface.size()) {
    return hidden;
  }
  const bool noun = !tag.empty() && tag[0] == 'n';
  for (std::size_t i = 0; i < surface.size(); ++i) {
    if (!HasTone(surface[i], '5')) continue;
    if (i + 1 == chars.size() && i > 0 && chars[i] == L'子') continue;
    if (noun && i > 0 && chars[i] == chars[i - 1]) continue;
    hidden[i] = HasTone(underlying[i], '3');
  }
  return hidden;
}

void ThirdToneCycleInWord(std::vector<std::string>& finals,
                          const HiddenThirds& hidden, std::size_t split) {
  WordCycle cycle(finals, hidden);
  switch (finals.size()) {
    case 2:
      cycle.BeforeOneSyllable(0);
      break;
    case 3:
      if (split == 1) {  // 纸|老虎: the pair first, then the boundary.
        cycle.BeforeOneSyllable(1);
        cycle.BeforeLongerUnit(0);
      } else if (split == 2) {  // 展览|馆, 奢侈|品
        cycle.BeforeOneSyllable(0);
        cycle.BeforeOneSyllable(1);
      } else {  // 我|想|买
        cycle.BeforeOneSyllable(1);
        cycle.BeforeOneSyllable(0);
      }
      break;
    case 4:  // two pairs, then the boundary between them
      cycle.BeforeOneSyllable(2);
      cycle.BeforeOneSyllable(0);
      cycle.BeforeLongerUnit(1);
      break;
    default:
      break;
  }
}

void ThirdToneCycleAcrossWords(const std::vector<CycleWord>& phrase) {
  for (std::size_t i = phrase.size(); i-- > 1;) {
    std::vector<std::string>& left = *phrase[i - 1].finals;
    const std::vector<std::string>& right = *phrase[i].finals;
    if (left.empty() || right.empty()) continue;
    const bool right_third = right.size() == 1
                                 ? phrase[i].underlying_tone == '3'
                                 : HasTone(right.front(), '3');
    if (HasTone(left.back(), '3') && right_third) Rise(left.back());
  }
}

}  // namespace speechnn
