// FrontEngineInterface's step methods: each runs one step of normalize/,
// lexicon/ or prosody/ and turns its absl::Status into the 0 / -1 result and
// the standard-error lines that callers have always seen.

#include <utility>

#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/lexicon/polyphone_features.h"
#include "speech_neural_network/lexicon/polyphone_model.h"
#include "speech_neural_network/lexicon/polyphones.h"
#include "speech_neural_network/lexicon/word_lists.h"
#include "speech_neural_network/prosody/erhua.h"
#include "speech_neural_network/prosody/phone_ids.h"
#include "speech_neural_network/prosody/tone_cycle.h"
#include "speech_neural_network/prosody/word_merges.h"
#include "speech_neural_network/report.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

int Reported(const ReportSink& report, const absl::Status& status) {
  if (status.ok()) return 0;
  ReportLine(report, status.message());
  return -1;
}

void ReportToneFailed(const ReportSink& report, const absl::Status& status,
                      const std::string& word) {
  ReportLine(report, status.message());
  ReportLine(report, "Failed to modify tone of the word: " + word);
  ReportLine(report, "Failed to modify tone.");
}

void ReportWordFailed(const ReportSink& report, const std::string& word) {
  ReportLine(report, "Genarate the word_initials and word_finals of " + word +
                         " failed");
}

}  // namespace

WordSplitter FrontEngineInterface::Splitter() const {
  const Segmenter* segmenter = segmenter_.get();
  return [segmenter](const std::string& word) -> std::optional<WordSplit> {
    if (segmenter == nullptr) return std::nullopt;
    return segmenter->SplitWord(word);
  };
}

std::vector<std::string> FrontEngineInterface::FinalsForMerge(
    const std::string& word) {
  std::vector<std::string> finals;
  if (GetFinals(word, finals) != 0) {
    ReportLine(report_, "Failed to get the final of word.");
  }
  return finals;
}

int FrontEngineInterface::MergeForSandhi(const WordTagList& tagged,
                                         WordTagList& merged) {
  merged = speechnn::MergeForSandhi(
      tagged, [this](const std::string& word) { return FinalsForMerge(word); });
  return 0;
}

WordTagList FrontEngineInterface::MergeBu(const WordTagList& words) {
  return speechnn::MergeBu(words);
}

WordTagList FrontEngineInterface::MergeYi(const WordTagList& words) {
  return speechnn::MergeYi(words);
}

WordTagList FrontEngineInterface::MergeReduplication(const WordTagList& words) {
  return speechnn::MergeReduplication(words);
}

WordTagList FrontEngineInterface::MergeThreeTones(const WordTagList& words) {
  return speechnn::MergeThreeTones(
      words, [this](const std::string& word) { return FinalsForMerge(word); });
}

WordTagList FrontEngineInterface::MergeThreeTones2(const WordTagList& words) {
  return speechnn::MergeThreeTones2(
      words, [this](const std::string& word) { return FinalsForMerge(word); });
}

WordTagList FrontEngineInterface::MergeEr(const WordTagList& words) {
  return speechnn::MergeEr(words);
}

int FrontEngineInterface::GetInitialsFinals(
    const std::string& word, std::vector<std::string>& word_initials,
    std::vector<std::string>& word_finals) {
  return Reported(report_,
                  lexicon_.GetInitialsFinals(word, word_initials, word_finals));
}

int FrontEngineInterface::GetFinals(const std::string& word,
                                    std::vector<std::string>& word_finals) {
  std::vector<std::string> scratch_initials;
  if (GetInitialsFinals(word, scratch_initials, word_finals) != 0) {
    ReportLine(report_, "Failed to get word finals");
    return -1;
  }
  return 0;
}

bool FrontEngineInterface::HasReading(const std::string& word) const {
  return lexicon_.HasReading(word);
}

int FrontEngineInterface::BuSandhi(const std::string& word,
                                   std::vector<std::string>& finals) {
  const std::wstring chars = utf8string2wstring(word);
  return Reported(report_, speechnn::BuSandhi({word, chars}, finals));
}

int FrontEngineInterface::YiSandhi(const std::string& word,
                                   std::vector<std::string>& finals) {
  const std::wstring chars = utf8string2wstring(word);
  return Reported(report_, speechnn::YiSandhi({word, chars}, finals));
}

int FrontEngineInterface::NeuralSandhi(const std::string& word,
                                       const std::string& tag,
                                       std::vector<std::string>& finals) {
  const std::wstring chars = utf8string2wstring(word);
  return Reported(report_,
                  speechnn::NeuralSandhi(
                      {word, chars}, tag, finals, Splitter(),
                      neutral_words_ ? *neutral_words_ : NeutralToneWords()));
}

