// Compatibility forms, traditional characters, Latin letters and silent
// symbols: the tables and character classes behind the front end's handling
// of everyday mixed text.

#include "speech_neural_network/normalize/mixed_text.h"

#define PCRE2_CODE_UNIT_WIDTH 32
#include <opencc/opencc.h>
#include <pcre2.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "speech_neural_network/normalize/number_reading.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

// How a Mandarin listener hears the English names of the letters, written
// with characters whose single-character dictionary reading is that sound
// (誒 ei1, 比 bi3, 西 xi1 ...). Multi-character names (F, H, L, M, R, S, W,
// X) are read character by character. A is the traditional 誒 rather than
// 诶: both read ei1, but 诶 is also a sentence particle, which the tone
// rules would make neutral; spelling comes after the conversion to
// simplified characters, so 誒 stays as it is.
constexpr const char* kLetterNames[26] = {
    "誒",      // A
    "比",      // B
    "西",      // C
    "迪",      // D
    "伊",      // E
    "艾弗",    // F
    "吉",      // G
    "艾尺",    // H
    "艾",      // I
    "杰",      // J
    "开",      // K
    "艾勒",    // L
    "艾姆",    // M
    "恩",      // N
    "欧",      // O
    "批",      // P
    "丘",      // Q
    "阿尔",    // R
    "艾丝",    // S
    "提",      // T
    "优",      // U
    "维",      // V
    "达布溜",  // W
    "艾克斯",  // X
    "歪",      // Y
    "贼",      // Z
};

// Latin words that are not spelled but said as one word, keyed in lower
// case. To add one, add a row: the reading is Chinese characters whose
// dictionary readings make the intended sound.
const std::map<std::string, std::string>& WholeWords() {
  static const auto* const words = new std::map<std::string, std::string>{
      {"wifi", "歪飞"},    {"iphone", "爱疯"}, {"ipad", "爱派"},
      {"email", "伊妹儿"}, {"hello", "哈罗"},  {"bye", "拜"},
      {"cool", "酷"},      {"party", "派对"},  {"show", "秀"},
      {"okay", "欧开"},
  };
  return *words;
}

// The match data of this thread: the character classes are shared by every
// front end in the process, and each match writes its block.
pcre2_match_data* ThreadMatchData() {
  struct Block {
    Block() : data(pcre2_match_data_create(1, nullptr)) {
      if (data == nullptr) throw std::bad_alloc();
    }
    ~Block() { pcre2_match_data_free(data); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    pcre2_match_data* data;
  };
  thread_local Block block;
  return block.data;
}

// One compiled character class over UTF-32 code points, immutable once
// built, so that one may serve every thread.
class CharacterClass {
 public:
  explicit CharacterClass(const std::string& pattern) {
    const std::u32string source(pattern.begin(), pattern.end());
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.data()),
                          source.size(), PCRE2_UTF | PCRE2_UCP, &error, &offset,
                          nullptr);
    if (code_ == nullptr) std::abort();  // a fixed pattern: a build fault
  }
  ~CharacterClass() { pcre2_code_free(code_); }
  bool Contains(wchar_t ch) const {
    // wchar_t is signed on some machines and unsigned on others: compare
    // the code unit the matcher would see.
    const PCRE2_UCHAR unit = static_cast<PCRE2_UCHAR>(ch);
    if (unit > 0x10FFFF || (unit >= 0xD800 && unit <= 0xDFFF)) return false;
    return pcre2_match(code_, &unit, 1, 0, PCRE2_NO_UTF_CHECK,
                       ThreadMatchData(), nullptr) >= 0;
  }

 private:
  pcre2_code* code_ = nullptr;
};

}  // namespace

