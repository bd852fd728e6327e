#include "tool/tool.h"

#include <algorithm>
#include <ctime>
#include <fstream>

#include "absl/strings/numbers.h"
#include "tool/acoustic_pieces.h"
#include "tool/logger.h"

namespace tolvaren {
namespace {
constexpr char kLogSource[] = "./src/tool/tool";

long long Now() { return static_cast<long long>(std::time(nullptr)); }

// The acoustic model's output must be a float tensor [frames, bins]; its
// shape is returned when it is.
bool MelShape(const Ort::Value& mel, std::vector<int64_t>& shape) {
  const Ort::TensorTypeAndShapeInfo info = mel.GetTensorTypeAndShapeInfo();
  shape = info.GetShape();
  return info.GetElementType() == ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT &&
         shape.size() == 2 && shape[0] >= 0 && shape[1] > 0;
}

}  // namespace

Tool::Tool() : Tool(ToolConfPath()) {}

Tool::Tool(const std::string& conf_path) {
  if (!ReadConfFile(conf_path, conf_)) {
    LOG_ERROR("Read front conf file failed");
    throw StartupError("cannot read the configuration file " + conf_path);
  }
  LOG_INFO("Info: front_conf is {}", conf_.front_conf_path);

  front_inst =
      std::make_unique<speechnn::FrontEngineInterface>(conf_.front_conf_path);
  if (front_inst == nullptr || front_inst->Init() != 0) {
    LOG_ERROR("Creater tts engine failed!");
    front_inst.reset();
    throw StartupError("cannot create the text front end from " +
                       conf_.front_conf_path);
  }

  // Long texts are cut for the acoustic model at the pause's id.
  const auto& phone_table = front_inst->phone_id_table();
  const auto pause = phone_table.find("sp");
  if (pause == phone_table.end() ||
      !absl::SimpleAtoi(pause->second, &pause_id_)) {
    pause_id_ = -1;
  }

  LOG_INFO("Info: intra_op_num_threads is {}", intra_op_num_threads);
  LOG_INFO("Info: inter_op_num_threads is {}", inter_op_num_threads);
  LOG_INFO("Info: fastspeech2_model_path is {}", conf_.fastspeech2_model_path);
  LOG_INFO("Info: hifigan_model_path is {}", conf_.hifigan_model_path);
  fastspeech2_predictor.loadModel(conf_.fastspeech2_model_path,
                                  intra_op_num_threads, inter_op_num_threads);
  hifigan_predictor.loadModel(conf_.hifigan_model_path, intra_op_num_threads,
                              inter_op_num_threads);
}

bool Tool::predict(const std::string& text) {
  LOG_INFO("do predict ");
  std::vector<int> phone_ids;
  if (!frontProcess(text, phone_ids)) return false;
  LOG_INFO("finished front process");

  std::vector<int64_t> wide_ids(phone_ids.begin(), phone_ids.end());
  std::vector<std::vector<float>> chunks;
  try {
    if (!Synthesize(wide_ids, chunks)) return false;
  } catch (const Ort::Exception& e) {
    // One text the models reject must not end a whole run.
    LOG_ERROR("ONNX Runtime error: {}", e.what());
    return false;
  }
  LOG_INFO("do predict finish");

  return saveWavBufferToFile(conf_.wav_path + "/" + text, chunks);
}

bool Tool::RunAcousticModel(std::vector<int64_t>& phone_ids,
                            std::vector<float>& joined_rows, Ort::Value& mel) {
  const std::vector<AcousticPiece> pieces =
      PlanAcousticPieces(phone_ids, pause_id_);
  if (pieces.size() == 1) {
    fastspeech2_predictor.predict(phone_ids, mel);
    return true;
  }
  int64_t frames = 0;
  int64_t bins = -1;
  for (const AcousticPiece& piece : pieces) {
    Ort::Value piece_mel{nullptr};
    fastspeech2_predictor.predict(phone_ids.data() + piece.begin,
                                  piece.end - piece.begin, piece_mel);
    std::vector<int64_t> shape;
    if (!MelShape(piece_mel, shape) || (bins != -1 && shape[1] != bins)) {
      LOG_ERROR("the acoustic model must output a float tensor [frames, bins]");
      return false;
    }
    bins = shape[1];
    frames += shape[0];
    const float* rows = piece_mel.GetTensorMutableData<float>();
    joined_rows.insert(joined_rows.end(), rows, rows + shape[0] * shape[1]);
  }
  const int64_t shape[] = {frames, bins};
  mel = Ort::Value::CreateTensor<float>(hifigan_predictor.cpu_memory_info(),
                                        joined_rows.data(), joined_rows.size(),
                                        shape, 2);
  return true;
}

bool Tool::Synthesize(std::vector<int64_t>& phone_ids,
                      std::vector<std::vector<float>>& chunks) {
  LOG_INFO("do am predictor, current time {}", Now());
  // Declared before `mel`, which may be a view of it.
  std::vector<float> joined_rows;
  Ort::Value mel{nullptr};
  if (!RunAcousticModel(phone_ids, joined_rows, mel)) return false;
  LOG_INFO("finish am predictor, current time {}", Now());

  LOG_INFO("do voc predictor, current time {}", Now());
  std::vector<int64_t> mel_shape;
  if (!MelShape(mel, mel_shape)) {
    LOG_ERROR("the acoustic model must output a float tensor [frames, bins]");
    return false;
  }
  const int64_t mel_dim = mel_shape[1];
  const std::vector<int32_t> mel_batch_index =
      hifigan_predictor.batchInput(mel);
  LOG_INFO("finish voc predictor, current time {}", Now());

  if (mel_batch_index.empty()) {
    LOG_INFO("mel_batch_index is empty");
    return false;
  }
  if (mel_batch_index.size() % 2 == 0) {
    LOG_INFO("mel_batch_index lenth must be odd");
    return false;
  }

  float* mel_data = mel.GetTensorMutableData<float>();
  const int32_t chunk_count =
      static_cast<int32_t>((mel_batch_index.size() - 1) / 2);
  chunks.reserve(static_cast<std::size_t>(chunk_count));
  for (int32_t k = 0; k < chunk_count; ++k) {
    const int32_t start = mel_batch_index[2 * k + 1];
    const int32_t end = mel_batch_index[2 * k + 2];
    LOG_INFO("voc chunk {}, from {} to {}", k, start, end);
    // A view of rows start..end-1 of the mel: no copy.
    const int64_t input_shape[] = {end - start, mel_dim};
    Ort::Value input = Ort::Value::CreateTensor<float>(
        hifigan_predictor.cpu_memory_info(), mel_data + start * mel_dim,
        static_cast<std::size_t>((end - start) * mel_dim), input_shape, 2);
    Ort::Value output{nullptr};
    hifigan_predictor.predict(input, output);

    chunks.emplace_back();
    const Ort::TensorTypeAndShapeInfo out_info =
        output.GetTensorTypeAndShapeInfo();
    if (out_info.GetElementType() != ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT) {
      LOG_ERROR("the vocoder must output a float tensor");
      return false;
    }
    const std::vector<int64_t> out_shape = out_info.GetShape();
    int64_t samples = 1;
    for (const int64_t dim : out_shape) samples *= dim;
    const int64_t keep_start =
        k == 0
            ? 0
            : static_cast<int64_t>(std::min(kBlockFrames * k, kContextFrames)) *
                  kHopSamples;
    int64_t keep_end =
        k == chunk_count - 1 ? samples : keep_start + kKeptSamples;
    // A vocoder with fewer samples per frame than expected must not make us
    // read past its output.
    keep_end = std::min(keep_end, samples);
    if (keep_end > keep_start) {
      const float* audio = output.GetTensorMutableData<float>();
      chunks.back().assign(audio + keep_start, audio + keep_end);
    }
  }
  return true;
}

bool Tool::getFileAndPredict() {
  LOG_INFO("Info: getFileAndPredict ");
  std::ifstream file(conf_.text_path);
  if (!file.is_open()) {
    LOG_ERROR("Error: cannot open file {}", conf_.text_path);
    return false;
  }
  // The whole file is read first: later changes to it do not affect the run.
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  if (file.bad()) {
    LOG_ERROR("Error: cannot open file {}", conf_.text_path);
    return false;
  }
  file.close();

  bool all_written = true;
  for (const std::string& text : lines) {
    LOG_INFO("{}", text);
    if (!predict(text)) all_written = false;
  }
  return all_written;
}

}  // namespace tolvaren
