// A record, made when the resources are built, that the phone tables were
// checked (every phone the pronunciations can produce has an id): start-up
// then skips the pass over every pronunciation for tables whose bytes are
// the ones checked. The record holds a checksum of what was checked, so a
// table changed or damaged since (or a record copied beside other tables)
// is checked in full again.
//
// File, beside word2phone as "<word2phone>.checked":
//   tolvaren-checked-tables 1 <16 hex digits>

#ifndef TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_CHECKED_TABLES_H_
#define TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_CHECKED_TABLES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "speech_neural_network/lexicon/id_table.h"

namespace speechnn {

// The checksum of the pronunciation text, both id tables and the mode.
std::uint64_t TablesChecksum(std::string_view word2phone_text,
                             const IdTable& phone_ids, const IdTable& tone_ids,
                             bool separate_tone);

std::string CheckedTablesPath(const std::string& word2phone_path);
std::string CheckedTablesRecord(std::uint64_t checksum);
// Whether the record at `path` is there and holds `checksum`; any other
// file, or none, vouches for nothing.
bool RecordVouchesFor(const std::string& path, std::uint64_t checksum);

}  // namespace speechnn

#endif  // TOLVAREN_TTS_SPEECH_NEURAL_NETWORK_LEXICON_CHECKED_TABLES_H_
