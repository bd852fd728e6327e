// Throughput of sentence normalisation (the fourteen rewrite rules) on one
// core, over small corpora of realistic sentences. Reports sentences/s
// (items_per_second) and characters/s.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "speech_neural_network/normalize/normalization_rules.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

// Twenty characters each, no digits.
const char* const kProse[] = {
    "今天天气很好我们一起去公园散步吧好不好。",
    "这家餐厅的菜味道不错价格也很实惠值得去。",
    "请大家保持安静会议马上就要开始了谢谢你。",
    "他每天早上都坚持跑步身体越来越健康了呢。",
    "图书馆周末照常开放欢迎同学前来借阅书籍。",
    "春天来了花园里的花都开了真是非常漂亮啊。",
    "明天可能会下雨出门记得带上雨伞和外套哦。",
    "我们公司正在招聘有经验的软件工程师们呢。",
};

// Twenty characters each with a single one-digit number, so that every rule
// searches the sentence.
const char* const kProseWithNumber[] = {
    "我们第3次去公园散步今天的天气真好啊呢。",
    "这家餐厅排名第5菜的味道很不错值得去哦。",
    "请大家保持安静会议还有5分钟就开始了啊。",
    "他每天早上坚持跑步已经坚持了8年了呢啊。",
};

// Dates, clock times, telephone numbers, temperatures, percentages,
// fractions, ranges and quantities, one sentence each.
const char* const kDigitRich[] = {
    "会议定于2024年3月15日下午2:30在三楼召开。",
    "请在2023-12-25之前拨打13812345678联系我。",
    "北京今天最低气温-5℃最高气温12℃。",
    "本季度销售额增长了12.5%利润率约为3/4。",
    "他花了2000元买了3斤苹果和5瓶水。",
    "办公室电话是010-62345678分机号302。",
    "列车将于08:05:30从1号站台出发。",
    "这次考试有85%的学生得分在60-80之间。",
    "病人的体温是36.5°C属于正常范围。",
    "我们需要10多个人在3~5天内完成。",
    "请于+86 13912345678接听来电。",
    "全长1.5公里共有12座桥。",
};

template <std::size_t N>
std::vector<std::wstring> Widen(const char* const (&corpus)[N]) {
  std::vector<std::wstring> sentences;
  for (const char* sentence : corpus) {
    sentences.push_back(utf8string2wstring(sentence));
  }
  return sentences;
}

void RunCorpus(benchmark::State& state,
               const std::vector<std::wstring>& corpus) {
  std::size_t next = 0;
  std::int64_t characters = 0;
  std::wstring sentence;
  for (auto _ : state) {
    const std::wstring& source = corpus[next];
    next = next + 1 == corpus.size() ? 0 : next + 1;
    sentence = source;
    NormalizeSentence(sentence);
    benchmark::DoNotOptimize(sentence.data());
    characters += static_cast<std::int64_t>(source.size());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["chars/s"] = benchmark::Counter(
      static_cast<double>(characters), benchmark::Counter::kIsRate);
}

void BM_NormalizeProse(benchmark::State& state) {
  static const std::vector<std::wstring> corpus = Widen(kProse);
  RunCorpus(state, corpus);
}
BENCHMARK(BM_NormalizeProse);

void BM_NormalizeDigitRich(benchmark::State& state) {
  static const std::vector<std::wstring> corpus = Widen(kDigitRich);
  RunCorpus(state, corpus);
}
BENCHMARK(BM_NormalizeDigitRich);

void BM_NormalizeProseWithNumber(benchmark::State& state) {
  static const std::vector<std::wstring> corpus = Widen(kProseWithNumber);
  RunCorpus(state, corpus);
}
BENCHMARK(BM_NormalizeProseWithNumber);

// Prose and digit-rich sentences together, as a text would mix them.
void BM_NormalizeMixed(benchmark::State& state) {
  static const std::vector<std::wstring> corpus = [] {
    std::vector<std::wstring> sentences = Widen(kProse);
    for (std::wstring& s : Widen(kDigitRich)) sentences.push_back(s);
    return sentences;
  }();
  RunCorpus(state, corpus);
}
BENCHMARK(BM_NormalizeMixed);

// One sentence of 100,000 digits, read ten at a time as telephone numbers.
void BM_NormalizeLongDigitRun(benchmark::State& state) {
  static const std::vector<std::wstring> corpus = [] {
    std::wstring run;
    for (int i = 0; i < 10000; ++i) run += L"1234567890";
    return std::vector<std::wstring>{run};
  }();
  RunCorpus(state, corpus);
}
BENCHMARK(BM_NormalizeLongDigitRun)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace speechnn
