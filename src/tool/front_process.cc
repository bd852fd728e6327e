// Tool::frontProcess: one text to phone ids, with the tool's log records.

#include "speech_neural_network/utf8_conversion.h"
#include "tool/front_pipeline.h"
#include "tool/logger.h"
#include "tool/tool.h"

namespace tolvaren {
namespace {
constexpr char kLogSource[] = "./src/tool/tool";
}  // namespace

bool Tool::frontProcess(const std::string& text, std::vector<int>& phone_ids) {
  LOG_INFO("front process receive {}", text);
  std::size_t invalid_offset = 0;
  switch (CheckText(text, invalid_offset)) {
    case TextCheck::kRefused:
      LOG_INFO("text contains special characters {}", text);
      return false;
    case TextCheck::kInvalidUtf8:
      // Text that is not UTF-8 cannot be spoken; it fails this text only.
      LOG_ERROR("invalid UTF-8 at byte offset {}", invalid_offset);
      return false;
    case TextCheck::kAccepted:
      break;
  }
  const std::wstring wide_text = speechnn::utf8string2wstring(text);
  if (front_inst == nullptr) {
    LOG_INFO("front_inst is nullptr {}", text);
    return false;
  }
  if (!RunFrontEnd(*front_inst, wide_text, phone_ids, nullptr, nullptr)) {
    LOG_ERROR("TTS inst get sentence phoneids and toneids failed");
    return false;
  }
  return true;
}

}  // namespace tolvaren
