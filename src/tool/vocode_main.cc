// tolvaren_tts_vocode: turns a given mel spectrogram into samples through a
// vocoder model, in the chunks and with the phase carried across their
// joins exactly as tolvaren_tts does, so a vocoder file can be scored on
// reference mels (copy synthesis) whatever network it holds.
//
//   tolvaren_tts_vocode VOCODER.onnx MEL.f32 OUT.f32 [--threads N] [--whole]
//
// --whole vocodes the mel in one window instead, the reference for what the
// chunks change at their joins.
//
// MEL.f32 holds the [frames, bins] rows as little-endian float32 (bins as
// the model declares, else the shipped voice's); OUT.f32 receives the
// samples as little-endian float32.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "absl/status/status.h"
#include "absl/status/statusor.h"
#include "tool/synth/chunk_plan.h"
#include "tool/synth/vocoder.h"
#include "tool/synth/voice_config.h"

namespace {

constexpr char kUsage[] =
    "Usage: tolvaren_tts_vocode VOCODER.onnx MEL.f32 OUT.f32 [--threads N] "
    "[--whole]\n"
    "Vocodes [frames, bins] float32 mel rows in the tool's chunks (with\n"
    "--whole: in one window) and writes the samples as float32 (both\n"
    "little-endian, no header).\n";

struct Arguments {
  std::string model;
  std::string mel;
  std::string out;
  int32_t threads = 1;
  bool whole = false;
};

bool ParseArguments(int argc, char** argv, Arguments& args) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--whole") {
      args.whole = true;
    } else if (arg == "--threads") {
      if (i + 1 >= argc) return false;
      errno = 0;
      char* end = nullptr;
      const long value = std::strtol(argv[++i], &end, 10);
      if (errno != 0 || *end != '\0' || value < 1 || value > 1024) {
        return false;
      }
      args.threads = static_cast<int32_t>(value);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 3) return false;
  args.model = positional[0];
  args.mel = positional[1];
  args.out = positional[2];
  return true;
}

// The rows of a mel file of whole `bins`-value frames, at least one.
absl::StatusOr<std::vector<float>> ReadRows(const std::string& path,
                                            int32_t bins) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return absl::NotFoundError("cannot read " + path);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  const std::size_t frame_bytes =
      sizeof(float) * static_cast<std::size_t>(bins);
  if (bytes.empty() || bytes.size() % frame_bytes != 0) {
    return absl::InvalidArgumentError(
        path + " is not whole frames of " + std::to_string(bins) +
        " float32 values (" + std::to_string(bytes.size()) + " bytes)");
  }
  std::vector<float> rows(bytes.size() / sizeof(float));
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(rows.data()));
  return rows;
}

absl::Status Vocode(const Arguments& args) {
  tolvaren::HifiGanPredictor vocoder;
  const tolvaren::SessionThreads threads{args.threads, 1, false, {}};
  if (absl::Status loaded = vocoder.loadModel(args.model, threads);
      !loaded.ok()) {
    return loaded;
  }
  tolvaren::VoiceConfig voice;
  if (absl::Status applied =
          tolvaren::ApplyVoiceMetadata(*vocoder.session(), args.model, voice);
      !applied.ok()) {
    return applied;
  }
  absl::StatusOr<std::vector<float>> rows = ReadRows(args.mel, voice.mel_bins);
  if (!rows.ok()) return rows.status();
  tolvaren::MelSpectrogram mel;
  mel.bins = voice.mel_bins;
  mel.frames = static_cast<int64_t>(rows->size()) / mel.bins;
  mel.joined_rows = std::move(*rows);
  const int64_t shape[] = {mel.frames, mel.bins};
  mel.tensor = Ort::Value::CreateTensor<float>(
      vocoder.cpu_memory_info(), mel.joined_rows.data(), mel.joined_rows.size(),
      shape, 2);
  const int32_t frames = static_cast<int32_t>(mel.frames);
  const tolvaren::ChunkPlan plan =
      args.whole ? tolvaren::ChunkPlan::ForFrames(
                       frames, tolvaren::ChunkLayout{frames, frames, 0})
                 : tolvaren::ChunkPlan::ForFrames(frames);
  std::vector<std::vector<float>> chunks;
  if (absl::Status vocoded =
          vocoder.Vocode(mel, plan, voice.hop_samples, chunks);
      !vocoded.ok()) {
    return vocoded;
  }
  // Written only once every chunk exists: a failed run leaves no file.
  std::ofstream out(args.out, std::ios::binary | std::ios::trunc);
  for (const std::vector<float>& chunk : chunks) {
    out.write(reinterpret_cast<const char*>(chunk.data()),
              static_cast<std::streamsize>(chunk.size() * sizeof(float)));
  }
  out.close();
  if (!out) return absl::DataLossError("cannot write " + args.out);
  return absl::OkStatus();
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!ParseArguments(argc, argv, args)) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    if (absl::Status status = Vocode(args); !status.ok()) {
      std::cerr << "tolvaren_tts_vocode: " << status.message() << "\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "tolvaren_tts_vocode: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
