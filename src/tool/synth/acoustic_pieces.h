// Splitting of a long phone id sequence into pieces the acoustic model can
// run one at a time.
//
// The acoustic model's self-attention needs memory that grows with the
// square of its input (phones in the encoder, frames in the decoder), so one
// run over a whole page of text exhausts memory. Pieces of at most
// kMaxPhonesPerRun ids are run one after the other and their mel rows are
// joined; a piece ends at a pause wherever one is available, so every cut
// falls where the speaker pauses anyway.

#ifndef TOLVAREN_TTS_TOOL_SYNTH_ACOUSTIC_PIECES_H_
#define TOLVAREN_TTS_TOOL_SYNTH_ACOUSTIC_PIECES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tolvaren {

// About a long paragraph: the model's attention then stays within a few tens
// of megabytes, while ordinary sentences run whole.
inline constexpr std::size_t kMaxPhonesPerRun = 256;

// A half-open range [begin, end) of phone ids.
struct AcousticPiece {
  std::size_t begin = 0;
  std::size_t end = 0;

  bool operator==(const AcousticPiece& other) const {
    return begin == other.begin && end == other.end;
  }
};

// Cuts `phone_ids` into consecutive pieces of at most `max_phones` ids
// (max_phones >= 1) that cover it exactly. Each piece is as long as it can
// be: it ends just after the last `pause_id` that fits, and only when no
// pause fits is it cut at the length limit. An empty sequence is one empty
// piece, so the model still runs once (and decides what silence means). A
// `pause_id` of -1 means the ids hold no known pause.
//
// A `first_piece_phones` above 0 makes the first piece short, for speech
// that starts playing before the rest is made: it ends at the first pause
// after at least that many ids (within `max_phones`), the rest is cut as
// above.
std::vector<AcousticPiece> PlanAcousticPieces(
    const std::vector<int64_t>& phone_ids, int64_t pause_id,
    std::size_t max_phones = kMaxPhonesPerRun,
    std::size_t first_piece_phones = 0);

// The longest piece of streamed speech: the decoder's attention grows with
// the square of a piece's frames, and at half the phones a piece's peak
// memory is a quarter, so a process that speaks any length of text stays
// within a few hundred megabytes. Most sentences still run whole.
inline constexpr std::size_t kMaxStreamedPhones = 128;

// The first piece's length for streamed speech: a clause or a short
// sentence, about a second of audio, so the first sound waits for little
// more than that.
inline constexpr std::size_t kFirstPiecePhones = 16;

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_ACOUSTIC_PIECES_H_
