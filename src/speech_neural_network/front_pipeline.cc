// FrontEngineInterface's chain for one text: sentences, normalisation,
// segmentation, merges and ids, shared by the synthesis driver and the
// inspection tool so that both run the same code.

#include <utility>

#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/lexicon/speakable.h"
#include "speech_neural_network/normalize/mixed_text.h"
#include "speech_neural_network/normalize/normalization_rules.h"
#include "speech_neural_network/report.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {

std::string FrontEngineInterface::NormalizeToUtf8(std::wstring& sentence) {
  FoldCompatibilityForms(sentence);
  sentence = ToSimplified(sentence);
  ReadDigitsBetweenLetters(sentence);
  NormalizeSentence(sentence);
  // After the rules, which read symbols such as ℃ and ° after a number.
  DropSilentSymbols(lexicon_, sentence);
  return wstring2utf8string(sentence);
}

FrontRun FrontEngineInterface::Run(const std::wstring& text,
                                   std::vector<int>& phone_ids,
                                   std::vector<SentenceTrace>* traces) {
  FrontRun run;
  std::vector<std::wstring> sentences;
  SplitSentences(text, sentences);
  // Tone ids never leave the front end; they live for the whole text.
  std::vector<int> tone_ids;
  for (std::wstring& sentence : sentences) {
    SentenceTrace trace;
    trace.normalized = NormalizeToUtf8(sentence);
    trace.tagged = segmenter_->Tag(trace.normalized);
    // Letters are spelled and what cannot be read is dropped, so that one
    // unknown word no longer silences the whole text. Each such character
    // is handed back once per front end.
    MakeWordsSpeakable(lexicon_, trace.tagged, unreadable_met_, run.unreadable);
    const std::size_t phones_before = phone_ids.size();
    const std::size_t tones_before = tone_ids.size();
    MergeForSandhi(trace.tagged, trace.merged);
    const bool failed =
        GetWordsIds(trace.merged, phone_ids, tone_ids,
                    traces != nullptr ? &trace.readings : nullptr,
                    traces != nullptr ? &trace.word_phones : nullptr) != 0;
    if (failed) ReportLine(report_, "Get words phoneids failed");
    if (traces != nullptr) {
      trace.phone_ids.assign(phone_ids.begin() + phones_before,
                             phone_ids.end());
      trace.tone_ids.assign(tone_ids.begin() + tones_before, tone_ids.end());
      traces->push_back(std::move(trace));
    }
    if (failed) {
      run.ok = false;
      run.failed_sentence = wstring2utf8string(sentence);
      return run;
    }
  }
  return run;
}

}  // namespace speechnn
