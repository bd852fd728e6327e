#include "tool/front_pipeline.h"

#include <cstdint>
#include <iostream>

#include "cppjieba/Jieba.hpp"
#include "speech_neural_network/mixed_text.h"
#include "speech_neural_network/utf8_conversion.h"
#include "tool/logger.h"

namespace tolvaren {
namespace {

constexpr char kLogSource[] = "./src/tool/front_pipeline";

constexpr wchar_t kSentenceEndMarks[] = L"：，；。？！,;?!";

void Report(const std::string& line) { std::cerr << line << std::endl; }

}  // namespace

void SplitSentences(const std::wstring& text,
                    std::vector<std::wstring>& sentences) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t mark = text.find_first_of(kSentenceEndMarks, start);
    if (mark == std::wstring::npos) {
      sentences.push_back(text.substr(start));
      return;
    }
    sentences.push_back(text.substr(start, mark + 1 - start));
    start = mark + 1;
  }
}

TextCheck CheckText(const std::string& text, std::size_t& invalid_offset) {
  if (text.find_first_of(kRefusedCharacters) != std::string::npos) {
    return TextCheck::kRefused;
  }
  invalid_offset = speechnn::FindInvalidUtf8(text);
  if (invalid_offset != std::string::npos) return TextCheck::kInvalidUtf8;
  return TextCheck::kAccepted;
}

std::string NormalizeToUtf8(speechnn::FrontEngineInterface& front,
                            std::wstring& sentence) {
  speechnn::FoldCompatibilityForms(sentence);
  sentence = front.ToSimplified(sentence);
  front.ReadDigitsBetweenLetters(sentence);
  front.NormalizeSentence(sentence);
  // After the rules, which read symbols such as ℃ and ° after a number.
  front.DropSilentSymbols(sentence);
  return speechnn::wstring2utf8string(sentence);
}

bool RunFrontEnd(speechnn::FrontEngineInterface& front,
                 const std::wstring& text, std::vector<int>& phone_ids,
                 std::vector<SentenceTrace>* traces,
                 std::string* failed_sentence) {
  std::vector<std::wstring> sentences;
  SplitSentences(text, sentences);
  // Tone ids never leave the front end; they live for the whole text.
  std::vector<int> tone_ids;
  for (std::wstring& sentence : sentences) {
    SentenceTrace trace;
    trace.normalized = NormalizeToUtf8(front, sentence);
    front.jieba_segmenter()->Tag(trace.normalized, trace.tagged);
    // Letters are spelled and what cannot be read is dropped, so that one
    // unknown word no longer silences the whole text. The front end
    // remembers what it has met, so each such character is logged once.
    std::vector<wchar_t> unreadable;
    front.MakeWordsSpeakable(trace.tagged, unreadable);
    for (const wchar_t ch : unreadable) {
      LOG_INFO("no reading for character U+{:04X}, dropped",
               static_cast<std::uint32_t>(ch));
    }
    const std::size_t phones_before = phone_ids.size();
    const std::size_t tones_before = tone_ids.size();
    bool failed = false;
    if (front.MergeForSandhi(trace.tagged, trace.merged) != 0) {
      Report("Failed to modify  for word segmentation result.");
      Report("Cut sentence: \"" + trace.normalized + "\" failed");
      failed = true;
    } else if (front.GetWordsIds(trace.merged, phone_ids, tone_ids) != 0) {
      Report("Get words phoneids failed");
      failed = true;
    }
    if (traces != nullptr) {
      trace.phone_ids.assign(phone_ids.begin() + phones_before,
                             phone_ids.end());
      trace.tone_ids.assign(tone_ids.begin() + tones_before, tone_ids.end());
      traces->push_back(std::move(trace));
    }
    if (failed) {
      if (failed_sentence != nullptr) {
        *failed_sentence = speechnn::wstring2utf8string(sentence);
      }
      return false;
    }
  }
  return true;
}

}  // namespace tolvaren
