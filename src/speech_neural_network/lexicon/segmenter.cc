#include "speech_neural_network/lexicon/segmenter.h"

#include <algorithm>
#include <unordered_set>

#include "absl/status/status.h"
#include "common/bounded_file.h"
// The HMM headers lean on the logging and constants this one brings.
#include "cppjieba/DictTrie.hpp"
#include "cppjieba/HMMModel.hpp"
#include "cppjieba/HMMSegment.hpp"
#include "cppjieba/PreFilter.hpp"
#include "speech_neural_network/lexicon/segmenter_dictionary.h"
#include "speech_neural_network/lexicon/segmenter_files.h"

namespace speechnn {
namespace {

// The user dictionaries, checked before, weighed with the main one's
// weights and compiled into a trie of their own.
absl::StatusOr<SegmenterDictionary> UserWords(
    const SegmenterFiles& files, const DictionaryWeights& weights) {
  if (files.user_dict.empty()) return SegmenterDictionary();
  std::vector<DictionaryWord> words;
  for (const std::string& file :
       SegmenterUserDictionaryFiles(files.user_dict)) {
    absl::StatusOr<std::string> text =
        tolvaren::ReadBoundedFile(file, tolvaren::kMaxTableBytes);
    if (!text.ok()) return text.status();
    ReadUserDictionary(*text, weights, words);
  }
  if (words.empty()) return SegmenterDictionary();
  return SegmenterDictionary::FromBlock(
      SegmenterDictionary::Compile(words, weights), files.user_dict);
}

// Words longer than this are not looked for (the segmenter's own bound).
constexpr std::size_t kMaxWordLength = 512;
// The score of a path no word can take.
constexpr double kNoPath = -3.14e+100;

using RuneIterator = cppjieba::RuneStrArray::const_iterator;
using WordRanges = std::vector<cppjieba::WordRange>;
using DictEdge = SegmenterDictionary::Edge;

// A dictionary word starting at some rune and ending at `last`; `known` is
// false for the single rune no word covers.
struct WordEnd {
  std::size_t last;
  bool known;
  double weight;
};

// The words that start at each rune of a piece: those of rune i are
// ends[first[i], first[i + 1]), the single rune first, then by length.
struct WordGraph {
  std::vector<WordEnd> ends;
  std::vector<std::size_t> first;
};

// The part-of-speech tag of a word without one, from its ASCII letters.
const char* TagByLetters(const cppjieba::RuneStrArray& runes) {
  std::size_t digits = 0;
  std::size_t ascii = 0;
  for (std::size_t i = 0; i < runes.size() && ascii < runes.size() / 2; ++i) {
    if (runes[i].rune < 0x80) {
      ++ascii;
      if ('0' <= runes[i].rune && runes[i].rune <= '9') ++digits;
    }
  }
  if (ascii == 0) return "x";
  if (digits == ascii) return "m";
  return "eng";
}

}  // namespace

// The dictionaries, the HMM model and the cuts over them. User words are
// looked up before the main dictionary's: they replace its entries.
struct Segmenter::Parts {
  Parts(SegmenterDictionary main_words, SegmenterDictionary user_words,
        const std::string& hmm)
      : main(std::move(main_words)),
        user(std::move(user_words)),
        model(hmm),
        hmm_cut(&model) {
    cppjieba::RuneStrArray runes;
    cppjieba::DecodeUTF8RunesInString(cppjieba::SPECIAL_SEPARATORS, runes);
    for (const cppjieba::RuneStr& rune : runes) separators.insert(rune.rune);
  }

  WordEnd EndAt(std::size_t last, const DictEdge* in_main,
                const DictEdge* in_user) const {
    if (in_user != nullptr && in_user->word != 0) {
      return {last, true, user.Weight(*in_user)};
    }
    if (in_main != nullptr && in_main->word != 0) {
      return {last, true, main.Weight(*in_main)};
    }
    return {last, false, 0.0};
  }

  void Graph(RuneIterator begin, RuneIterator end, WordGraph& graph) const {
    const std::size_t count = static_cast<std::size_t>(end - begin);
    graph.ends.clear();
    graph.first.clear();
    for (std::size_t i = 0; i < count; ++i) {
      graph.first.push_back(graph.ends.size());
      const DictEdge* in_main = main.Step(nullptr, begin[i].rune);
      const DictEdge* in_user = user.Step(nullptr, begin[i].rune);
      graph.ends.push_back(EndAt(i, in_main, in_user));
      for (std::size_t j = i + 1; j < count && j - i + 1 <= kMaxWordLength;
           ++j) {
        if (in_main == nullptr && in_user == nullptr) break;
        if (in_main != nullptr) in_main = main.Step(in_main, begin[j].rune);
        if (in_user != nullptr) in_user = user.Step(in_user, begin[j].rune);
        const WordEnd word = EndAt(j, in_main, in_user);
        if (word.known) graph.ends.push_back(word);
      }
    }
    graph.first.push_back(graph.ends.size());
  }

