// The text front end: turns a text into phone ids.
//
// `FrontEngineInterface` composes the steps, each in its own folder and
// blind to this class:
//   normalize/  number reading, the rewrite rules, mixed-text folding
//   lexicon/    segmenter, pronunciation dictionary, id tables, word lists
//   prosody/    merges, tone sandhi, erhua, phone ids
// It owns the configuration and the resources, runs the per-sentence chain
// (Run), and is the one place that turns a step's absl::Status into the
// int results and report lines of its methods (report.h: standard error
// unless the maker gives another sink).
//
// Not thread-safe: the traditional-to-simplified converter is built on first
// use and the characters already reported as unreadable are remembered. One
// thread uses one instance at a time.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_INTERFACE_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_INTERFACE_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/front_conf.h"
#include "speech_neural_network/lexicon/id_table.h"
#include "speech_neural_network/lexicon/pronunciation.h"
#include "speech_neural_network/lexicon/segmenter.h"
#include "speech_neural_network/prosody/tone_sandhi.h"
#include "speech_neural_network/report.h"
#include "speech_neural_network/sentences.h"
#include "speech_neural_network/word_tag.h"

namespace speechnn {

class PolyphoneModel;
class TraditionalConverter;

// A word's syllables before the tone steps, and what decided each one:
// 'd' the word's dictionary entry, 'p' the dictionary's words inside it
// (the word has no entry), 'r' a rule (lexicon/polyphones.h), 'm' the model.
struct WordReading {
  std::vector<std::string> initials;
  std::vector<std::string> finals;
  std::string decided_by;
};

// What the chain produced for one sentence, for inspection.
struct SentenceTrace {
  std::string normalized;      // after the rewrite rules, UTF-8
  WordTagList tagged;          // segmenter output, made speakable
  WordTagList merged;          // after the merges before sandhi
  std::vector<int> phone_ids;  // this sentence's ids
  std::vector<int> tone_ids;   // separate-tone mode only
  // One per word of `merged` read (none for pauses and quotation marks).
  std::vector<WordReading> readings;
  // One per word of `merged`: how many of `phone_ids` it gave, in order (a
  // pause one, a quotation mark none), tone changes and erhua applied; so
  // the ids can be told apart by word.
  std::vector<std::size_t> word_phones;
};

// The outcome of Run beyond the ids.
struct FrontRun {
  bool ok = true;
  // The UTF-8 text of the sentence that failed, when one did.
  std::string failed_sentence;
  // Characters without a reading that were dropped, each the first time
  // this front end met it, in text order.
  std::vector<wchar_t> unreadable;
};

class FrontEngineInterface {
 public:
  // Stores `conf_path` and runs `Init` once; callers run `Init` again to
  // learn its result. Every report line, the configuration echo included,
  // goes to `report`.
  explicit FrontEngineInterface(std::string conf_path,
                                ReportSink report = StandardErrorReports());
  ~FrontEngineInterface();

  FrontEngineInterface(const FrontEngineInterface&) = delete;
  FrontEngineInterface& operator=(const FrontEngineInterface&) = delete;

  // Configuration and resources (front_interface.cc).
  int Init();
  int ReadFrontConf();
  int LoadDictFile(const std::string& path, StringMap& map);
  // The polyphone model named by the configuration, when there is one.
  int LoadPolyphoneModel();
  // The same lines into the word2phone table, read in one piece.
  int LoadDictFile(const std::string& path, WordPhoneTable& table);
  // The bytes of a table file, bounded; -1 (reported) when refused.
  int ReadDictText(const std::string& path, std::string& text);

  // The chain (front_pipeline.cc). Runs the sentences of an accepted text,
  // appending ids to `phone_ids`, stopping at the first failing sentence
  // (the reasons are reported). With `traces`, one entry per
  // sentence reached is appended.
  FrontRun Run(const std::wstring& text, std::vector<int>& phone_ids,
               std::vector<SentenceTrace>* traces);
  // Prepares one sentence in place and returns it as UTF-8: compatibility
  // forms folded (full-width ２０２３ reads like 2023), traditional
  // characters made simplified, digits between Latin letters read one by
  // one, the normalisation rules, then silent symbols (emoji ...) removed.
  std::string NormalizeToUtf8(std::wstring& sentence);
  // The simplified form of a sentence, through OpenCC (built on first use
  // from "opencc_t2s_config", else the Debian default). When that cannot be
  // loaded, reports it once and returns sentences unchanged.
  std::wstring ToSimplified(const std::wstring& sentence);