int FrontEngineInterface::ThreeSandhi(const std::string& word,
                                      std::vector<std::string>& finals) {
  const std::wstring chars = utf8string2wstring(word);
  return Reported(report_,
                  speechnn::ThreeSandhi({word, chars}, finals, Splitter()));
}

int FrontEngineInterface::SplitWord(const std::string& word,
                                    std::vector<std::string>& result) {
  const std::optional<WordSplit> parts = Splitter()(word);
  if (!parts) return -1;
  result = {parts->first, parts->second};
  return 0;
}

absl::Status FrontEngineInterface::ModifyToneOf(
    const SandhiWord& word, const std::string& tag,
    std::vector<std::string>& finals) const {
  // Each step runs only when the ones before it succeeded.
  const WordSplitter split = Splitter();
  const std::vector<std::string> underlying = finals;
  const std::vector<std::string> citation =
      lexicon_.CitationFinals(word.text, finals);
  absl::Status status = speechnn::BuSandhi(word, finals, &citation);
  if (status.ok()) status = speechnn::YiSandhi(word, finals, &citation);
  if (status.ok()) {
    status = speechnn::NeuralSandhi(
        word, tag, finals, split,
        neutral_words_ ? *neutral_words_ : NeutralToneWords());
  }
  // A three-character word that the merges joined from shorter words is
  // cut again by the segmenter, which finds the words it was joined from
  // (也|可以, 可以|走): each keeps its own sandhi before the boundary's.
  if (status.ok()) {
    status = speechnn::ThreeSandhi(
        word, finals, split,
        FindHiddenThirds(word.chars, tag, underlying, finals));
  }
  return status;
}

int FrontEngineInterface::ModifyTone(const std::string& word,
                                     const std::string& tag,
                                     std::vector<std::string>& finals) {
  const std::wstring chars = utf8string2wstring(word);
  const absl::Status status = ModifyToneOf({word, chars}, tag, finals);
  if (status.ok()) return 0;
  ReportToneFailed(report_, status, word);
  return -1;
}

void FrontEngineInterface::MergeErhua(const std::string& word,
                                      const std::string& tag,
                                      std::vector<std::string>& word_initials,
                                      std::vector<std::string>& word_finals) {
  const std::wstring chars = utf8string2wstring(word);
  speechnn::MergeErhua({word, chars}, tag, word_initials, word_finals);
}

namespace {

// A word of the sentence between reading its tones and turning them into
// ids: the third-tone cycle needs the settled tones of the whole phrase.
struct PreparedWord {
  const std::string* word = nullptr;
  const std::string* tag = nullptr;
  std::size_t index = 0;  // in the sentence's word list
  bool pause = false;
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  char underlying_tone = '\0';  // of a one-syllable word
  std::string polyphone_tag;    // set where a polyphone's reading retags it
  const std::string& Tag() const {
    return polyphone_tag.empty() ? *tag : polyphone_tag;
  }
};

// Runs the cycle over each stretch of words between two pauses; digits
// read one by one take part like any syllables (九五 jiu2 wu3).
void CycleEachPhrase(std::vector<PreparedWord>& words) {
  std::vector<CycleWord> phrase;
  for (PreparedWord& w : words) {
    if (w.pause) {
      ThirdToneCycleAcrossWords(phrase);
      phrase.clear();
    } else {
      phrase.push_back({&w.finals, w.underlying_tone});
    }
  }
  ThirdToneCycleAcrossWords(phrase);
}

}  // namespace