  // The most probable tiling of the piece by dictionary words and single
  // runes.
  void MostProbable(RuneIterator begin, RuneIterator end,
                    WordRanges& words) const {
    WordGraph graph;
    Graph(begin, end, graph);
    const std::size_t count = static_cast<std::size_t>(end - begin);
    std::vector<double> best(count, kNoPath);
    std::vector<const WordEnd*> pick(count, nullptr);
    for (std::size_t i = count; i-- > 0;) {
      for (std::size_t at = graph.first[i]; at < graph.first[i + 1]; ++at) {
        const WordEnd& word = graph.ends[at];
        double score = 0.0;
        if (word.last + 1 < count) score += best[word.last + 1];
        score += word.known ? word.weight : main.weights().min;
        if (score > best[i]) {
          best[i] = score;
          pick[i] = &word;
        }
      }
    }
    for (std::size_t i = 0; i < count;) {
      const std::size_t last =
          pick[i] != nullptr && pick[i]->known ? pick[i]->last : i;
      words.emplace_back(begin + i, begin + last);
      i = last + 1;
    }
  }

  bool IsUserSingleRune(cppjieba::Rune rune) const {
    const DictEdge* edge = user.Step(nullptr, rune);
    return edge != nullptr && edge->word != 0;
  }

  // The most probable tiling, with runs of single runes that are no user
  // word cut again by the HMM.
  void Mixed(RuneIterator begin, RuneIterator end, WordRanges& result) const {
    WordRanges words;
    words.reserve(static_cast<std::size_t>(end - begin));
    MostProbable(begin, end, words);
    WordRanges pieces;
    for (std::size_t i = 0; i < words.size(); ++i) {
      if (words[i].left != words[i].right ||
          IsUserSingleRune(words[i].left->rune)) {
        result.push_back(words[i]);
        continue;
      }
      std::size_t j = i;
      while (j < words.size() && words[j].left == words[j].right &&
             !IsUserSingleRune(words[j].left->rune)) {
        ++j;
      }
      hmm_cut.Cut(words[i].left, words[j - 1].left + 1, pieces);
      result.insert(result.end(), pieces.begin(), pieces.end());
      pieces.clear();
      i = j - 1;
    }
  }

  // Every dictionary word of the piece; single runes only where no longer
  // word covers them.
  void Full(RuneIterator begin, RuneIterator end, WordRanges& result) const {
    WordGraph graph;
    Graph(begin, end, graph);
    std::size_t covered = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i + 1 < graph.first.size(); ++i) {
      const std::size_t ends = graph.first[i + 1] - graph.first[i];
      for (std::size_t at = graph.first[i]; at < graph.first[i + 1]; ++at) {
        const WordEnd& word = graph.ends[at];
        if (word.known) length = word.last - i + 1;
        if ((word.known && length >= 2) || (ends == 1 && covered <= i)) {
          result.emplace_back(begin + i, begin + word.last);
        }
        covered = std::max(covered, i + length);
      }
    }
  }

  // The mixed cut, each word of more than two runes preceded by the
  // dictionary words of two (and of more than three, three) runes in it.
  void Search(RuneIterator begin, RuneIterator end, WordRanges& result) const {
    WordRanges mixed;
    Mixed(begin, end, mixed);
    for (const cppjieba::WordRange& word : mixed) {
      for (std::size_t span = 2; span <= 3; ++span) {
        if (word.Length() <= span) continue;
        for (std::size_t i = 0; i + span <= word.Length(); ++i) {
          if (Find(word.left + i, word.left + i + span) != nullptr) {
            result.emplace_back(word.left + i, word.left + i + span - 1);
          }
        }
      }
      result.push_back(word);
    }
  }

  // The entry of exactly the runes [begin, end): the user's, else the main
  // dictionary's; nullptr for none.
  const DictEdge* FindIn(const SegmenterDictionary& words, RuneIterator begin,
                         RuneIterator end) const {
    const DictEdge* edge = nullptr;
    for (RuneIterator it = begin; it != end; ++it) {
      edge = words.Step(edge, it->rune);
      if (edge == nullptr) return nullptr;
    }
    return edge != nullptr && edge->word != 0 ? edge : nullptr;
  }
  const DictEdge* Find(RuneIterator begin, RuneIterator end) const {
    if (const DictEdge* in_user = FindIn(user, begin, end)) return in_user;
    return FindIn(main, begin, end);
  }