void FoldCompatibilityForms(std::wstring& text) {
  static const std::wstring kKeptMarks = L"，：；？！";
  for (wchar_t& ch : text) {
    if (ch >= 0xFF01 && ch <= 0xFF5E) {
      if (kKeptMarks.find(ch) == std::wstring::npos) ch -= 0xFEE0;
    } else if (ch == 0x3000) {
      ch = L' ';
    } else if (ch >= 0xFFE0 && ch <= 0xFFE6) {
      static constexpr wchar_t kSigns[] = {0x00A2, 0x00A3, 0x00AC, 0x00AF,
                                           0x00A6, 0x00A5, 0x20A9};
      ch = kSigns[ch - 0xFFE0];
    }
  }
}

bool IsLatinLetter(wchar_t ch) {
  return (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z');
}

const char* LatinLetterReading(wchar_t ch) {
  if (ch >= L'A' && ch <= L'Z') return kLetterNames[ch - L'A'];
  if (ch >= L'a' && ch <= L'z') return kLetterNames[ch - L'a'];
  return nullptr;
}

const char* WholeWordReading(const std::string& word) {
  std::string key = word;
  for (char& c : key) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const auto found = WholeWords().find(key);
  return found == WholeWords().end() ? nullptr : found->second.c_str();
}

// Arrows and geometric shapes, whatever their Unicode category (some are
// mathematical symbols), are drawn rather than said.
constexpr char kDrawnSymbols[] =
    "\\x{2190}-\\x{21FF}"   // arrows
    "\\x{25A0}-\\x{25FF}"   // geometric shapes
    "\\x{27F0}-\\x{27FF}"   // supplemental arrows A
    "\\x{2900}-\\x{297F}"   // supplemental arrows B
    "\\x{2B00}-\\x{2BFF}";  // miscellaneous symbols and arrows

bool IsSilentSymbol(wchar_t ch) {
  // Every character of a sentence is asked: answer for the common Chinese
  // characters at once.
  if (ch >= 0x4E00 && ch <= 0x9FFF) return false;
  static const CharacterClass* const kSymbols =
      new CharacterClass(std::string("^[\\p{So}\\p{Sk}\\p{Cc}\\p{Cf}\\p{M}") +
                         kDrawnSymbols + "]$");
  return kSymbols->Contains(ch);
}

bool IsSilentCharacter(wchar_t ch) {
  static const CharacterClass* const kSilent = new CharacterClass(
      std::string("^[\\p{P}\\p{So}\\p{Sk}\\p{Z}\\p{Cc}\\p{Cf}\\p{M}") +
      kDrawnSymbols + "]$");
  return kSilent->Contains(ch);
}

TraditionalConverter::TraditionalConverter(const std::string& config_path) {
  // OpenCC reports failure as the handle (opencc_t)-1.
  opencc_t handle = opencc_open(config_path.c_str());
  if (handle == reinterpret_cast<opencc_t>(-1)) {
    const char* why = opencc_error();
    error_ = why == nullptr ? "unknown error" : why;
    return;
  }
  handle_ = handle;
}

TraditionalConverter::~TraditionalConverter() {
  if (handle_ != nullptr) opencc_close(handle_);
}

std::string TraditionalConverter::Convert(const std::string& text) const {
  if (handle_ == nullptr) return text;
  // OpenCC returns a C string: text after a NUL byte would be lost, so each
  // piece between NUL bytes is converted on its own.
  std::string result;
  std::size_t start = 0;
  while (true) {
    const std::size_t nul = text.find('\0', start);
    const std::string piece = text.substr(start, nul - start);
    char* converted = opencc_convert_utf8(handle_, piece.data(), piece.size());
    if (converted == nullptr) {
      result += piece;
    } else {
      result += converted;
      opencc_convert_utf8_free(converted);
    }
    if (nul == std::string::npos) return result;
    result += '\0';
    start = nul + 1;
  }
}

void ReadDigitsBetweenLetters(std::wstring& sentence) {
  // Inside a run such as B2B or A12B the digits are part of a name, not a
  // quantity.
  SpellDigitRunsWhere(sentence, [](const std::wstring& text, std::size_t begin,
                                   std::size_t end) {
    return begin > 0 && IsLatinLetter(text[begin - 1]) && end < text.size() &&
           IsLatinLetter(text[end]);
  });
}

}  // namespace speechnn
