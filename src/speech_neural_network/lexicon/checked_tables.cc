#include "speech_neural_network/lexicon/checked_tables.h"

#include <cinttypes>
#include <cstdio>

#include "common/bounded_file.h"
#include "common/content_checksum.h"

namespace speechnn {
namespace {

constexpr char kRecordTag[] = "tolvaren-checked-tables 1 ";
// A record is one short line: anything longer is not one.
constexpr std::size_t kMaxRecordBytes = 256;

void AppendIds(const IdTable& table, std::string& facts) {
  for (const auto& [symbol, id] : table.ids()) {
    facts += symbol + " " + std::to_string(id) + "\n";
  }
  facts += "\n";
}

}  // namespace

std::uint64_t TablesChecksum(std::string_view word2phone_text,
                             const IdTable& phone_ids, const IdTable& tone_ids,
                             bool separate_tone) {
  std::string facts = std::to_string(tolvaren::ContentChecksum(
                          word2phone_text.data(), word2phone_text.size())) +
                      (separate_tone ? " separate\n" : " combined\n");
  AppendIds(phone_ids, facts);
  AppendIds(tone_ids, facts);
  return tolvaren::ContentChecksum(facts.data(), facts.size());
}

std::string CheckedTablesPath(const std::string& word2phone_path) {
  return word2phone_path + ".checked";
}

std::string CheckedTablesRecord(std::uint64_t checksum) {
  char hex[17];
  std::snprintf(hex, sizeof(hex), "%016" PRIx64, checksum);
  return kRecordTag + std::string(hex) + "\n";
}

bool RecordVouchesFor(const std::string& path, std::uint64_t checksum) {
  const absl::StatusOr<std::string> record =
      tolvaren::ReadBoundedFile(path, kMaxRecordBytes);
  return record.ok() && *record == CheckedTablesRecord(checksum);
}

}  // namespace speechnn
