// FrontProcess: one text to phone ids, with the tool's log records.

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "common/log_text.h"
#include "speech_neural_network/sentences.h"
#include "speech_neural_network/utf8_conversion.h"
#include "tool/engine_parts.h"
#include "tool/logger.h"

namespace tolvaren {
bool FrontProcess(EngineParts& parts, const std::string& text,
                  std::vector<int>& phone_ids, const FrontRequest& request) {
  const auto fail = [&request](std::string reason) {
    if (request.failure != nullptr) *request.failure = std::move(reason);
    return false;
  };
  LOG_INFO("front process receive {}", EscapeForLog(text));
  std::size_t invalid_offset = 0;
  speechnn::TextCheck check = speechnn::CheckText(text, invalid_offset);
  if (check == speechnn::TextCheck::kRefused &&
      !request.refuse_name_characters) {
    // The refusal is checked first; such a text still has to be UTF-8.
    invalid_offset = speechnn::FindInvalidUtf8(text);
    check = invalid_offset == std::string::npos
                ? speechnn::TextCheck::kAccepted
                : speechnn::TextCheck::kInvalidUtf8;
  }
  switch (check) {
    case speechnn::TextCheck::kRefused:
      // Refused texts are logged at ERROR: with the level at warning the
      // record is the only word on why no file appeared.
      LOG_ERROR("text contains special characters {}", EscapeForLog(text));
      return fail("text contains special characters (/\\<>.)");
    case speechnn::TextCheck::kInvalidUtf8:
      // Text that is not UTF-8 cannot be spoken; it fails this text only.
      LOG_ERROR("invalid UTF-8 at byte offset {}", invalid_offset);
      return fail("invalid UTF-8 at byte offset " +
                  std::to_string(invalid_offset));
    case speechnn::TextCheck::kAccepted:
      break;
  }
  const std::wstring wide_text = speechnn::utf8string2wstring(text);
  if (parts.front == nullptr) {
    LOG_ERROR("front_inst is nullptr {}", EscapeForLog(text));
    return fail("no text front end");
  }
  const speechnn::FrontRun run =
      parts.front->Run(wide_text, phone_ids, request.traces);
  // What the front end dropped is logged once per character it met.
  for (const wchar_t ch : run.unreadable) {
    LOG_INFO("no reading for character U+{:04X}, dropped",
             static_cast<std::uint32_t>(ch));
  }
  if (!run.ok) {
    LOG_ERROR("TTS inst get sentence phoneids and toneids failed");
    return fail("the front end failed on the sentence \"" +
                run.failed_sentence + "\"");
  }
  CollapsePauseRuns(phone_ids, parts.pause_id);
  return true;
}

void CollapsePauseRuns(std::vector<int>& phone_ids, int64_t pause_id) {
  // Each pause mark is a pause of the front end's; a run of them ("，，，",
  // "？！", a sentence ending where the next begins with a mark) is spoken
  // as one, so that silence does not grow with the marks: a text of commas
  // would otherwise ask the models for minutes of it.
  if (pause_id < 0) return;
  const auto is_pause = [pause_id](int id) { return id == pause_id; };
  const auto end =
      std::unique(phone_ids.begin(), phone_ids.end(),
                  [&](int a, int b) { return is_pause(a) && is_pause(b); });
  phone_ids.erase(end, phone_ids.end());
}

}  // namespace tolvaren
