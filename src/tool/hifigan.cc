#include "tool/hifigan.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <stdexcept>

#include "tool/logger.h"

namespace tolvaren {
namespace {
constexpr char kLogSource[] = "./src/tool/hifigan";
}  // namespace

HifiGanPredictor::HifiGanPredictor()
    : memory_info(MakeCpuMemoryInfo()), env(MakeEnv()) {
  LOG_INFO("Construct HifiGanPredictor");
}

HifiGanPredictor::~HifiGanPredictor() {
  LOG_INFO("Destory HifiGanPredictor");
  // Session first, then the environment, then the memory description.
  session.reset();
}

void HifiGanPredictor::loadModel(const std::string& model_path,
                                 int intra_op_num_threads,
                                 int inter_op_num_threads) {
  session = std::make_unique<Ort::Session>(LoadSession(
      env, model_path, intra_op_num_threads, inter_op_num_threads, kLogSource));
}

std::vector<int32_t> PlanChunks(int32_t frames) {
  // Computed in single precision, as the plan has always been.
  const auto chunks = static_cast<int32_t>(
      std::ceil(static_cast<float>(frames) / static_cast<float>(kBlockFrames)));
  std::vector<int32_t> plan;
  plan.reserve(1 + 2 * static_cast<std::size_t>(std::max(chunks, 0)));
  plan.push_back(chunks);
  int32_t offset = -kContextFrames;
  for (int32_t k = 0; k < chunks; ++k) {
    plan.push_back(std::max(offset, 0));
    plan.push_back(std::min(offset + kWindowFrames, frames));
    offset += kBlockFrames;
  }
  return plan;
}

std::vector<int32_t> HifiGanPredictor::batchInput(const Ort::Value& mel) {
  LOG_INFO("do HifiGan batchInput, current time {}",
           static_cast<long long>(std::time(nullptr)));
  const std::vector<int64_t> shape = TensorShape(mel);
  const auto frames = static_cast<int32_t>(shape.empty() ? 0 : shape[0]);
  std::vector<int32_t> plan = PlanChunks(frames);
  LOG_INFO("do HifiGan batchInput, current time {}",
           static_cast<long long>(std::time(nullptr)));
  return plan;
}

void HifiGanPredictor::predict(const Ort::Value& input, Ort::Value& output) {
  LOG_INFO("do HifiGan predict, current time {}",
           static_cast<long long>(std::time(nullptr)));
  if (session == nullptr) {
    throw std::logic_error("the vocoder model is not loaded");
  }
  const auto start = std::chrono::steady_clock::now();
  RunSingle(*session, input, output);
  run_seconds_ += std::chrono::duration<double>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  LOG_INFO("finish HifiGan predict, current time {}",
           static_cast<long long>(std::time(nullptr)));
}

}  // namespace tolvaren
