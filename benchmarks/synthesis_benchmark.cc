// Whole synthesis with the shipped voice: real-time factor (synthesis time /
// audio duration), CPU seconds per second of audio (every thread of the
// process) and the share of time spent outside the two models' Run calls
// (front end, chunk planning, copying, writing), for a short and a long
// sentence; the same split by stage for the texts of compare_texts.txt
// (BM_Stages/0..2: 10, 65 and 611 characters); the process's peak memory
// for long texts (200, 2,000 and 8,000 characters); and the output stage's
// own cost.
//
//   [TOLVAREN_TTS_CONF=FILE] synthesis_benchmark [--benchmark_filter=...]
//
// The audio rate is the voice's, as the models declare it (24000 Hz for the
// shipped voice).

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "speech_neural_network/utf8_conversion.h"
#include "tool/synth/output_stage.h"
#include "tool/tool.h"

namespace {

// 20 characters.
const char kShort[] = "今天天气很好，我们一起去公园散步吧。";
// About 200 characters of ordinary prose.
const char kLong[] =
    "机器人在进入房间之前，会先检查门口有没有障碍物，然后慢慢地向前移动。"
    "如果前方有人经过，它会停下来等待，直到通道重新变得安全。"
    "到达目的地以后，机器人会用清楚的声音告诉用户任务已经完成，"
    "并且询问是否还需要其他帮助。每天晚上十点，它会自动回到充电座充电，"
    "第二天早上七点准时开始新的工作。用户也可以随时通过手机查看它的位置、"
    "电量和最近完成的任务，必要的时候还可以远程暂停它的工作。"
    "这样的设计让家里的老人和孩子都能放心地使用它。";

// A scratch folder of this process's own, so that two benchmarks run at
// once never write over each other's configuration or audio; removed at
// exit.
const std::string& OutputDir() {
  static const std::string* const dir = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tolvaren_bench.XXXXXX")
            .string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    return new std::string(pattern);
  }();
  static const bool removed_at_exit =
      std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(*dir, ignored);
      }) == 0;
  static_cast<void>(removed_at_exit);
  return *dir;
}

tolvaren::Tool& SharedTool() {
  static tolvaren::Tool* tool = [] {
    setenv("SPDLOG_STDOUT", "false", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
    setenv("SPDLOG_LEVEL", "info", 1);
    // The build tree's configuration, or TOLVAREN_TTS_CONF when set (to
    // weigh one configuration against another), writing into a scratch
    // folder.
    const char* chosen = std::getenv("TOLVAREN_TTS_CONF");
    std::ifstream in(
        chosen != nullptr && chosen[0] != '\0' ? chosen : TOLVAREN_BENCH_CONF);
    const std::string conf = OutputDir() + "/tool.conf";
    std::ofstream out(conf);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("--wav_path=", 0) == 0) line = "--wav_path=" + OutputDir();
      out << line << "\n";
    }
    out.close();
    return new tolvaren::Tool(conf);
  }();
  return *tool;
}

// Seconds of one synthesis by stage: the front end, the acoustic model's
// and the vocoder's Run calls, the engine's own work around them (chunk
// planning, copies, the output stage) and writing the WAV file.
struct Stages {
  double front = 0.0;
  double acoustic = 0.0;
  double vocoder = 0.0;
  double engine = 0.0;
  double writing = 0.0;

  double total() const { return front + acoustic + vocoder + engine + writing; }
  void Add(const Stages& other) {
    front += other.front;
    acoustic += other.acoustic;
    vocoder += other.vocoder;
    engine += other.engine;
    writing += other.writing;
  }
};

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * now.tv_nsec;
}

// The steps of Tool::predict, each stage timed: a long text cannot name its
// own output file (the file system's name limit), so the audio goes to a
// fixed name here. `streamed` runs the engine as the library does for
// tolvaren_say and the node (a short first piece, shorter pieces, longer
// vocoder blocks after the first).
bool SynthesizeToFile(tolvaren::Tool& tool, const std::string& text,
                      std::size_t& samples, Stages& stages, bool streamed) {
  tolvaren::SynthesisEngine& engine = tool.engine().unguarded_parts().synth;
  auto start = std::chrono::steady_clock::now();
  std::vector<int> ids;
  if (!tool.frontProcess(text, ids)) return false;
  stages.front = Since(start);
  const double acoustic_before = engine.acoustic().run_seconds();
  const double vocoder_before = engine.vocoder().run_seconds();
  start = std::chrono::steady_clock::now();
  std::vector<int64_t> wide_ids(ids.begin(), ids.end());
  std::vector<std::vector<float>> chunks;
  if (streamed) {
    std::vector<tolvaren::Segment> segments(1);
    segments[0].phone_ids = wide_ids;
    tolvaren::EngineRequest request;
    request.first_piece_phones = tolvaren::kFirstPiecePhones;
    request.max_piece_phones = tolvaren::kMaxStreamedPhones;
    request.chunks_as_vocoded = false;
    request.chunks = tolvaren::kStreamedChunks;
    const auto kept = [&chunks](std::vector<float> chunk) {
      chunks.push_back(std::move(chunk));
      return absl::OkStatus();
    };
    if (!engine.Synthesize(segments, kept, request).ok()) return false;
  } else if (!tool.Synthesize(wide_ids, chunks).ok()) {
    return false;
  }
  stages.acoustic = engine.acoustic().run_seconds() - acoustic_before;
  stages.vocoder = engine.vocoder().run_seconds() - vocoder_before;
  stages.engine = Since(start) - stages.acoustic - stages.vocoder;
  samples = 0;
  for (const auto& chunk : chunks) samples += chunk.size();
  start = std::chrono::steady_clock::now();
  if (!tolvaren::saveWavBufferToFile(OutputDir() + "/benchmark", chunks)) {
    return false;
  }
  stages.writing = Since(start);
  return true;
}

