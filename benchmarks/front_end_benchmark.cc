// Whole front-end throughput: Tool::frontProcess per sentence, one thread,
// over a corpus of modern prose (tools/corpus/make_prose_corpus.py).
//
//   TOLVAREN_CORPUS=FILE front_end_benchmark
//
// Reports sentences/s (items) and characters/s (bytes are UTF-8 bytes; the
// "chars" counter counts characters), and the share of sentences the front
// end could not convert.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "speech_neural_network/utf8_conversion.h"
#include "tool/tool.h"

namespace {

std::vector<std::string> LoadCorpus() {
  const char* path = std::getenv("TOLVAREN_CORPUS");
  std::ifstream file(path != nullptr ? path : TOLVAREN_DEFAULT_CORPUS);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

tolvaren::Tool& SharedTool() {
  static tolvaren::Tool* tool = [] {
    setenv("SPDLOG_STDOUT", "false", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
    setenv("SPDLOG_LEVEL", "info", 1);
    return new tolvaren::Tool(TOLVAREN_BENCH_CONF);
  }();
  return *tool;
}

void BM_FrontProcess(benchmark::State& state) {
  const std::vector<std::string> corpus = LoadCorpus();
  if (corpus.empty()) {
    state.SkipWithError("empty corpus: set TOLVAREN_CORPUS");
    return;
  }
  tolvaren::Tool& tool = SharedTool();
  std::size_t next = 0;
  int64_t sentences = 0;
  int64_t characters = 0;
  int64_t bytes = 0;
  int64_t failures = 0;
  std::vector<int> ids;
  for (auto _ : state) {
    const std::string& text = corpus[next];
    next = (next + 1) % corpus.size();
    ids.clear();
    if (!tool.frontProcess(text, ids)) ++failures;
    benchmark::DoNotOptimize(ids.data());
    ++sentences;
    characters += static_cast<int64_t>(speechnn::Utf8Length(text));
    bytes += static_cast<int64_t>(text.size());
  }
  state.SetItemsProcessed(sentences);
  state.SetBytesProcessed(bytes);
  state.counters["chars"] = benchmark::Counter(static_cast<double>(characters),
                                               benchmark::Counter::kIsRate);
  state.counters["us_per_sentence"] = benchmark::Counter(
      static_cast<double>(sentences),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["failed_share"] =
      static_cast<double>(failures) / static_cast<double>(sentences);
  state.counters["corpus"] = static_cast<double>(corpus.size());
}
BENCHMARK(BM_FrontProcess)->MinTime(5.0)->Unit(benchmark::kMicrosecond);

}  // namespace

// Start-up cost of the front end alone (configuration, segmenter, tables).
static void BM_FrontInit(benchmark::State& state) {
  const std::string conf =
      std::string(TOLVAREN_BENCH_RES_DIR) + "/conf/front.conf";
  for (auto _ : state) {
    speechnn::FrontEngineInterface front(conf);
    benchmark::DoNotOptimize(front.is_initialized());
  }
}
BENCHMARK(BM_FrontInit)->Iterations(5)->Unit(benchmark::kMillisecond);

// The building share of BM_FrontInit: the same front end, its teardown
// left out of the timing (a process that exits need not pay it).
static void BM_FrontBuild(benchmark::State& state) {
  const std::string conf =
      std::string(TOLVAREN_BENCH_RES_DIR) + "/conf/front.conf";
  for (auto _ : state) {
    auto front = std::make_unique<speechnn::FrontEngineInterface>(conf);
    benchmark::DoNotOptimize(front->is_initialized());
    state.PauseTiming();
    front.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FrontBuild)->Iterations(5)->Unit(benchmark::kMillisecond);
