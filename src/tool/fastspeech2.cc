#include "tool/fastspeech2.h"

#include <chrono>
#include <ctime>

#include "tool/logger.h"

namespace tolvaren {
namespace {
constexpr char kLogSource[] = "./src/tool/fastspeech2";
}  // namespace

FastSpeech2Predictor::FastSpeech2Predictor()
    : env(MakeEnv()), memory_info(MakeCpuMemoryInfo()) {}

void FastSpeech2Predictor::loadModel(const std::string& model_path,
                                     int intra_op_num_threads,
                                     int inter_op_num_threads) {
  session = LoadSession(env, model_path, intra_op_num_threads,
                        inter_op_num_threads, kLogSource);
}

void FastSpeech2Predictor::predict(std::vector<int64_t>& phone_ids,
                                   Ort::Value& mel_out) {
  predict(phone_ids.data(), phone_ids.size(), mel_out);
}

void FastSpeech2Predictor::predict(int64_t* phone_ids, std::size_t count,
                                   Ort::Value& mel_out) {
  LOG_INFO("do FastSpeech2 predict, current time {}",
           static_cast<long long>(std::time(nullptr)));
  const int64_t shape[] = {static_cast<int64_t>(count)};
  Ort::Value input = Ort::Value::CreateTensor<int64_t>(memory_info, phone_ids,
                                                       count, shape, 1);
  const auto start = std::chrono::steady_clock::now();
  RunSingle(session, input, mel_out);
  run_seconds_ +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  LOG_INFO("finish FastSpeech2 predict, current time {}",
           static_cast<long long>(std::time(nullptr)));
}

}  // namespace tolvaren