  std::string TagOf(const std::string& word) const {
    cppjieba::RuneStrArray runes;
    if (!cppjieba::DecodeUTF8RunesInString(word, runes)) return "x";
    std::string_view tag;
    if (const DictEdge* in_user = FindIn(user, runes.begin(), runes.end())) {
      tag = user.Tag(*in_user);
    } else if (const DictEdge* in_main =
                   FindIn(main, runes.begin(), runes.end())) {
      tag = main.Tag(*in_main);
    }
    return tag.empty() ? TagByLetters(runes) : std::string(tag);
  }

  // `cut` applied to each piece between separators of `sentence`.
  template <typename Cut>
  std::vector<cppjieba::Word> Words(const std::string& sentence,
                                    Cut cut) const {
    cppjieba::PreFilter filter(separators, sentence);
    WordRanges ranges;
    ranges.reserve(sentence.size() / 2);
    while (filter.HasNext()) {
      const cppjieba::PreFilter::Range range = filter.Next();
      (this->*cut)(range.begin, range.end, ranges);
    }
    std::vector<cppjieba::Word> words;
    words.reserve(ranges.size());
    cppjieba::GetWordsFromWordRanges(sentence, ranges, words);
    return words;
  }

  SegmenterDictionary main;
  SegmenterDictionary user;
  cppjieba::HMMModel model;
  cppjieba::HMMSegment hmm_cut;
  std::unordered_set<cppjieba::Rune> separators;
};

absl::StatusOr<std::unique_ptr<Segmenter>> Segmenter::Create(
    const SegmenterFiles& files) {
  if (absl::Status given = CheckSegmenterPathsGiven(files); !given.ok()) {
    return given;
  }
  absl::StatusOr<SegmenterDictionary> main =
      SegmenterDictionary::Open(files.dict);
  if (!main.ok()) return main.status();
  if (absl::Status status = CheckSegmenterFiles(files); !status.ok()) {
    return status;
  }
  absl::StatusOr<SegmenterDictionary> user = UserWords(files, main->weights());
  if (!user.ok()) return user.status();
  return std::unique_ptr<Segmenter>(new Segmenter(
      std::make_unique<Parts>(*std::move(main), *std::move(user), files.hmm)));
}

Segmenter::Segmenter(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

Segmenter::~Segmenter() = default;

namespace {

std::vector<std::string> Texts(const std::vector<cppjieba::Word>& words) {
  std::vector<std::string> texts;
  texts.reserve(words.size());
  for (const cppjieba::Word& word : words) texts.push_back(word.word);
  return texts;
}

}  // namespace

WordTagList Segmenter::Tag(const std::string& sentence) const {
  WordTagList tagged;
  for (cppjieba::Word& word : parts_->Words(sentence, &Parts::Mixed)) {
    std::string tag = parts_->TagOf(word.word);
    tagged.emplace_back(std::move(word.word), std::move(tag));
  }
  return tagged;
}

std::vector<std::string> Segmenter::FullCut(const std::string& word) const {
  return Texts(parts_->Words(word, &Parts::Full));
}

std::vector<std::string> Segmenter::MixedCut(const std::string& word) const {
  return Texts(parts_->Words(word, &Parts::Mixed));
}

std::optional<WordSplit> Segmenter::SplitWord(const std::string& word) const {
  std::vector<cppjieba::Word> pieces = parts_->Words(word, &Parts::Search);
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const cppjieba::Word& a, const cppjieba::Word& b) {
                     return a.word.size() < b.word.size();
                   });
  if (pieces.empty() || pieces.front().word.empty()) return std::nullopt;
  const cppjieba::Word& shortest = pieces.front();
  const std::string& piece = shortest.word;

  std::size_t cut;
  if (word.compare(0, piece.size(), piece) == 0) {
    // The shortest piece opens the word: it is the first sub-word.
    cut = piece.size();
  } else if (word.size() > piece.size() &&
             word.compare(word.size() - piece.size(), piece.size(), piece) ==
                 0) {
    // It closes the word: the rest of the word, then the piece.
    cut = word.size() - piece.size();
  } else if (shortest.offset > 0 && shortest.offset < word.size()) {
    // It lies inside the word: cutting its length off the end would give
    // parts that do not spell the word, so the word is cut where the piece
    // starts.
    cut = shortest.offset;
  } else {
    return std::nullopt;
  }
  return WordSplit(word.substr(0, cut), word.substr(cut));
}

}  // namespace speechnn