// Runs `text` once per iteration. Every benchmark run through here reports
// the same counters, as a CSV report needs: the real-time factor, CPU
// seconds per second of audio, the share outside the models' Run calls and
// each stage's share.
void Synthesize(benchmark::State& state, const std::string& text,
                bool streamed = false) {
  tolvaren::Tool& tool = SharedTool();
  Stages sum;
  double audio = 0.0;
  const double cpu_before = ProcessCpuSeconds();
  for (auto _ : state) {
    std::size_t samples = 0;
    Stages stages;
    if (!SynthesizeToFile(tool, text, samples, stages, streamed)) {
      state.SkipWithError("synthesis failed");
      return;
    }
    sum.Add(stages);
    audio += static_cast<double>(samples) / tool.voice().sample_rate;
  }
  const double total = sum.total();
  state.counters["rtf"] = total / audio;
  state.counters["cpu_rtf"] = (ProcessCpuSeconds() - cpu_before) / audio;
  state.counters["outside_run_share"] =
      (total - sum.acoustic - sum.vocoder) / total;
  state.counters["front_share"] = sum.front / total;
  state.counters["acoustic_share"] = sum.acoustic / total;
  state.counters["vocoder_share"] = sum.vocoder / total;
  state.counters["engine_share"] = sum.engine / total;
  state.counters["writing_share"] = sum.writing / total;
  state.counters["audio_s"] = audio / static_cast<double>(state.iterations());
  state.counters["chars"] = static_cast<double>(speechnn::Utf8Length(text));
}

void BM_SynthesisShort(benchmark::State& state) { Synthesize(state, kShort); }
void BM_SynthesisLong(benchmark::State& state) { Synthesize(state, kLong); }
BENCHMARK(BM_SynthesisShort)->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SynthesisLong)->Iterations(5)->Unit(benchmark::kMillisecond);

// The texts of compare_texts.txt, one per line.
const std::vector<std::string>& CompareTexts() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> lines;
    std::ifstream in(TOLVAREN_COMPARE_TEXTS);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }();
  return texts;
}

// The texts of compare_texts.txt, for the split by stage: as the tool
// speaks them, and as the library streams them.
void SplitByStage(benchmark::State& state, bool streamed) {
  const std::vector<std::string>& texts = CompareTexts();
  const auto index = static_cast<std::size_t>(state.range(0));
  if (index >= texts.size()) {
    state.SkipWithError("compare_texts.txt has no such line");
    return;
  }
  Synthesize(state, texts[index], streamed);
}
void BM_Stages(benchmark::State& state) { SplitByStage(state, false); }
void BM_StreamedStages(benchmark::State& state) { SplitByStage(state, true); }
BENCHMARK(BM_Stages)->DenseRange(0, 2)->Iterations(3)->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_StreamedStages)
    ->DenseRange(0, 2)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The output stage alone (volume, decaying end, peak limiter) over ten
// seconds of loud audio in vocoder chunks, the limiter at work all along:
// its own real-time factor, the share of the whole one it adds.
void BM_OutputStage(benchmark::State& state) {
  constexpr int kRate = 24000;
  std::vector<float> audio(10 * kRate);
  for (std::size_t n = 0; n < audio.size(); ++n) {
    audio[n] = 1.5f * static_cast<float>(std::sin(0.05 * n));
  }
  const auto start = std::chrono::steady_clock::now();
  std::size_t handed = 0;
  for (auto _ : state) {
    tolvaren::OutputStage stage(kRate, 1.0f, true,
                                [&](std::vector<float> chunk) {
                                  handed += chunk.size();
                                  return absl::OkStatus();
                                });
    for (std::size_t at = 0; at < audio.size(); at += 10800) {
      const auto end = audio.begin() + std::min(at + 10800, audio.size());
      if (!stage.Speech({audio.begin() + at, end}).ok()) return;
    }
    if (!stage.Finish().ok()) return;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  state.counters["rtf"] = seconds / (static_cast<double>(handed) / kRate);
}
BENCHMARK(BM_OutputStage)->Iterations(10)->Unit(benchmark::kMillisecond);

long PeakRssKb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Peak memory for a text of state.range(0) characters (the long text
// repeated), beyond what start-up reached. Run one size per process (the
// peak is the process's): --benchmark_filter=LongTextMemory/2000/. The
// acoustic model runs over bounded pieces, so the growth should be the
// audio and mel buffers (linear in the text) plus a bounded working set.
void BM_SynthesisLongTextMemory(benchmark::State& state) {
  tolvaren::Tool& tool = SharedTool();
  std::string text;
  while (speechnn::Utf8Length(text) <
         static_cast<std::size_t>(state.range(0))) {
    text += kLong;
  }
  const long before = PeakRssKb();
  for (auto _ : state) {
    std::size_t samples = 0;
    Stages stages;
    if (!SynthesizeToFile(tool, text, samples, stages, false)) {
      state.SkipWithError("synthesis failed");
      return;
    }
    state.counters["audio_s"] =
        static_cast<double>(samples) / tool.voice().sample_rate;
  }
  state.counters["chars"] = static_cast<double>(speechnn::Utf8Length(text));
  state.counters["peak_rss_mb"] = static_cast<double>(PeakRssKb()) / 1024.0;
  state.counters["peak_growth_mb"] =
      static_cast<double>(PeakRssKb() - before) / 1024.0;
}
BENCHMARK(BM_SynthesisLongTextMemory)
    ->Arg(200)
    ->Arg(2000)
    ->Arg(8000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
