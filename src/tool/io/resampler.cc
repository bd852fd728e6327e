#include "tool/io/resampler.h"

#include <samplerate.h>

#include <string>

namespace tolvaren {
namespace {

absl::Status ConverterError(int error) {
  return absl::InternalError(std::string("resampling failed: ") +
                             src_strerror(error));
}

}  // namespace

absl::StatusOr<std::unique_ptr<Resampler>> Resampler::Create(int from_rate,
                                                             int to_rate) {
  for (const int rate : {from_rate, to_rate}) {
    if (rate < kMinSampleRate || rate > kMaxSampleRate) {
      return absl::InvalidArgumentError(
          "a sample rate must be " + std::to_string(kMinSampleRate) + " to " +
          std::to_string(kMaxSampleRate) + " Hz, not " + std::to_string(rate));
    }
  }
  int error = 0;
  SRC_STATE* state = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &error);
  if (state == nullptr) return ConverterError(error);
  return std::unique_ptr<Resampler>(new Resampler(
      state, to_rate,
      static_cast<double>(to_rate) / static_cast<double>(from_rate)));
}

Resampler::~Resampler() { src_delete(state_); }

absl::Status Resampler::Process(const float* input, std::size_t count,
                                bool last, std::vector<float>& output) {
  // The converter wants an input pointer even for no input.
  static const float kNoInput = 0.0f;
  SRC_DATA data{};
  data.data_in = input != nullptr ? input : &kNoInput;
  data.input_frames = static_cast<long>(count);
  data.src_ratio = ratio_;
  data.end_of_input = last ? 1 : 0;
  float block[4096];
  // The converter takes what fits its output each time; the loop ends when
  // the input is used up and, at the end, nothing more comes out.
  while (true) {
    data.data_out = block;
    data.output_frames = static_cast<long>(sizeof(block) / sizeof(block[0]));
    if (const int error = src_process(state_, &data); error != 0) {
      converted_.clear();
      return ConverterError(error);
    }
    converted_.insert(converted_.end(), block, block + data.output_frames_gen);
    data.data_in += data.input_frames_used;
    data.input_frames -= data.input_frames_used;
    if (data.input_frames == 0 && (!last || data.output_frames_gen == 0)) {
      break;
    }
  }
  limiter_.Process(converted_.data(), converted_.size(), output);
  converted_.clear();
  if (last) {
    src_reset(state_);
    limiter_.Flush(output);
  }
  return absl::OkStatus();
}

absl::StatusOr<std::vector<float>> Resample(const std::vector<float>& samples,
                                            int from_rate, int to_rate) {
  absl::StatusOr<std::unique_ptr<Resampler>> resampler =
      Resampler::Create(from_rate, to_rate);
  if (!resampler.ok()) return resampler.status();
  std::vector<float> output;
  output.reserve(static_cast<std::size_t>(
      static_cast<double>(samples.size()) * to_rate / from_rate + 16));
  absl::Status status =
      (*resampler)->Process(samples.data(), samples.size(), true, output);
  if (!status.ok()) return status;
  return output;
}

}  // namespace tolvaren
