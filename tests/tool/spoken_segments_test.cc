// Requests made into the engine's segments, with the small known models (one
// frame of 300 samples per id): where a break's silence goes and how the
// markup's rates combine with the caller's speed.

#include "tool/spoken_segments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tool/tool.h"
#include "tool_test_support.h"

namespace tolvaren {
namespace {

// The tool `setup` configures, its start-up output swallowed.
std::unique_ptr<Tool> ToolWith(const ToolSetup& setup) {
  CaptureStdout();
  CaptureStderr();
  auto tool = std::make_unique<Tool>(setup.conf_path);
  GetCapturedStdout();
  GetCapturedStderr();
  return tool;
}

std::string AcousticModel(const std::string& name) {
  return "--fastspeech2_model_path=" + kModels + "/" + name + "\n";
}

SpokenPlan Plan(Tool& tool, const std::string& text, bool markup,
                double speed) {
  std::vector<speechnn::SpeechPart> parts;
  SpokenPlan plan;
  EXPECT_TRUE(ReadSpokenParts(text, markup, &parts, &plan.warnings).ok());
  EXPECT_TRUE(PlanSpokenSegments(tool.engine().unguarded_parts(), parts, speed,
                                 24000, &plan)
                  .ok())
      << text;
  return plan;
}

// The samples `text` is spoken in.
int64_t Length(Tool& tool, const std::string& text, bool markup) {
  SpokenPlan plan = Plan(tool, text, markup, 1.0);
  EngineRequest request;
  request.leading_silence = plan.leading_silence;
  int64_t samples = 0;
  CaptureStdout();
  EXPECT_TRUE(tool.engine()
                  .Synthesize(
                      plan.segments,
                      [&](std::vector<float> chunk) {
                        samples += static_cast<int64_t>(chunk.size());
                        return absl::OkStatus();
                      },
                      request)
                  .ok());
  GetCapturedStdout();
  return samples;
}

TEST(SpokenSegmentsTest, ABreakIsThePauseWhereItStands) {
  QuietEnvironment();
  const ToolSetup setup("/vocoder.onnx", AcousticModel("timed_acoustic.onnx"));
  std::unique_ptr<Tool> tool = ToolWith(setup);
  struct Case {
    std::string markup;
    std::string plain;  // the same words without the break
    int64_t added;      // what the break adds to them
  };
  const std::vector<Case> cases = {
      {"你好<break time=\"1s\"/>世界", "你好世界", 24000},
      // The comma's pause is the break's.
      {"你好，<break time=\"1s\"/>世界", "你好世界", 24000},
      {"你好<break time=\"1s\"/><break time=\"1s\"/>世界", "你好世界", 48000},
      {"<break time=\"500ms\"/>你好", "你好", 12000},
      // Shorter than the voice's own pause (one frame): that pause stays.
      {"你好<break time=\"5ms\"/>世界", "你好世界", 300},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Length(*tool, "<speak>" + c.markup + "</speak>", true),
              Length(*tool, c.plain, false) + c.added)
        << c.markup;
  }
}

// Texts either side of a break are spoken in one run, the break held at its
// pause, so that the words about it sound as at a pause in a sentence; a
// break at the end is the silence after.
TEST(SpokenSegmentsTest, TextsAboutABreakAreOneRun) {
  QuietEnvironment();
  const ToolSetup setup("/vocoder.onnx", AcousticModel("timed_acoustic.onnx"));
  std::unique_ptr<Tool> tool = ToolWith(setup);
  struct Case {
    std::string markup;
    std::size_t segments;
    std::vector<int64_t> held;  // the first segment's held samples
  };
  const std::vector<Case> cases = {
      {"你好<break time=\"1s\"/>世界", 1, {24000}},
      {"你好，<break time=\"1s\"/><break time=\"1s\"/>世界。再见", 1, {48000}},
      {"你<break time=\"1s\"/>好<break time=\"500ms\"/>世界", 1,
       {24000, 12000}},
      {"你好<break time=\"1s\"/>", 1, {}},
  };
  for (const Case& c : cases) {
    const SpokenPlan plan =
        Plan(*tool, "<speak>" + c.markup + "</speak>", true, 1.0);
    ASSERT_EQ(plan.segments.size(), c.segments) << c.markup;
    const Segment& first = plan.segments[0];
    std::vector<int64_t> held;
    for (const HeldPause& pause : first.held_pauses) {
      EXPECT_EQ(first.phone_ids[pause.index], tool->pause_id()) << c.markup;
      held.push_back(pause.samples);
    }
    EXPECT_EQ(held, c.held) << c.markup;
  }
}

TEST(SpokenSegmentsTest, NestedRatesMultiplyBeforeTheyAreKept) {
  QuietEnvironment();
  const ToolSetup setup("/vocoder.onnx", AcousticModel("scaled_acoustic.onnx"));
  std::unique_ptr<Tool> tool = ToolWith(setup);
  ASSERT_TRUE(tool->takes_duration_scale());
  struct Case {
    std::string outer, inner;
    double speed;
    float scale;  // 1 / the rate spoken
  };
  const std::vector<Case> cases = {
      {"100", "0.5", 0.25, 0.25f},  // 12.5 times: at most 4
      {"1%", "4", 1.0, 4.0f},       // 0.04 times: at least 0.25
      {"2", "0.5", 1.0, 1.0f},
      {"50%", "50%", 4.0, 1.0f},
  };
  for (const Case& c : cases) {
    const std::string text = "<speak><prosody rate=\"" + c.outer +
                             "\"><prosody rate=\"" + c.inner +
                             "\">你好</prosody></prosody></speak>";
    const SpokenPlan plan = Plan(*tool, text, true, c.speed);
    ASSERT_EQ(plan.segments.size(), 1u) << text;
    EXPECT_FLOAT_EQ(plan.segments[0].duration_scale, c.scale) << text;
  }
  // Thousands of parts out of range: the first few are named where they
  // stand, the rest counted.
  std::string many = "<speak>";
  for (int i = 0; i < 50; ++i) {
    many += "<prosody rate=\"20\">你</prosody><break time=\"0ms\"/>";
  }
  const SpokenPlan plan = Plan(*tool, many + "</speak>", true, 1.0);
  ASSERT_EQ(plan.warnings.size(), 4u);
  EXPECT_EQ(plan.warnings[0].rfind("line 1, column ", 0), 0u)
      << plan.warnings[0];
  EXPECT_NE(plan.warnings[3].find("47 more"), std::string::npos)
      << plan.warnings[3];
}

// A long text is read a block of sentences at a time, a segment each; its
// ids are those of the whole text read at once, pauses still collapsed
// where a run of them spans two blocks.
TEST(SpokenSegmentsTest, ALongTextIsReadInBlocksAsOneText) {
  QuietEnvironment();
  const ToolSetup setup("/vocoder.onnx", AcousticModel("timed_acoustic.onnx"));
  std::unique_ptr<Tool> tool = ToolWith(setup);
  const std::vector<std::pair<std::string, int>> cases = {
      {"今天天气很好，我们去公园散步。", 400},
      {"你好！？", 1500},
      {"好的。。。", 1200},
  };
  for (const auto& [sentence, times] : cases) {
    std::string text;
    for (int i = 0; i < times; ++i) text += sentence;
    std::vector<int> whole;
    ASSERT_TRUE(tool->frontProcess(text, whole)) << sentence;
    const SpokenPlan plan = Plan(*tool, text, false, 1.0);
    EXPECT_GT(plan.segments.size(), 2u) << sentence;
    std::vector<int64_t> joined;
    for (const Segment& segment : plan.segments) {
      joined.insert(joined.end(), segment.phone_ids.begin(),
                    segment.phone_ids.end());
    }
    EXPECT_EQ(joined, std::vector<int64_t>(whole.begin(), whole.end()))
        << sentence;
  }
}

}  // namespace
}  // namespace tolvaren
