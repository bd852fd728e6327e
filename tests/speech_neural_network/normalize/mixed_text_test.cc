// Everyday mixed text without a dictionary: compatibility forms, the
// character classes, digits between letters.

#include "speech_neural_network/normalize/mixed_text.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

std::string Folded(const std::string& text) {
  std::wstring wide = utf8string2wstring(text);
  FoldCompatibilityForms(wide);
  return wstring2utf8string(wide);
}

TEST(FoldCompatibilityFormsTest, FullWidthFormsBecomeTheirPlainForms) {
  EXPECT_EQ(Folded("２０２３年"), "2023年");
  EXPECT_EQ(Folded("ＡＢＣｘｙｚ"), "ABCxyz");
  // The rules then see a decimal point, a slash and a hyphen.
  EXPECT_EQ(Folded("３．５和１／２和ｅ－ｍａｉｌ"), "3.5和1/2和e-mail");
  EXPECT_EQ(Folded("５０％～６０％"), "50%~60%");
  EXPECT_EQ(Folded("星期一　星期二"), "星期一 星期二");
  EXPECT_EQ(Folded("￥１９９"), "¥199");
  // The marks that already pause and end sentences stay full-width.
  EXPECT_EQ(Folded("好，是：对；吗？啊！"), "好，是：对；吗？啊！");
  // Everything else is left alone: Chinese, ASCII, circled digits.
  EXPECT_EQ(Folded("中文abc123①②"), "中文abc123①②");
}

TEST(SilentCharactersTest, SymbolsAreSilentButNotReadableCharacters) {
  // Emoji, their joiner and variation selector, dingbats, box drawing,
  // shapes, arrows, control and format characters, combining marks.
  for (const wchar_t ch : std::vector<wchar_t>{
           0x1F602, 0x1F44D, 0x200D, 0xFE0F, 0x2764, 0x2605, 0x2500, 0x25CF,
           0x2192, 0x0D, 0x09, 0xFEFF, 0x0301, 0x1F3FB}) {
    EXPECT_TRUE(IsSilentSymbol(ch)) << std::hex << ch;
    EXPECT_TRUE(IsSilentCharacter(ch)) << std::hex << ch;
  }
  // Punctuation and spaces are silent too, but reach the segmenter.
  for (const wchar_t ch : {L'(', L'@', L'「', L'《', L' ', L'·'}) {
    EXPECT_FALSE(IsSilentSymbol(ch)) << std::hex << ch;
    EXPECT_TRUE(IsSilentCharacter(ch)) << std::hex << ch;
  }
  // Letters, numbers, currency and mathematical signs might deserve a
  // reading: they are not silent.
  for (const wchar_t ch : std::vector<wchar_t>{
           L'中', L'a', L'α', L'Я', L'①', L'¥', L'$', L'+', L'=', L'2',
           0x10FFFF, 0x110000, WCHAR_MAX, static_cast<wchar_t>(0x80000000)}) {
    EXPECT_FALSE(IsSilentSymbol(ch)) << std::hex << ch;
    EXPECT_FALSE(IsSilentCharacter(ch)) << std::hex << ch;
  }
}

TEST(ReadDigitsBetweenLettersTest, DigitsBetweenLettersAreReadOneByOne) {
  const auto read = [](const std::string& text) {
    std::wstring wide = utf8string2wstring(text);
    ReadDigitsBetweenLetters(wide);
    return wstring2utf8string(wide);
  };
  EXPECT_EQ(read("B2B"), "B二B");
  EXPECT_EQ(read("A12B和H1N1"), "A一二B和H一N1");
  // Digits before or after a run are a quantity or a model number, left to
  // the number rules.
  EXPECT_EQ(read("5G和G20和买2个"), "5G和G20和买2个");
  EXPECT_EQ(read("3"), "3");
}

}  // namespace
}  // namespace speechnn