int FrontEngineInterface::GetWordsIds(const WordTagList& words,
                                      std::vector<int>& phone_ids,
                                      std::vector<int>& tone_ids,
                                      std::vector<WordReading>* readings,
                                      std::vector<std::size_t>* word_phones) {
  const bool separate = separate_tone();
  const IdTable* tones = separate ? &tone_ids_ : nullptr;
  // First every word's own tones, up to the first word that cannot be read;
  // the words before it are still spoken.
  std::vector<PreparedWord> prepared;
  bool unreadable = false;
  // Every word decoded once; quotation marks are neither spoken nor read as
  // a neighbour, and a pause leaves a word without one.
  std::vector<std::wstring> decoded;
  decoded.reserve(words.size());
  // Per spoken word: its phrase (the words between two pauses) and its
  // place there, for the polyphones read in context.
  std::vector<WordTagList> phrases(1);
  std::vector<std::pair<std::size_t, std::size_t>> place;
  for (const WordTag& entry : words) {
    if (ListContains(QuoteMarks(), entry.first)) continue;
    const bool pause = ListContains(PausePunctuation(), entry.first);
    decoded.push_back(pause ? std::wstring() : utf8string2wstring(entry.first));
    place.emplace_back(phrases.size() - 1, phrases.back().size());
    if (pause) {
      phrases.emplace_back();
    } else {
      phrases.back().push_back(entry);
    }
  }
  std::optional<PolyphoneSentence> sentence;
  if (polyphone_model_ != nullptr) sentence.emplace(words);
  std::size_t position = 0;
  for (std::size_t index = 0; index < words.size(); ++index) {
    const WordTag& entry = words[index];
    const std::string& word = entry.first;
    if (ListContains(QuoteMarks(), word)) {
      if (readings != nullptr) readings->emplace_back();
      continue;
    }
    const std::size_t k = position++;
    PreparedWord w;
    w.word = &word;
    w.tag = &entry.second;
    w.index = index;
    if (ListContains(PausePunctuation(), word)) {
      w.pause = true;
      prepared.push_back(std::move(w));
      if (readings != nullptr) readings->emplace_back();
      continue;
    }
    if (GetInitialsFinals(word, w.initials, w.finals) != 0) {
      ReportWordFailed(report_, word);
      unreadable = true;
      break;
    }
    // 'p': read through the dictionary's words inside it (an unknown word).
    std::string decided_by(w.finals.size(),
                           lexicon_.HasEntry(word) ? 'd' : 'p');
    if (w.finals.size() == decoded[k].size()) {
      const auto& [phrase, at] = place[k];
      for (std::size_t i = 0; i < w.finals.size(); ++i) {
        std::optional<PolyphoneReading> reading =
            ReadPolyphone(phrases[phrase], at, decoded[k], i);
        if (!reading) continue;
        w.finals[i] = reading->final;
        if (w.finals.size() == 1) w.polyphone_tag = reading->tag;
        if (!reading->initial.empty()) {
          // Separate-tone initials carry the tone byte 0.
          w.initials[i] = reading->initial + (separate ? "0" : "");
        }
        decided_by[i] = 'r';
      }
    }
    if (polyphone_model_ != nullptr) {
      ReadWithModel(*polyphone_model_, *sentence, index, separate, w.initials,
                    w.finals, decided_by);
      if (decided_by == "m") {
        if (std::optional<std::string> tag = ParticleTagFor(
                sentence->WordChars(index)[0], w.finals[0], entry.second)) {
          w.polyphone_tag = *tag;
        }
      }
    }
    if (w.finals.size() == 1 && !w.finals[0].empty()) {
      w.underlying_tone = w.finals[0].back();
    }
    if (readings != nullptr) {
      readings->push_back({w.initials, w.finals, decided_by});
    }
    const std::wstring& chars = decoded[k];
    const SandhiWord sandhi_word{
        word, chars, k > 0 ? std::wstring_view(decoded[k - 1]) : L"",
        k + 1 < decoded.size() ? std::wstring_view(decoded[k + 1]) : L""};
    // A failed tone step is reported and leaves the earlier changes; the
    // word is still spoken.
    if (const absl::Status status =
            ModifyToneOf(sandhi_word, w.Tag(), w.finals);
        !status.ok()) {
      ReportToneFailed(report_, status, word);
    }
    prepared.push_back(std::move(w));
  }
  CycleEachPhrase(prepared);
  if (word_phones != nullptr) word_phones->assign(words.size(), 0);

  for (PreparedWord& w : prepared) {
    std::string phones;
    if (w.pause) {
      phones = separate ? "sp0" : "sp";
    } else {
      const std::wstring chars = utf8string2wstring(*w.word);
      speechnn::MergeErhua({*w.word, chars}, w.Tag(), w.initials, w.finals);
      if (w.initials.size() != w.finals.size()) {
        ReportLine(
            report_,
            "word_initials.size() == word_finals.size() failed: " + *w.word);
        ReportWordFailed(report_, *w.word);
        return -1;
      }
      phones = BuildPhoneString(w.initials, w.finals);
    }
    const std::size_t ids_before = phone_ids.size();
    if (const absl::Status status =
            AppendPhoneIds(phones, phone_ids_, tones, phone_ids, tone_ids);
        !status.ok()) {
      ReportLine(report_,
                 std::string(status.message()) + " of word: " + *w.word);
      ReportWordFailed(report_, *w.word);
      return -1;
    }
    if (word_phones != nullptr) {
      (*word_phones)[w.index] = phone_ids.size() - ids_before;
    }
  }
  return unreadable ? -1 : 0;
}

}  // namespace speechnn
