// The fixed punctuation and word lists that the merges, sandhi, erhua and id
// steps consult. Built once, never changed.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_LISTS_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_LISTS_H_

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace speechnn {

// A fixed list of words, asked for membership many times per sentence: the
// entries in their listed order, and a hash index over them.
class WordList {
 public:
  WordList(std::initializer_list<std::string_view> words);
  explicit WordList(std::vector<std::string> words);
  // The index points into the entries, so a copy would point into the
  // original.
  WordList(const WordList&) = delete;
  WordList& operator=(const WordList&) = delete;

  bool Contains(std::string_view word) const { return index_.count(word) != 0; }
  // In the order listed, repeats kept.
  const std::vector<std::string>& words() const { return words_; }

 private:
  std::vector<std::string> words_;
  std::unordered_set<std::string_view> index_;
};

// Marks spoken as a pause.
const WordList& PausePunctuation();
// Quotation marks: never spoken.
const WordList& QuoteMarks();
// Words that keep their erhua whatever their tag.
const WordList& ErhuaKeepWords();
// Words whose 儿 is a syllable of its own.
const WordList& ErhuaSkipWords();
// Words whose 子 is a full syllable (男子, 电子), not the neutral suffix.
const WordList& ZiSuffixWords();
// Two-character words whose second syllable is in the neutral tone: the
// candidates before the resource generator keeps those a general dictionary
// also reads neutral (neutral_tone_words.dict), used where that file is
// absent.
const WordList& NeutralToneWords();

// True when `word` is an exact entry of `list`.
inline bool ListContains(const WordList& list, std::string_view word) {
  return list.Contains(word);
}

// A pause mark or a quotation mark: an entry that is never glued to a word.
bool IsMark(const std::string& word);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_WORD_LISTS_H_
