// The rows that read everyday written forms before the number rules see
// them: money (¥1,280, USD 30), units (180cm, 60km/h), telephone numbers
// written in groups (139-1234-5678), year spans, sums and comparisons, match
// scores, times with a.m./p.m. or as a span, and dates written with "/".
// They run before thousands separators are read, so each reads its own
// numbers, commas included. Same shape as the number rules: a new form is a
// new row.

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EVERYDAY_RULES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EVERYDAY_RULES_H_

#include <string>

#include "absl/types/span.h"
#include "speech_neural_network/normalize/normalization_rules.h"

namespace speechnn {

// All rows, in the order they run.
absl::Span<const NormalizationRule> EverydayRules();

// Runs every row on `sentence`, in order.
void ReadEverydayForms(std::wstring& sentence);

// A full-width colon between two digits (22：15) is the colon of a time or
// a score, written with the wrong width: it becomes ":".
void FoldColonsBetweenDigits(std::wstring& sentence);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_NORMALIZE_EVERYDAY_RULES_H_
