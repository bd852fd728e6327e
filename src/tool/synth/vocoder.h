// The vocoder predictor: mel rows in, audio samples out, run chunk by chunk
// (see chunk_plan.h).

#ifndef TOLVAREN_TTS_TOOL_SYNTH_VOCODER_H_
#define TOLVAREN_TTS_TOOL_SYNTH_VOCODER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "absl/status/status.h"
#include "tool/synth/acoustic_model.h"
#include "tool/synth/chunk_plan.h"
#include "tool/synth/ort_session.h"
#include "tool/synth/spectral_audio.h"

namespace tolvaren {

// A vocoder that makes its own periodic source may take the source's phase
// (cycles, float [1]) at the start of a frame of its input (int64 [1], the
// frame's index in the input), and give the phase at the start of every
// input frame and at the end (float [frames + 1]).
inline constexpr char kPhaseInInput[] = "phase_in";
inline constexpr char kPhaseFrameInput[] = "phase_frame";
inline constexpr char kPhaseOutOutput[] = "phase_out";

// The source phase `cycles` at the start of input frame `frame`.
struct PhaseAt {
  float cycles = 0.0f;
  int64_t frame = 0;
};

// One vocoder run of a chunk: the frames [span.begin, span.end) of a mel,
// `rows` pointing at the first of them, and which of its samples are kept.
struct ChunkJob {
  std::size_t index = 0;  // the chunk's number, for the log and messages
  ChunkSpan span;
  const float* rows = nullptr;
  int64_t bins = 0;
  int32_t kept_begin_frame = 0;        // see ChunkPlan::KeptBeginFrame
  int32_t kept_frames = kBlockFrames;  // see ChunkPlan::BlockFrames
  bool last = false;
  // Unless last: where the next chunk starts and its kept_begin_frame.
  int32_t next_begin = 0;
  int32_t next_kept_begin_frame = 0;
};

class HifiGanPredictor {
 public:
  HifiGanPredictor();
  ~HifiGanPredictor();

  HifiGanPredictor(const HifiGanPredictor&) = delete;
  HifiGanPredictor& operator=(const HifiGanPredictor&) = delete;

  // Creates the session, logging before and after.
  [[nodiscard]] absl::Status loadModel(const std::string& model_path,
                                       const SessionThreads& threads);

  // The chunk plan of a [frames, bins] mel tensor in its flat form
  // mel_batch_index = [C, start0, end0, ...].
  std::vector<int32_t> batchInput(const Ort::Value& mel);

  // One vocoder run over a chunk's [rows, bins] tensor (a view of the mel,
  // released after the run); `output` receives the model's first output.
  [[nodiscard]] absl::Status predict(Ort::Value input, Ort::Value& output);

  // Whether the vocoder carries its source phase from chunk to chunk: it
  // takes the inputs kPhaseInInput and kPhaseFrameInput and gives
  // kPhaseOutOutput.
  bool CarriesPhase() const;

  // Runs every chunk of `plan` over `mel` and appends each chunk's kept
  // samples (at `hop_samples` per frame) to `chunks`, logging each chunk.
  // A vocoder that CarriesPhase() is told, for every chunk after the first,
  // the phase the chunk before it had reached where the two chunks' kept
  // samples meet, so the voice's harmonics run on across the join.
  // FailedPrecondition when the vocoder's output is not a float tensor, or
  // its phase output too short for the join.
  [[nodiscard]] absl::Status Vocode(MelSpectrogram& mel, const ChunkPlan& plan,
                                    int32_t hop_samples,
                                    std::vector<std::vector<float>>& chunks);
  // The same, handing each chunk's kept samples to `sink` as soon as they
  // exist; a sink's failure stops the run and is returned.
  [[nodiscard]] absl::Status Vocode(
      MelSpectrogram& mel, const ChunkPlan& plan, int32_t hop_samples,
      const std::function<absl::Status(std::vector<float>)>& sink);

  // Runs one chunk (logging it) into `samples`, its kept samples at
  // `hop_samples` per frame, checked finite. `phase` holds the phase this
  // chunk starts from (none for the first) and receives the one the next
  // chunk starts from, when the vocoder CarriesPhase(). FailedPrecondition
  // as for Vocode.
  [[nodiscard]] absl::Status VocodeChunk(const ChunkJob& job,
                                         int32_t hop_samples,
                                         std::optional<PhaseAt>& phase,
                                         std::vector<float>& samples);

  const OrtSession* session() const { return session_ ? &*session_ : nullptr; }

  // Seconds spent inside the runtime's Run so far, for benchmarks.
  double run_seconds() const {
    return session_ ? session_->run_seconds() : 0.0;
  }

  const Ort::MemoryInfo& cpu_memory_info() const { return memory_info; }

 private:
  // One run with the phase inputs when `phase` is given: `outputs`
  // receives every output.
  [[nodiscard]] absl::Status Run(Ort::Value input,
                                 const std::optional<PhaseAt>& phase,
                                 std::vector<Ort::Value>& outputs);

  Ort::MemoryInfo memory_info{nullptr};
  Ort::Env env{nullptr};
  std::optional<OrtSession> session_;
  // A vocoder that gives a spectrum: its transforms and their last audio.
  SpectralAudio spectral_audio_;
  std::vector<float> rendered_;
};

// FailedPrecondition when `frames` mel frames (at least one) came out as
// no samples at all: that would be written as a file without audio.
[[nodiscard]] absl::Status CheckHasSamples(int64_t frames, std::size_t samples);

}  // namespace tolvaren

#endif  // TOLVAREN_TTS_TOOL_SYNTH_VOCODER_H_
