// The acoustic models' `durations` output: one frame count per phone,
// adding up to the mel's frames, at every duration scale the model takes.

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "tool/synth/ort_session.h"

namespace tolvaren {
namespace {

struct Model {
  std::string path;
  bool scales;  // takes duration_scale
};

TEST(DurationsOutputTest, DurationsAddUpToTheMelFrames) {
  const std::string shipped = TOLVAREN_SHIPPED_MODEL_DIR;
  const std::vector<Model> models = {
      {shipped + "/fastspeech2.onnx", true},
      {shipped + "/diphone/fastspeech2.onnx", true},
      {std::string(TOLVAREN_TEST_MODEL_DIR) + "/timed_acoustic.onnx", false},
  };
  const std::vector<std::vector<int64_t>> texts = {
      {12, 117, 6, 112, 402},
      {1},
      {30, 200, 31, 201, 402, 40, 100, 41, 101, 42, 102, 402},
  };
  const Ort::Env env = MakeEnv();
  const Ort::MemoryInfo cpu = MakeCpuMemoryInfo();
  for (const Model& model : models) {
    absl::StatusOr<OrtSession> session = OrtSession::Load(
        env, model.path, SessionThreads{1, 1, std::nullopt, {}});
    ASSERT_TRUE(session.ok()) << session.status();
    const absl::StatusOr<std::optional<std::string>> declared =
        session->CustomMetadata("optional_outputs");
    ASSERT_TRUE(declared.ok() && declared->has_value()) << model.path;
    EXPECT_EQ(**declared, "durations") << model.path;
    const std::optional<std::size_t> at = session->OutputIndex("durations");
    ASSERT_TRUE(at.has_value()) << model.path;
    for (std::vector<int64_t> ids : texts) {
      for (float scale : model.scales ? std::vector<float>{1.0f, 0.5f, 2.0f}
                                      : std::vector<float>{1.0f}) {
        const int64_t shape[] = {static_cast<int64_t>(ids.size())};
        const int64_t one[] = {1};
        std::vector<Ort::Value> inputs;
        inputs.push_back(Ort::Value::CreateTensor<int64_t>(
            cpu, ids.data(), ids.size(), shape, 1));
        std::vector<std::string> optional;
        if (model.scales) {
          inputs.push_back(
              Ort::Value::CreateTensor<float>(cpu, &scale, 1, one, 1));
          optional.emplace_back("duration_scale");
        }
        absl::StatusOr<std::vector<Ort::Value>> out =
            session->Run(inputs, optional);
        ASSERT_TRUE(out.ok()) << out.status();
        const Ort::Value& durations = (*out)[*at];
        ASSERT_EQ(durations.GetTensorTypeAndShapeInfo().GetElementType(),
                  ONNX_TENSOR_ELEMENT_DATA_TYPE_INT64);
        ASSERT_EQ(TensorShape(durations), std::vector<int64_t>{shape[0]});
        const int64_t* frames = durations.GetTensorData<int64_t>();
        for (std::size_t k = 0; k < ids.size(); ++k) EXPECT_GE(frames[k], 1);
        EXPECT_EQ(std::accumulate(frames, frames + ids.size(), int64_t{0}),
                  TensorShape(out->front())[0])
            << model.path << " at scale " << scale;
      }
    }
  }
}

}  // namespace
}  // namespace tolvaren
