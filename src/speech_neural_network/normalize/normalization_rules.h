// The rewrite rules that spell out numbers and symbols before a sentence is
// segmented, as one table. Each rule rewrites every match of its
// pattern, leftmost first, until none is left; the order of the rows decides
// how an ambiguous string is read (2023-01-05 is a date before it can be a
// range). A new rule is one new row in normalization_rules.cc.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NORMALIZATION_RULES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NORMALIZATION_RULES_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "absl/types/span.h"
#include "speech_neural_network/normalize/wide_regex.h"

namespace speechnn {

struct NormalizationRule {
  // Says what the rule reads; tests and traces name rules by it.
  std::string_view name;
  std::wstring_view pattern;
  WideRegex::Starts starts;
  // The group whose span the reading replaces (0: the whole match).
  std::size_t target_group;
  // The reading of one match.
  std::wstring (*reader)(const WideMatch& match);
  // Characters of which a match holds at least one: a sentence with none
  // of them is not searched. Empty: every sentence is.
  std::wstring_view needs = {};
};

// All rules, in the order they run.
absl::Span<const NormalizationRule> NormalizationRules();

// Rewrites `sentence` with one rule, a row of NormalizationRules() or of
// EverydayRules() (its pattern is compiled once).
void ApplyRule(const NormalizationRule& rule, std::wstring& sentence);

// Reads a sentence out: addresses and versions (text_forms.h), then, when
// it has digits, the everyday forms (everyday_rules.h), numbers with
// thousands separators and the numbers of names (number_shapes.h), then the
// signs of sums (expressions.h), then all rules in order.
void NormalizeSentence(std::wstring& sentence);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_NORMALIZATION_RULES_H_
