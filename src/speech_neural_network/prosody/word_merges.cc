// Word merges before sandhi: joins neighbours of a tagged word list so that
// the per-word sandhi and erhua steps see whole units (不 and 一 with the
// word after them, reduplications, short third-tone runs, 儿 with its word).
//
// Punctuation marks (pause punctuation and quotation marks) are never glued
// to a word: the id step speaks a mark only when it is an entry of its own,
// and a word with a mark inside has no pronunciation, so such a join would
// fail the whole sentence (不， / 一、 / “好).

#include "speech_neural_network/prosody/word_merges.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "speech_neural_network/lexicon/word_lists.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

const char kBu[] = "不";
const char kYi[] = "一";
const char kEr[] = "儿";

bool IsReduplication(const std::string& word) {
  const std::wstring chars = utf8string2wstring(word);
  return chars.size() == 2 && chars[0] == chars[1];
}

bool AllThirdTone(const std::vector<std::string>& finals) {
  for (const std::string& f : finals) {
    if (f.empty() || f.back() != '3') return false;
  }
  return true;
}

bool FirstIsThirdTone(const std::vector<std::string>& finals) {
  return !finals.empty() && !finals.front().empty() &&
         finals.front().back() == '3';
}

bool LastIsThirdTone(const std::vector<std::string>& finals) {
  return !finals.empty() && !finals.back().empty() &&
         finals.back().back() == '3';
}

// Whether two neighbouring entries, both with their finals, join.
using ThreeToneTest = bool (*)(const std::vector<std::string>& previous,
                               const std::vector<std::string>& current);

// Both words wholly in tone 3. An entry without syllables (a mark, or a word
// whose finals could not be read) has an empty list and never joins.
bool BothAllThirdTone(const std::vector<std::string>& previous,
                      const std::vector<std::string>& current) {
  return !previous.empty() && !current.empty() && AllThirdTone(previous) &&
         AllThirdTone(current);
}

// A tone-3 syllable on each side of the boundary.
bool ThirdToneAcrossBoundary(const std::vector<std::string>& previous,
                             const std::vector<std::string>& current) {
  return LastIsThirdTone(previous) && FirstIsThirdTone(current);
}

// Joins an entry onto the one before it when `joins` accepts their finals,
// the one before was not itself joined and is no reduplication (奶奶 keeps
// its own tone pattern), and the two have three characters or fewer.
WordTagList MergeAcrossThirdTones(const WordTagList& words,
                                  const FinalsLookup& finals_of,
                                  ThreeToneTest joins) {
  // Marks have no syllables: their finals are not looked up.
  std::vector<std::vector<std::string>> finals(words.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (IsMark(words[i].first)) continue;
    finals[i] = finals_of(words[i].first);
  }

  WordTagList merged;
  std::vector<bool> joined(words.size(), false);
  for (std::size_t i = 0; i < words.size(); ++i) {
    const bool join =
        i >= 1 && !merged.empty() && !joined[i - 1] &&
        joins(finals[i - 1], finals[i]) &&
        !IsReduplication(words[i - 1].first) &&
        Utf8Length(words[i - 1].first) + Utf8Length(words[i].first) <= 3;
    if (join) {
      merged.back().first += words[i].first;
      joined[i] = true;
    } else {
      merged.push_back(words[i]);
    }
  }
  return merged;
}

// 这一 and its like, split into the demonstrative and 一.
WordTagList SplitDemonstrativeYi(const WordTagList& words) {
  static const std::vector<std::string> kDemonstratives = {"这", "那", "每",
                                                           "哪"};
  WordTagList split;
  for (const WordTag& entry : words) {
    const std::string& word = entry.first;
    const std::size_t yi_size = std::string_view(kYi).size();
    const std::size_t yi = word.size() > yi_size ? word.size() - yi_size : 0;
    const bool demonstrative_yi =
        yi > 0 && word.compare(yi, std::string::npos, kYi) == 0 &&
        std::find(kDemonstratives.begin(), kDemonstratives.end(),
                  word.substr(0, yi)) != kDemonstratives.end();
    if (demonstrative_yi) {
      split.emplace_back(word.substr(0, yi), "r");
      split.emplace_back(kYi, "m");
    } else {
      split.push_back(entry);
    }
  }
  return split;
}

}  // namespace

WordTagList MergeForSandhi(const WordTagList& tagged,
                           const FinalsLookup& finals_of) {
  WordTagList words = MergeBu(tagged);
  words = MergeYi(words);
  words = MergeReduplication(words);
  words = MergeThreeTones(words, finals_of);
  words = MergeThreeTones2(words, finals_of);
  return MergeEr(words);
}

WordTagList MergeBu(const WordTagList& words) {
  WordTagList merged;
  std::string previous;
  for (const auto& [word, tag] : words) {
    std::string current = word;
    if (previous == kBu) {
      if (IsMark(word)) {
        // A mark ends the phrase as the end of the list does.
        merged.emplace_back(kBu, "d");
      } else {
        current = kBu + word;
      }
    }
    if (current != kBu) merged.emplace_back(current, tag);
    previous = current;
  }
  if (previous == kBu) merged.emplace_back(kBu, "d");
  return merged;
}

WordTagList MergeYi(const WordTagList& tagged) {
  const WordTagList words = SplitDemonstrativeYi(tagged);
  // Pass 1: X 一 X with a verb X becomes one word X一X.
  WordTagList repeated;
  bool joined_previous = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const bool joins = i >= 1 && words[i].first == kYi &&
                       i + 1 < words.size() &&
                       words[i - 1].first == words[i + 1].first &&
                       words[i - 1].second == "v" && !repeated.empty();
    if (joins) {
      std::string& x = repeated.back().first;
      x = x + kYi + x;
    } else if (!joined_previous) {
      repeated.push_back(words[i]);
    }
    // The X after 一 is already part of the joined word.
    joined_previous = joins;
  }

  // Pass 2: 一 takes the word after it.
  WordTagList merged;
  for (const WordTag& entry : repeated) {
    if (!merged.empty() && merged.back().first == kYi && !IsMark(entry.first)) {
      merged.back().first += entry.first;
    } else {
      merged.push_back(entry);
    }
  }
  return merged;
}

WordTagList MergeReduplication(const WordTagList& words) {
  WordTagList merged;
  for (const WordTag& entry : words) {
    if (!merged.empty() && merged.back().first == entry.first &&
        !IsMark(entry.first)) {
      merged.back().first += entry.first;
    } else {
      merged.push_back(entry);
    }
  }
  return merged;
}

WordTagList MergeThreeTones(const WordTagList& words,
                            const FinalsLookup& finals_of) {
  return MergeAcrossThirdTones(words, finals_of, BothAllThirdTone);
}

WordTagList MergeThreeTones2(const WordTagList& words,
                             const FinalsLookup& finals_of) {
  return MergeAcrossThirdTones(words, finals_of, ThirdToneAcrossBoundary);
}

WordTagList MergeEr(const WordTagList& words) {
  WordTagList merged;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i >= 1 && words[i].first == kEr && !merged.empty() &&
        !IsMark(merged.back().first)) {
      merged.back().first += kEr;
    } else {
      merged.push_back(words[i]);
    }
  }
  return merged;
}

}  // namespace speechnn
