// The text front end: turns one sentence into phone ids.
//
// `FrontEngineInterface` owns everything the front end needs (configuration,
// segmenter, pronunciation dictionary, id tables and the fixed word lists).
// Its operations are implemented in one file per responsibility:
//   front_interface.cc      construction, Init, configuration, resource files
//   word_lists.cc           the fixed punctuation and word lists
//   number_reading.cc       digits, integers and decimals read as Chinese
//   normalization_rules.cc  the fourteen rewrite rules over wide sentences
//   word_merges.cc          MergeForSandhi and its six merges
//   initials_finals.cc      GetInitialsFinals (grapheme to phoneme)
//   tone_sandhi.cc          BuSandhi, YiSandhi, NeuralSandhi, ThreeSandhi
//   phone_ids.cc            GetWordsIds, ModifyTone, MergeErhua
//   mixed_text.cc           traditional characters, Latin letters, symbols
//
// Not thread-safe: lookups insert into the tables, and number reading writes
// the digit map. One thread uses one instance at a time.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_INTERFACE_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_INTERFACE_H_

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace cppjieba {
class Jieba;
}  // namespace cppjieba

namespace speechnn {

class TraditionalConverter;

// (word, part-of-speech tag), both UTF-8, in text order.
using WordTag = std::pair<std::string, std::string>;
using WordTagList = std::vector<WordTag>;
using StringMap = std::map<std::string, std::string>;

class FrontEngineInterface {
 public:
  // Fills the number maps, stores `conf_path` and runs `Init` once, ignoring
  // its result (callers run `Init` again to learn it).
  explicit FrontEngineInterface(std::string conf_path);
  ~FrontEngineInterface();

  FrontEngineInterface(const FrontEngineInterface&) = delete;
  FrontEngineInterface& operator=(const FrontEngineInterface&) = delete;

  // Configuration and resources (front_interface.cc).
  int Init();
  int ReadFrontConf();
  int LoadDictFile(const std::string& path, StringMap& map);

  // Number reading (number_reading.cc). All return UTF-8.
  std::string ReadDigits(const std::string& digits, bool use_yao);
  std::string ReadPositional(const std::string& num, bool say_zero);
  std::string ReadInteger(const std::string& num, bool use_yao, bool say_zero);
  std::string ReadNumber(const std::string& text);
  std::string ReadNumberW(const std::wstring& text);
  std::string ReadIntegerW(const std::wstring& text, bool say_zero);

  // Text normalisation rules (normalization_rules.cc), each rewriting the
  // wide sentence in place. `NormalizeSentence` runs all fourteen in order.
  void NormalizeSentence(std::wstring& sentence);
  void ReplaceChineseDate(std::wstring& sentence);
  void ReplaceNumericDate(std::wstring& sentence);
  void ReplaceClockTime(std::wstring& sentence);
  void ReplaceTemperature(std::wstring& sentence);
  void ReplaceFraction(std::wstring& sentence);
  void ReplacePercent(std::wstring& sentence);
  void ReplaceMobilePhone(std::wstring& sentence);
  void ReplaceTelephone(std::wstring& sentence);
  void ReplaceRange(std::wstring& sentence);
  void ReplaceNegative(std::wstring& sentence);
  void ReplaceDecimal(std::wstring& sentence);
  void ReplaceMeasureWord(std::wstring& sentence);
  void ReplaceDigitString(std::wstring& sentence);
  void ReplaceNumber(std::wstring& sentence);

  // Word merges before sandhi (word_merges.cc).
  int MergeForSandhi(const WordTagList& tagged, WordTagList& merged);
  WordTagList MergeBu(const WordTagList& words);
  WordTagList MergeYi(const WordTagList& words);
  WordTagList MergeReduplication(const WordTagList& words);
  WordTagList MergeThreeTones(const WordTagList& words);
  WordTagList MergeThreeTones2(const WordTagList& words);
  WordTagList MergeEr(const WordTagList& words);

  // Grapheme to phoneme (initials_finals.cc). Appends one initial (possibly
  // empty) and one final per character; non-zero when that cannot be done.
  int GetInitialsFinals(const std::string& word,
                        std::vector<std::string>& word_initials,
                        std::vector<std::string>& word_finals);
  // The finals alone; reports "Failed to get word finals" on failure.
  int GetFinals(const std::string& word, std::vector<std::string>& word_finals);

