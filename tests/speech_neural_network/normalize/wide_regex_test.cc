// WideRegex against std::wregex as the ECMAScript reference, over the rule
// patterns exactly as the rules use them.

#include "speech_neural_network/normalize/wide_regex.h"

#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "speech_neural_network/normalize/everyday_rules.h"
#include "speech_neural_network/normalize/normalization_rules.h"
#include "speech_neural_network/utf8_conversion.h"

// The reference engine. With the sanitizers on, GCC 12 reports a false
// -Wmaybe-uninitialized inside libstdc++'s <regex>.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop

namespace speechnn {
namespace {

// Short random sentences over the characters the patterns care about, with
// plenty of digits so that matches are common.
std::wstring RandomSentence(std::mt19937& random) {
  static const std::wstring kSymbols =
      L"-~.:/%+ 年月日号度摄氏°C℃多余几个元千万百亿分克米公块美和x"
      L"¥$US,kgmh²=×<(0)pa比分获胜第共拨打后级室厅";
  std::uniform_int_distribution<int> length(0, 20);
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<std::size_t> symbol(0, kSymbols.size() - 1);
  std::wstring sentence;
  const int n = length(random);
  for (int i = 0; i < n; ++i) {
    if (kind(random) < 6) {
      sentence.push_back(static_cast<wchar_t>(L'0' + digit(random)));
    } else {
      sentence.push_back(kSymbols[symbol(random)]);
    }
  }
  return sentence;
}

// The rows of both rule tables.
std::vector<NormalizationRule> AllRules() {
  std::vector<NormalizationRule> rules(NormalizationRules().begin(),
                                       NormalizationRules().end());
  rules.insert(rules.end(), EverydayRules().begin(), EverydayRules().end());
  return rules;
}

std::vector<std::wstring> Groups(const WideMatch& match) {
  std::vector<std::wstring> groups;
  for (std::size_t i = 0; i < match.size(); ++i) {
    groups.push_back(match.matched(i) ? match.str(i) : L"<unset>");
  }
  return groups;
}

std::vector<std::wstring> Groups(const std::wsmatch& match) {
  std::vector<std::wstring> groups;
  for (std::size_t i = 0; i < match.size(); ++i) {
    groups.push_back(match[i].matched ? match.str(i) : L"<unset>");
  }
  return groups;
}

// A replacement that keeps the groups' symbols (so that it can be matched
// again around its edges) and turns digits into characters no pattern uses.
std::wstring Disguise(const std::vector<std::wstring>& groups) {
  std::wstring out;
  for (std::size_t i = 1; i < groups.size(); ++i) {
    for (const wchar_t c : groups[i]) {
      out.push_back(c >= L'0' && c <= L'9'
                        ? static_cast<wchar_t>(L'〇' + (c - L'0'))
                        : c);
    }
  }
  return out.empty() ? L"〇" : out;
}

TEST(WideRegexTest, SearchAgreesWithEcmaScript) {
  std::mt19937 random(5);
  for (const NormalizationRule& p : AllRules()) {
    const std::wregex reference(std::wstring(p.pattern),
                                std::regex::ECMAScript);
    const WideRegex plain(p.pattern);
    const WideRegex guarded(p.pattern, p.starts);
    for (int round = 0; round < 3000; ++round) {
      const std::wstring sentence = RandomSentence(random);
      std::wsmatch expected;
      const bool found = std::regex_search(sentence, expected, reference);
      for (const WideRegex* regex : {&plain, &guarded}) {
        WideMatch match;
        ASSERT_EQ(regex->Search(sentence, match), found)
            << wstring2utf8string(std::wstring(p.pattern)) << " on "
            << wstring2utf8string(sentence);
        if (!found) continue;
        ASSERT_EQ(match.position(0),
                  static_cast<std::size_t>(expected.position(0)))
            << wstring2utf8string(sentence);
        ASSERT_EQ(Groups(match), Groups(expected))
            << wstring2utf8string(std::wstring(p.pattern)) << " on "
            << wstring2utf8string(sentence);
      }
    }
  }
}

TEST(WideRegexTest, ReplaceAllAgreesWithRestartingSearch) {
  std::mt19937 random(7);
  for (const NormalizationRule& p : AllRules()) {
    const std::wregex reference(std::wstring(p.pattern),
                                std::regex::ECMAScript);
    const WideRegex regex(p.pattern, p.starts);
    const std::size_t target = p.target_group;
    for (int round = 0; round < 2000; ++round) {
      const std::wstring original = RandomSentence(random);
      std::wstring expected = original;
      std::wsmatch found;
      while (std::regex_search(expected, found, reference)) {
        expected.replace(found.position(target), found.length(target),
                         Disguise(Groups(found)));
      }
      std::wstring actual = original;
      regex.ReplaceAll(actual, target, [](const WideMatch& match) {
        return Disguise(Groups(match));
      });
      ASSERT_EQ(wstring2utf8string(actual), wstring2utf8string(expected))
          << wstring2utf8string(std::wstring(p.pattern)) << " on "
          << wstring2utf8string(original);
    }
  }
}

TEST(WideRegexTest, MatchDetails) {
  const WideRegex regex(LR"((\d+)(x)?(y)?)");
  WideMatch match;
  ASSERT_TRUE(regex.Search(L"ab12y", match));
  EXPECT_EQ(match.size(), 4u);
  EXPECT_EQ(match.position(0), 2u);
  EXPECT_EQ(match.str(0), L"12y");
  EXPECT_FALSE(match.matched(2));
  EXPECT_EQ(match.position(2), WideMatch::npos);
  EXPECT_EQ(match.length(2), 0u);
  EXPECT_EQ(match.str(2), L"");
  EXPECT_EQ(match.str(3), L"y");
  EXPECT_FALSE(regex.Search(L"", match));
  EXPECT_FALSE(regex.Search(L"abc", match));
  EXPECT_THROW(WideRegex(L"(unclosed"), std::invalid_argument);
}

TEST(WideRegexTest, FailingReplacementKeepsTextRewrittenSoFar) {
  const WideRegex regex(LR"(\d+)");
  std::wstring text = L"a1b22c3";
  int calls = 0;
  EXPECT_THROW(regex.ReplaceAll(text, 0,
                                [&calls](const WideMatch&) -> std::wstring {
                                  if (++calls == 2) {
                                    throw std::runtime_error("no reading");
                                  }
                                  return L"一";
                                }),
               std::runtime_error);
  EXPECT_EQ(text, L"a一b22c3");
}

TEST(WideRegexTest, LongInputsStayLinear) {
  // Without the digit-run guard each of these takes quadratic time: every
  // start inside the run reads to its end before failing.
  const std::wstring digits(200000, L'7');
  WideMatch match;
  const WideRegex fraction(LR"((-?)(\d+)/(\d+))",
                           WideRegex::Starts::kDigitRunStartOnly);
  EXPECT_FALSE(fraction.Search(digits, match));
  ASSERT_TRUE(fraction.Search(digits + L"/2", match));
  EXPECT_EQ(match.position(0), 0u);
  EXPECT_EQ(match.length(2), digits.size());
}

}  // namespace
}  // namespace speechnn
