#include "speech_neural_network/normalize/text_forms.h"

#include <memory>
#include <vector>

#include "speech_neural_network/normalize/mixed_text.h"
#include "speech_neural_network/normalize/number_reading.h"
#include "speech_neural_network/normalize/wide_regex.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

constexpr SymbolReading kSymbols[] = {
    {L'.', L"点"},     {L'/', L"斜杠"}, {L':', L"冒号"},   {L'@', L"艾特"},
    {L'_', L"下划线"}, {L'-', L"杠"},   {L'?', L"问号"},   {L'=', L"等于"},
    {L'&', L"和"},     {L'#', L"井号"}, {L'%', L"百分号"}, {L'~', L"波浪号"},
    {L'+', L"加"},
};

// How the digits of a form are read.
enum class Digits { kOneByOne, kByComponent };

struct Form {
  const char* name;
  const wchar_t* pattern;
  Digits digits;
};

constexpr wchar_t kTopDomains[] =
    L"com|cn|net|org|edu|gov|io|co|info|me|tv|cc|uk|jp|hk|tw|top|xyz|app|dev|"
    L"ai";

// In the order they are tried; each is read where it matches and the text
// it read is not searched again. A form starts only where a word starts
// (the look-behinds), so that a search stays linear on long runs of
// letters, digits and dots.
const std::vector<Form>& Forms() {
  static const auto* const forms = new std::vector<Form>{
      {"url", LR"((?:https?|ftp)://[A-Za-z0-9\-._~:/?#@!$&*+=%_]+)",
       Digits::kOneByOne},
      {"email",
       LR"((?<![A-Za-z0-9._%+\-])[A-Za-z0-9._%+\-]+@[A-Za-z0-9\-]+(?:\.[A-Za-z0-9\-]+)+)",
       Digits::kOneByOne},
      {"ip", LR"((?<![0-9.])\d{1,3}(?:\.\d{1,3}){3}(?::\d{1,5})?(?![0-9.]))",
       Digits::kOneByOne},
      // localhost:8080, example.com:3000: the colon before a port.
      {"host_port",
       LR"((?<![A-Za-z0-9.\-_])(?=[A-Za-z0-9.\-]*[A-Za-z])(?:localhost|[A-Za-z0-9\-]+(?:\.[A-Za-z0-9\-]+)+):\d{2,5}(?![0-9:]))",
       Digits::kOneByOne},
      {"version",
       LR"((?<![0-9.A-Za-z])(?:[vV]\d+(?:\.\d+)+|\d{1,2}(?:\.\d+){2,})(?![0-9.]))",
       Digits::kByComponent},
      {"file",
       LR"((?<![A-Za-z0-9_\-.])(?=[A-Za-z0-9_\-]*[A-Za-z_])[A-Za-z0-9_\-]+(?:\.[A-Za-z0-9_\-]+)*\.(?i:txt|pdf|docx?|xlsx?|pptx?|jpe?g|png|gif|bmp|svg|mp3|mp4|wav|avi|mov|zip|rar|7z|gz|tar|exe|apk|dmg|iso|py|cc|cpp|hpp|h|c|js|ts|java|go|rs|json|ya?ml|csv|html?|md|xml|ini|conf|log|sh|bat)(?![A-Za-z0-9]))",
       Digits::kOneByOne},
      // wifi_5G, user_01: a name joined by underscores, which are said.
      {"underscored_name",
       LR"((?<![A-Za-z0-9_])(?=[A-Za-z0-9_]*[A-Za-z])[A-Za-z0-9]+(?:_[A-Za-z0-9]+)+(?![A-Za-z0-9_]))",
       Digits::kOneByOne},
  };
  return *forms;
}

const WideRegex& DomainPattern() {
  static const auto* const regex = new WideRegex(
      std::wstring(LR"((?<![A-Za-z0-9.@])(?:[A-Za-z0-9\-]+\.)+(?:)") +
      kTopDomains + LR"()(?![A-Za-z0-9])(?:/[A-Za-z0-9\-._~/?#=&%]*)?)");
  return *regex;
}

const WideRegex& HyphenatedWord() {
  static const auto* const regex =
      new WideRegex(LR"((?<![A-Za-z])[A-Za-z]+-[A-Za-z]+(?![A-Za-z]))");
  return *regex;
}

const std::wstring_view* SymbolReadingOf(wchar_t c) {
  for (const SymbolReading& row : kSymbols) {
    if (row.symbol == c) return &row.reading;
  }
  return nullptr;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring ReadForm(std::wstring_view text, Digits digits) {
  std::wstring reading;
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsDigit(text[i])) {
      std::size_t end = i;
      while (end < text.size() && IsDigit(text[end])) ++end;
      const std::wstring_view run = text.substr(i, end - i);
      reading += digits == Digits::kByComponent ? ReadInteger(run, false, true)
                                                : ReadDigits(run, false);
      i = end;
      continue;
    }
    const std::wstring_view* said = SymbolReadingOf(text[i]);
    if (said != nullptr) {
      reading += *said;
    } else {
      reading += text[i];
    }
    ++i;
  }
  return reading;
}

// Replaces each match of `regex`, left to right, by `read(match text)`; a
// replacement is not searched again.
template <typename Read>
void ReplaceEach(const WideRegex& regex, std::wstring& sentence, Read read) {
  std::wstring out;
  std::size_t from = 0;
  WideMatch match;
  while (from < sentence.size() && regex.Search(sentence, from, match)) {
    out.append(sentence, from, match.position(0) - from);
    out += read(match.str(0));
    from = match.position(0) + match.length(0);
    if (match.length(0) == 0) {
      if (from < sentence.size()) out += sentence[from];
      ++from;
    }
  }
  if (from == 0) return;
  if (from < sentence.size()) out.append(sentence, from, std::wstring::npos);
  sentence.swap(out);
}

bool MayHoldForm(const std::wstring& sentence) {
  return sentence.find_first_of(L".@/-_:") != std::wstring::npos;
}

}  // namespace

absl::Span<const SymbolReading> AddressSymbols() { return kSymbols; }

void ReadTextForms(std::wstring& sentence) {
  if (!MayHoldForm(sentence)) return;
  static const auto* const compiled = [] {
    auto* regexes = new std::vector<std::unique_ptr<WideRegex>>;
    for (const Form& form : Forms()) {
      regexes->push_back(std::make_unique<WideRegex>(form.pattern));
    }
    return regexes;
  }();
  for (std::size_t i = 0; i < Forms().size(); ++i) {
    const Digits digits = Forms()[i].digits;
    ReplaceEach(*(*compiled)[i], sentence, [digits](const std::wstring& text) {
      return ReadForm(text, digits);
    });
  }
  ReplaceEach(DomainPattern(), sentence, [](const std::wstring& text) {
    return ReadForm(text, Digits::kOneByOne);
  });
  ReplaceEach(HyphenatedWord(), sentence, [](const std::wstring& text) {
    std::wstring joined = text;
    joined.erase(joined.find(L'-'), 1);
    return WholeWordReading(wstring2utf8string(joined)) != nullptr ? joined
                                                                   : text;
  });
}

}  // namespace speechnn