  // Tone sandhi (tone_sandhi.cc): rewrite tone digits of `finals` in place.
  int BuSandhi(const std::string& word, std::vector<std::string>& finals);
  int YiSandhi(const std::string& word, std::vector<std::string>& finals);
  int NeuralSandhi(const std::string& word, const std::string& tag,
                   std::vector<std::string>& finals);
  int ThreeSandhi(const std::string& word, std::vector<std::string>& finals);
  int SplitWord(const std::string& word, std::vector<std::string>& result);

  // Phone and tone ids (phone_ids.cc).
  int GetWordsIds(const WordTagList& words, std::vector<int>& phone_ids,
                  std::vector<int>& tone_ids);
  int ModifyTone(const std::string& word, const std::string& tag,
                 std::vector<std::string>& finals);
  void MergeErhua(const std::string& word, const std::string& tag,
                  std::vector<std::string>& word_initials,
                  std::vector<std::string>& word_finals);

  // Everyday mixed text (mixed_text.cc).
  // The simplified form of a sentence, through OpenCC's traditional to
  // simplified conversion (built on first use from the front configuration's
  // "opencc_t2s_config", else the Debian default). When that configuration
  // cannot be loaded, says so once on standard error and returns sentences
  // unchanged.
  std::wstring ToSimplified(const std::wstring& sentence);
  // Reads digits that stand between two Latin letters (B2B, A12B) digit by
  // digit, before the number rules could read them as a quantity.
  void ReadDigitsBetweenLetters(std::wstring& sentence);
  // Removes the symbols that are never spoken (IsSilentSymbol: emoji,
  // dingbats, control characters ...) and have no reading, before the
  // segmenter could glue them to a neighbouring word. ASCII stays.
  void DropSilentSymbols(std::wstring& sentence);
  // Makes every word of a tagged sentence speakable. Words with a reading,
  // pauses and quotation marks stay as they are. In any other word, Latin
  // words get their whole-word reading or are spelled (each letter a word
  // of its own), characters with a reading are kept, silent symbols are
  // dropped, and any other character is dropped too; such a character is
  // appended to `first_unreadable` the first time this front end meets it.
  void MakeWordsSpeakable(WordTagList& words,
                          std::vector<wchar_t>& first_unreadable);
  // Whether GetInitialsFinals can read `word` (initials_finals.cc); reports
  // nothing.
  bool HasReading(const std::string& word);

  // The segmenter; null until `Init` has built it.
  cppjieba::Jieba* jieba_segmenter() const { return jieba.get(); }
  bool is_initialized() const { return initialized; }
  bool separate_tone() const { return seperate_tone == "true"; }
  // The id tables as loaded (plus any empty entries that lookups added).
  const StringMap& phone_id_table() const { return phone2id_dict; }
  const StringMap& tone_id_table() const { return tone2id_dict; }
  const std::string& word2phone_file() const { return word2phone_path; }

 private:
  friend class FrontEngineInterfaceTestPeer;

  // Pronunciations of words missing from word2phone (initials_finals.cc):
  // from the segmenter's full cut, and from a cut that tiles the word, read
  // piece by piece or character by character.
  std::string FullCutPronunciation(const std::string& word);
  std::string PiecewisePronunciation(const std::string& word);

  // Fixed lists (word_lists.cc).
  void FillPausePunctuation();
  void FillQuoteMarks();
  void FillErhuaKeepWords();
  void FillErhuaSkipWords();
  void FillZiSuffixWords();
  void FillNeutralToneWords();
  // Number maps (number_reading.cc).
  void FillNumberMaps();

  std::map<std::string, std::string> digit_map;
  std::map<int, std::string> unit_map;
  bool initialized = false;
  std::unique_ptr<cppjieba::Jieba> jieba;
  std::vector<std::string> pause_punctuation;
  std::vector<std::string> quote_marks;
  std::string conf_path;
  StringMap conf_map;
  StringMap word2phone_dict;
  StringMap phone2id_dict;
  StringMap tone2id_dict;
  std::string jieba_dict_path;
  std::string jieba_hmm_path;
  std::string jieba_user_dict_path;
  std::string jieba_idf_path;
  std::string jieba_stop_word_path;
  std::string seperate_tone;
  std::string word2phone_path;
  std::string phone2id_path;
  std::string tone2id_path;
  std::vector<std::string> erhua_keep_words;
  std::vector<std::string> erhua_skip_words;
  std::vector<std::string> zi_suffix_words;
  std::vector<std::string> neutral_tone_words;
  std::unique_ptr<TraditionalConverter> t2s_converter;
  std::set<wchar_t> unreadable_reported;
};

// True when `word` is an exact entry of `list`.
bool ListContains(const std::vector<std::string>& list,
                  const std::string& word);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_FRONT_INTERFACE_H_
