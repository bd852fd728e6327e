// Everyday text that the pronunciation dictionary does not cover on its own:
// full-width and other compatibility forms, traditional characters, Latin
// letters, and symbols that have no sound.
//
// The tables of spoken Latin letters and whole-word readings live in
// mixed_text.cc, in one place.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_MIXED_TEXT_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_MIXED_TEXT_H_

#include <string>

namespace speechnn {

// The configuration file of OpenCC's traditional-to-simplified conversion
// that the Debian package installs; the front configuration key
// "opencc_t2s_config" names another.
inline constexpr char kDefaultT2sConfig[] = "/usr/share/opencc/t2s.json";

// Rewrites compatibility forms to the plain characters the rest of the front
// end knows: full-width ASCII (U+FF01-U+FF5E) to ASCII, the ideographic
// space to a space, and the full-width signs U+FFE0-U+FFE6 (￠￡￢￣￤￥￦) to
// their ordinary forms. The full-width ，：；？！ are left alone: they are the
// pause and sentence marks the dictionary-covered text already uses.
void FoldCompatibilityForms(std::wstring& text);

// Reads digits that stand between two Latin letters (B2B, A12B) digit by
// digit, before the number rules could read them as a quantity.
void ReadDigitsBetweenLetters(std::wstring& sentence);

// True for an ASCII Latin letter.
bool IsLatinLetter(wchar_t ch);

// The Chinese characters that speak the English name of an ASCII letter
// (either case), e.g. "比" for B; null for anything else.
const char* LatinLetterReading(wchar_t ch);

// The Chinese characters that speak a whole Latin word (matched without
// regard to case), e.g. "歪飞" for WiFi; null when the word has no
// whole-word reading and is spelled letter by letter.
const char* WholeWordReading(const std::string& word);

// True for an emoji, dingbat, box-drawing or other symbol, a modifier
// symbol, a control or format character (the CR of a CR LF line, the joiner
// inside an emoji sequence) or a combining mark: never spoken.
bool IsSilentSymbol(wchar_t ch);

// True for a character that is never spoken and is dropped without notice:
// punctuation, other and modifier symbols (emoji, dingbats, box drawing,
// arrows, shapes), separators, control and format characters, combining
// marks.
bool IsSilentCharacter(wchar_t ch);

// OpenCC's traditional-to-simplified converter, built once from its
// configuration file.
class TraditionalConverter {
 public:
  // Check ok() (and error()) afterwards: a missing or broken configuration
  // leaves a converter that changes nothing.
  explicit TraditionalConverter(const std::string& config_path);
  ~TraditionalConverter();
  TraditionalConverter(const TraditionalConverter&) = delete;
  TraditionalConverter& operator=(const TraditionalConverter&) = delete;

  bool ok() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  // The simplified form of UTF-8 text; the text itself when not ok().
  std::string Convert(const std::string& text) const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_MIXED_TEXT_H_
