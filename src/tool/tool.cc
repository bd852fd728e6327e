#include "tool/tool.h"

#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include "common/bounded_file.h"
#include "common/log_text.h"
#include "tool/io/chunk_file.h"
#include "tool/io/chunk_file_stream.h"
#include "tool/logger.h"

namespace tolvaren {
namespace {

// A line of a text file as the text it holds: a byte order mark before it
// and the carriage return of a CR LF line end are not part of the text, and
// would otherwise end up in its file name.
std::string TextOfLine(std::string line) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  if (line.compare(0, kBom.size(), kBom) == 0) line.erase(0, kBom.size());
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

Tool::Tool() : Tool(ToolConfPath()) {}

Tool::Tool(const std::string& conf_path)
    : Tool(&conf_path, ToolConf(), speechnn::StandardErrorReports()) {}

Tool::Tool(ToolConf conf)
    : Tool(nullptr, std::move(conf), speechnn::StandardErrorReports()) {}

Tool::Tool(ToolConf conf, speechnn::ReportSink front_reports)
    : Tool(nullptr, std::move(conf), std::move(front_reports)) {}

// The predictors are built before the configuration is read (their records
// come first), so the reading happens here rather than in the delegation.
Tool::Tool(const std::string* conf_path, ToolConf conf,
           speechnn::ReportSink front_reports)
    : conf_(std::move(conf)) {
  if (conf_path != nullptr && !ReadConfFile(*conf_path, conf_)) {
    LOG_ERROR("Read front conf file failed");
    throw StartupError(absl::NotFoundError(
        "cannot read the configuration file " + *conf_path));
  }
  if (absl::Status prepared = PrepareConf(conf_, conf_path); !prepared.ok()) {
    throw StartupError(prepared);
  }
  // No output folder must never mean the root folder, where wav_path + "/"
  // + text would put every file.
  if (conf_.wav_path.empty()) {
    LOG_INFO(
        "Warning: wav_path is empty or missing; files go to the current "
        "folder");
    conf_.wav_path = ".";
  }
  engine_.Start(conf_, std::move(front_reports));
}

bool Tool::frontProcess(const std::string& text, std::vector<int>& phone_ids) {
  return frontProcess(text, phone_ids, FrontRequest());
}

bool Tool::frontProcess(const std::string& text, std::vector<int>& phone_ids,
                        const FrontRequest& request) {
  return engine_.FrontProcess(text, phone_ids, request);
}

void Tool::RemoveStaleTemporaries() {
  // Temporary files of runs that were killed while writing are never
  // renamed; a day is far longer than any write takes. Only the folder
  // about to be written is touched: a library user, or a run that writes
  // nothing, never has files removed from it.
  const std::string& out_dir = conf_.wav_path;
  const std::size_t removed = RemoveStaleTemporaryFiles(out_dir);
  if (removed > 0) {
    LOG_INFO("removed {} temporary files older than a day from {}", removed,
             out_dir);
  }
}

bool Tool::predict(const std::string& text) {
  LOG_INFO("do predict ");
  // A name the file system cannot hold is known before any work is done on
  // a text (a long one takes minutes and much memory to synthesise).
  const std::string path = conf_.wav_path + "/" + text;
  if (absl::Status name = CheckOutputName(path); !name.ok()) {
    LOG_ERROR("无法打开文件：{}", EscapeForLog(path));
    LOG_ERROR("{}", EscapeForLog(std::string(name.message())));
    return false;
  }
  std::vector<int> phone_ids;
  if (!frontProcess(text, phone_ids)) return false;
  LOG_INFO("finished front process");

  // The samples go to the file's scratch as they are made: memory stays
  // bounded by a piece, not the text.
  std::vector<Segment> segments(1);
  segments[0].phone_ids.assign(phone_ids.begin(), phone_ids.end());
  ChunkFileStream file(path);
  if (absl::Status synthesized =
          engine_.Synthesize(segments,
                             [&file](std::vector<float> chunk) {
                               file.Append(chunk);
                               return absl::OkStatus();
                             });
      !synthesized.ok()) {
    // One text the models reject must not end a whole run.
    if (IsRuntimeError(synthesized)) {
      LOG_ERROR("ONNX Runtime error: {}", std::string(synthesized.message()));
    } else if (absl::IsInvalidArgument(synthesized)) {
      LOG_INFO("{}", std::string(synthesized.message()));
      LOG_ERROR("no audio for the text: {} not written", EscapeForLog(path));
    } else {
      LOG_ERROR("{}", std::string(synthesized.message()));
    }
    return false;
  }
  LOG_INFO("do predict finish");

  return ReportWritten(path, file.Finish());
}

absl::Status Tool::Synthesize(std::vector<int64_t>& phone_ids,
                              std::vector<std::vector<float>>& chunks) {
  std::vector<std::vector<float>> vocoded;
  absl::Status status =
      Synthesize(phone_ids, [&vocoded](std::vector<float> chunk) {
        vocoded.push_back(std::move(chunk));
        return absl::OkStatus();
      });
  // A text fails whole: no chunk of a failed run reaches the caller.
  if (status.ok()) {
    chunks.insert(chunks.end(), std::make_move_iterator(vocoded.begin()),
                  std::make_move_iterator(vocoded.end()));
  }
  return status;
}

absl::Status Tool::Synthesize(std::vector<int64_t>& phone_ids,
                              const ChunkSink& sink, float duration_scale) {
  std::vector<Segment> segments(1);
  segments[0].phone_ids = phone_ids;
  segments[0].duration_scale = duration_scale;
  return engine_.Synthesize(segments, sink);
}

bool Tool::getFileAndPredict() {
  LOG_INFO("Info: getFileAndPredict ");
  absl::StatusOr<std::string> text =
      tolvaren::ReadBoundedFile(conf_.text_path, tolvaren::kMaxTextFileBytes);
  if (!text.ok()) {
    if (!absl::IsNotFound(text.status()) && !absl::IsDataLoss(text.status())) {
      LOG_ERROR("Error: {}",
                EscapeForLog(std::string(text.status().message())));
    }
    LOG_ERROR("Error: cannot open file {}", conf_.text_path);
    return false;
  }
  std::istringstream file(*std::move(text));
  // The whole file is read first: later changes to it do not affect the run.
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) lines.push_back(TextOfLine(line));

  bool all_written = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& text = lines[i];
    // The output file is named by the text, and a NUL would end that name
    // early: the line would overwrite the file of the text before the NUL.
    if (text.find('\0') != std::string::npos) {
      LOG_ERROR("line {} of {} holds a NUL byte: refused", i + 1,
                conf_.text_path);
      all_written = false;
      continue;
    }
    LOG_INFO("{}", EscapeForLog(text));
    if (!predict(text)) all_written = false;
  }
  return all_written;
}

bool saveWavBufferToFile(const std::string& path,
                         const std::vector<std::vector<float>>& chunks) {
  return ReportWritten(path, WriteChunkFile(path, chunks));
}

bool ReportWritten(const std::string& path, const absl::Status& written) {
  // The path holds the text: shown escaped, written as it is.
  const std::string shown = EscapeForLog(path);
  if (absl::IsDataLoss(written)) {
    LOG_ERROR("Failed to write file {}: {}", shown,
              std::string(written.message()));
  } else if (absl::IsFailedPrecondition(written)) {
    LOG_ERROR("{}: refused", EscapeForLog(std::string(written.message())));
  } else if (!written.ok()) {
    LOG_ERROR("无法打开文件：{}", shown);
    LOG_ERROR("{}", EscapeForLog(std::string(written.message())));
  }
  return written.ok();
}

}  // namespace tolvaren
