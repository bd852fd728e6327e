// A request (plain text with inline pinyin, or a markup document) made into
// the engine's segments: each text part through the front end, a block of
// whole sentences at a time, each pinyin part as its syllables' ids, each
// break as the pause after the segment before it (the voice's own pause
// there counted in it), each part's rate folded into its duration scale.

#ifndef TOLVAREN_TTS_TOOL_SPOKEN_SEGMENTS_H_
#define TOLVAREN_TTS_TOOL_SPOKEN_SEGMENTS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "absl/status/status.h"
#include "speech_neural_network/markup/speech_parts.h"
#include "tool/engine_parts.h"
#include "tool/phone_table.h"
#include "tool/synth/engine.h"
#include "tool/synth/timings.h"

namespace tolvaren {

struct SpokenPlan {
  std::vector<Segment> segments;
  // Silence before the first segment: a request that opens with a break.
  int64_t leading_silence = 0;
  // What was read but not honoured, one line each, for the log.
  std::vector<std::string> warnings;
  // When words were asked for: the words of every segment in order, pauses
  // collapsed as the ids were (for the timings).
  std::vector<SpokenWord> words;
};

// The front end reads a text in blocks of whole sentences, each about
// kFrontBlockCharacters long: what it holds while it reads (the sentences'
// traces above all, when words are asked for) then follows a block, not the
// text. A sentence longer than 8,000 characters (no mark in a page of text)
// is cut there.
inline constexpr std::size_t kFrontBlockCharacters = 2000;
std::vector<std::string> FrontBlocks(const std::string& text);

// The parts of `text`: a markup document when `markup`, otherwise plain text
// in which each [[…]] is pinyin. InvalidArgument, with the reader's
// reason, when it cannot be read.
[[nodiscard]] absl::Status ReadSpokenParts(
    std::string_view text, bool markup,
    std::vector<speechnn::SpeechPart>* parts,
    std::vector<std::string>* warnings);

// The segments of `parts` spoken at `speed` (the caller's, 0.25 to 4) by
// `engine`'s voice at `sample_rate`, made as the engine asks for them: a
// text part is read a block of whole sentences (about 2,000 characters) at
// a time, each block a segment, so that what is held follows a block, not
// the text. A part's rate multiplies the speed and the product is kept
// within 0.25 to 4 (the first few parts kept so are named in a warning with
// their place, the rest counted); a voice that takes no duration scale
// ignores any rate but 1, with one warning. Texts that give no phone ids
// (marks alone) add no segment. With `words_table`, the words of every
// segment are appended to `words` as it is made (their pinyin spelled by
// the table), pauses collapsed as the ids are.
class SpokenSegmentSource : public SegmentSource {
 public:
  // Two texts about a break are spoken in one run while together they are
  // shorter than this: memory stays bounded however many breaks there are.
  static constexpr std::size_t kMaxJoinedPhones = 4096;

  // `parts`, `words_table` and `words` stay the caller's and must outlive
  // the source.
  SpokenSegmentSource(EngineParts& engine,
                      const std::vector<speechnn::SpeechPart>& parts,
                      double speed, int sample_rate,
                      const PhoneTable* words_table = nullptr,
                      std::vector<SpokenWord>* words = nullptr);

  // Before the first Next: InvalidArgument when a text is not UTF-8 (its
  // offset counted from the part's start), so that such a request fails
  // before any audio; the rates' warnings are appended to `warnings`.
  [[nodiscard]] absl::Status Prepare(std::vector<std::string>* warnings);
  // Samples of silence after the last segment (before any Next).
  void set_trailing_silence(int64_t samples) { trailing_silence_ = samples; }

  // InvalidArgument when the front end refuses a text or a syllable.
  [[nodiscard]] absl::StatusOr<bool> Next(Segment* next) override;
  int64_t leading_silence() const override { return leading_silence_; }
  // How many segments Next has handed over.
  std::size_t given() const { return given_; }

 private:
  // The next segment of the parts, empty ids included; false at their end.
  // A break on the way adds to the segment made before it.
  [[nodiscard]] absl::StatusOr<bool> Make(Segment* made);
  // The ids of the next block of part `part_` into `segment`.
  [[nodiscard]] absl::Status NextBlock(Segment* segment);
  // Whether `made`, after a break, is spoken in one run with the pending
  // segment: at the same rate, by a voice that gives durations (the break
  // is then held at its pause), the two not too long together.
  bool Joins(const Segment& made) const;
  // Joins `made` to the pending segment at a held pause; its words begin at
  // `made_words` in the words.
  void Join(Segment made, std::size_t made_words);
  // The break after the pending segment as its silence after.
  void EndAtBreak();

  EngineParts& engine_;
  const std::vector<speechnn::SpeechPart>& parts_;
  double speed_;
  int sample_rate_;
  const PhoneTable* words_table_;
  std::vector<SpokenWord>* words_;
  std::vector<float> scales_;  // each part's duration scale
  std::size_t part_ = 0;
  // The text part being read: its blocks, and the next one's index.
  std::vector<std::string> blocks_;
  std::size_t block_ = 0;
  // Whether the part's last block read ended on a pause.
  bool paused_ = false;
  // The segment made and not yet handed over (breaks after it add to it).
  std::optional<Segment> pending_;
  // Samples of the breaks after the pending segment, not yet placed.
  int64_t break_ = 0;
  int64_t leading_silence_ = 0;
  int64_t trailing_silence_ = 0;
  std::size_t given_ = 0;
};

// The whole plan at once (the segments of SpokenSegmentSource in a list),
// for callers that want every segment before speaking.
[[nodiscard]] absl::Status PlanSpokenSegments(
    EngineParts& engine, const std::vector<speechnn::SpeechPart>& parts,
    double speed, int sample_rate, SpokenPlan* plan,
    const PhoneTable* words_table = nullptr);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SPOKEN_SEGMENTS_H_