  // The steps, at their boundary (front_steps.cc): 0 or -1, with the
  // reasons reported.
  int MergeForSandhi(const WordTagList& tagged, WordTagList& merged);
  WordTagList MergeBu(const WordTagList& words);
  WordTagList MergeYi(const WordTagList& words);
  WordTagList MergeReduplication(const WordTagList& words);
  WordTagList MergeThreeTones(const WordTagList& words);
  WordTagList MergeThreeTones2(const WordTagList& words);
  WordTagList MergeEr(const WordTagList& words);
  // Appends one initial (possibly empty) and one final per character.
  int GetInitialsFinals(const std::string& word,
                        std::vector<std::string>& word_initials,
                        std::vector<std::string>& word_finals);
  // The finals alone; reports "Failed to get word finals" on failure.
  int GetFinals(const std::string& word, std::vector<std::string>& word_finals);
  int BuSandhi(const std::string& word, std::vector<std::string>& finals);
  int YiSandhi(const std::string& word, std::vector<std::string>& finals);
  int NeuralSandhi(const std::string& word, const std::string& tag,
                   std::vector<std::string>& finals);
  int ThreeSandhi(const std::string& word, std::vector<std::string>& finals);
  int SplitWord(const std::string& word, std::vector<std::string>& result);
  // With `readings`, one entry per word is appended (see SentenceTrace);
  // `word_phones` becomes one count per word of `words`.
  int GetWordsIds(const WordTagList& words, std::vector<int>& phone_ids,
                  std::vector<int>& tone_ids,
                  std::vector<WordReading>* readings = nullptr,
                  std::vector<std::size_t>* word_phones = nullptr);
  int ModifyTone(const std::string& word, const std::string& tag,
                 std::vector<std::string>& finals);
  void MergeErhua(const std::string& word, const std::string& tag,
                  std::vector<std::string>& word_initials,
                  std::vector<std::string>& word_finals);
  // The ids of numbered-tone pinyin syllables spoken as given (a kPinyin
  // speech part; front_syllables.cc): per syllable its initial's id (when
  // it has one) and its final's, as Run gives the same syllable read from
  // text, with no sandhi and no erhua beyond the syllable's own "r". No
  // pause is added: a pinyin part is spoken as one phrase, the pauses
  // around it are the text's. In separate-tone mode the tones go to
  // `tone_ids`, which must then be given. Fails, reporting nothing, on an
  // invalid syllable or one whose phones the phone table gives no id, with
  // the ids left as they were.
  [[nodiscard]] absl::Status PhonesOfSyllables(
      const std::vector<std::string>& syllables, std::vector<int>* phone_ids,
      std::vector<int>* tone_ids = nullptr) const;
  // Whether GetInitialsFinals can read `word`; reports nothing.
  bool HasReading(const std::string& word) const;

  bool is_initialized() const { return initialized_; }
  // Whether the loaded tables can serve a synthesis: none is empty, and
  // every phone that the pronunciations and the pause can produce has a
  // non-zero id (0 is what every unknown phone reads as). 0, or -1 with the
  // file and the phones it lacks reported. Run at start-up, after Init; the
  // small tables of tests that look at single steps need not pass it. The
  // pass over the pronunciations is skipped for tables that the record
  // beside word2phone vouches for (lexicon/checked_tables.h); `vouched`
  // false runs it always.
  int CheckTables(bool vouched = true);
  // The first reason the latest Init or CheckTables failed for (empty after
  // a success), for callers that log it.
  const std::string& init_error() const { return init_error_; }
  bool separate_tone() const { return conf_.separate_tone(); }
  // Null until `Init` has built it.
  const Segmenter* segmenter() const { return segmenter_.get(); }
  const Lexicon& lexicon() const { return lexicon_; }
  const IdTable& phone_ids() const { return phone_ids_; }
  const IdTable& tone_ids() const { return tone_ids_; }
  const std::string& word2phone_file() const { return conf_.word2phone_path; }
  bool has_polyphone_model() const { return polyphone_model_ != nullptr; }

 private:
  friend class FrontEngineInterfaceTestPeer;

  // ModifyTone's chain: the first failing step's reason.
  absl::Status ModifyToneOf(const SandhiWord& word, const std::string& tag,
                            std::vector<std::string>& finals) const;
  // A word's finals for the merges; empty (and reported) when unreadable.
  std::vector<std::string> FinalsForMerge(const std::string& word);
  WordSplitter Splitter() const;
  // Reports `reason` and keeps the first one for
  // init_error().
  void ReportInitFailure(const std::string& reason);

  std::string conf_path_;
  ReportSink report_;
  StringMap conf_entries_;
  FrontConf conf_;
  bool initialized_ = false;
  std::string init_error_;
  std::unique_ptr<Segmenter> segmenter_;
  Lexicon lexicon_;
  StringMap phone_id_text_;
  IdTable phone_ids_;
  IdTable tone_ids_;
  std::unique_ptr<TraditionalConverter> t2s_converter_;
  // Null: polyphones are read by the rules alone.
  std::unique_ptr<PolyphoneModel> polyphone_model_;
  // neutral_tone_words.dict beside word2phone; null: the built-in list.
  std::unique_ptr<WordList> neutral_words_;
  std::set<wchar_t> unreadable_met_;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_INTERFACE_H_
