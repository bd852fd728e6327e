// The engine's piece-by-piece synthesis against a whole run over the joined
// mel, with the small known models (one frame per id, 300 samples a frame).

#include "tool/synth/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tool/synth/chunk_plan.h"
#include "tool/tool.h"
#include "tool_test_support.h"

namespace tolvaren {
namespace {

constexpr int64_t kPause = 13;  // the fixture's sp

// `n` ids, pauses at `pauses`.
std::vector<int64_t> Ids(std::size_t n,
                         const std::vector<std::size_t>& pauses) {
  std::vector<int64_t> ids(n);
  for (std::size_t k = 0; k < n; ++k) ids[k] = 100 + static_cast<int64_t>(k);
  for (std::size_t at : pauses) ids[at] = kPause;
  return ids;
}

// `ids` as the engine speaks them at the end of an utterance: ending with a
// pause.
std::vector<int64_t> Ended(std::vector<int64_t> ids) {
  if (ids.back() != kPause) ids.push_back(kPause);
  return ids;
}

std::vector<float> Joined(const std::vector<std::vector<float>>& chunks) {
  std::vector<float> all;
  for (const auto& chunk : chunks)
    all.insert(all.end(), chunk.begin(), chunk.end());
  return all;
}

class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    QuietEnvironment();
    setup_ = new ToolSetup();
    CaptureStdout();
    CaptureStderr();
    tool_ = new Tool(setup_->conf_path);
    GetCapturedStdout();
    GetCapturedStderr();
  }
  static void TearDownTestSuite() {
    CaptureStdout();
    delete tool_;
    GetCapturedStdout();
    delete setup_;
  }

  // The samples of one run over the joined mel of `ids`, chunk by chunk.
  static std::vector<std::vector<float>> WholeRun(std::vector<int64_t> ids) {
    SynthesisEngine& engine = tool_->engine().unguarded_parts().synth;
    std::vector<std::vector<float>> chunks;
    CaptureStdout();
    absl::StatusOr<MelSpectrogram> mel =
        engine.acoustic().PredictMel(ids, kPause, std::nullopt);
    if (mel.ok()) {
      const ChunkPlan plan =
          ChunkPlan::ForFrames(static_cast<int32_t>(mel->frames));
      EXPECT_TRUE(engine.vocoder().Vocode(*mel, plan, 300, chunks).ok());
    }
    GetCapturedStdout();
    EXPECT_TRUE(mel.ok()) << mel.status();
    return chunks;
  }

  static ToolSetup* setup_;
  static Tool* tool_;
};

ToolSetup* EngineTest::setup_ = nullptr;
Tool* EngineTest::tool_ = nullptr;

TEST_F(EngineTest, PiecesStreamTheWholeRunsChunksAndReportWhereTheyBegin) {
  struct Case {
    std::vector<int64_t> ids;
    std::size_t first_piece_phones;
    std::size_t max_piece_phones;
    std::size_t pieces;
  };
  const Case cases[] = {
      {Ids(30, {}), 0, 256, 1},                 // one piece, one chunk
      {Ids(200, {59, 120, 170}), 0, 64, 4},     // cut at every pause
      {Ids(200, {59, 120, 170}), 55, 256, 2},   // a short first piece
      {Ids(200, {3, 59, 120, 170}), 8, 64, 4},  // first ends at 60
      {Ids(130, {}), 0, 40, 4},                 // no pause: at the limit
      // Pieces under a chunk; the appended pause is one more piece.
      {Ids(37, {0, 1, 2}), 1, 2, 20},
  };
  for (const Case& c : cases) {
    std::vector<PieceReport> reports;
    EngineRequest request;
    request.first_piece_phones = c.first_piece_phones;
    request.max_piece_phones = c.max_piece_phones;
    request.on_piece = [&](const PieceReport& report) {
      reports.push_back(report);
    };
    std::vector<std::vector<float>> chunks;
    CaptureStdout();
    const absl::Status status = tool_->engine().Synthesize(
        {Segment{c.ids, 1.0f, 0, false, {}}},
        [&](std::vector<float> chunk) {
          chunks.push_back(std::move(chunk));
          return absl::OkStatus();
        },
        request);
    GetCapturedStdout();
    ASSERT_TRUE(status.ok()) << status;
    ASSERT_EQ(reports.size(), c.pieces) << c.ids.size();
    // The same chunks, sample for sample, as vocoding the joined mel.
    const std::vector<std::vector<float>> whole = WholeRun(Ended(c.ids));
    ASSERT_EQ(chunks.size(), whole.size());
    for (std::size_t k = 0; k < whole.size(); ++k) {
      EXPECT_EQ(chunks[k], whole[k]) << "chunk " << k;
    }
    // Handed on as soon as final, as streamed speech is: the same samples.
    std::vector<std::string> events;
    std::vector<float> early;
    request.chunks_as_vocoded = false;
    request.on_piece = [&](const PieceReport&) { events.push_back("piece"); };
    CaptureStdout();
    ASSERT_TRUE(tool_->engine()
                    .Synthesize(
                        {Segment{c.ids, 1.0f, 0, false, {}}},
                        [&](std::vector<float> chunk) {
                          events.push_back("chunk");
                          early.insert(early.end(), chunk.begin(), chunk.end());
                          return absl::OkStatus();
                        },
                        request)
                    .ok());
    GetCapturedStdout();
    EXPECT_EQ(early, Joined(whole));
    // The reports hold the segment's own ids; the appended pause is one
    // more frame of the last piece.
    std::size_t phones = 0;
    for (const PieceReport& report : reports) {
      EXPECT_EQ(report.phone_begin, phones);
      EXPECT_EQ(report.first_sample, static_cast<int64_t>(phones) * 300);
      const bool ends = &report == &reports.back() && c.ids.back() != kPause;
      EXPECT_EQ(report.frames,
                static_cast<int64_t>(report.phone_end - report.phone_begin) +
                    (ends ? 1 : 0));
      phones = report.phone_end;
    }
    EXPECT_EQ(phones, c.ids.size());
    // Where the first piece fills a chunk's window, streamed samples are
    // handed on before the last piece runs.
    if (c.pieces > 1 &&
        reports.front().frames >= kWindowFrames - kContextFrames) {
      const auto first_chunk = std::find(events.begin(), events.end(), "chunk");
      const auto last_piece =
          std::find(events.rbegin(), events.rend(), "piece").base() - 1;
      EXPECT_LT(first_chunk, last_piece) << c.ids.size();
    }
  }
}

// Speech that stops (before a silence, at the end) ends on a pause and, at
// this volume loud enough there, fades to 0 over its last 20 ms (480
// samples); all else is the vocoded samples at the volume.
TEST_F(EngineTest, SegmentsStopWithADecayBeforeTheirSilence) {
  const std::vector<int64_t> ids = Ids(200, {59, 120, 170});
  const std::vector<Segment> segments = {{Ids(20, {}), 1.0f, 700, false, {}},
                                         {ids, 1.0f, 0, false, {}}};
  std::vector<int64_t> starts;
  EngineRequest request;
  request.max_piece_phones = 64;
  request.volume = 2.0f;
  request.on_piece = [&](const PieceReport& report) {
    starts.push_back(report.first_sample);
  };
  std::vector<std::vector<float>> chunks;
  CaptureStdout();
  ASSERT_TRUE(tool_->engine()
                  .Synthesize(
                      segments,
                      [&](std::vector<float> chunk) {
                        chunks.push_back(std::move(chunk));
                        return absl::OkStatus();
                      },
                      request)
                  .ok());
  GetCapturedStdout();
  std::vector<float> expected = Joined(WholeRun(Ended(Ids(20, {}))));
  expected.insert(expected.end(), 700, 0.0f);
  const std::vector<float> second = Joined(WholeRun(Ended(ids)));
  expected.insert(expected.end(), second.begin(), second.end());
  const std::vector<float> spoken = Joined(chunks);
  ASSERT_EQ(spoken.size(), expected.size());
  const std::vector<std::size_t> stops = {21 * 300, expected.size()};
  for (std::size_t n = 0; n < spoken.size(); ++n) {
    const bool fading = std::any_of(stops.begin(), stops.end(), [&](auto at) {
      return n < at && n + 480 >= at;
    });
    if (fading) {
      ASSERT_LT(spoken[n], 2 * expected[n]) << n;
    } else {
      ASSERT_EQ(spoken[n], 2 * expected[n]) << n;
    }
  }
  EXPECT_EQ(spoken[stops[0] - 1], 0.0f);
  EXPECT_EQ(spoken.back(), 0.0f);
  EXPECT_EQ(starts, (std::vector<int64_t>{0, 7000, 7000 + 60 * 300,
                                          7000 + 121 * 300, 7000 + 171 * 300}));
}

TEST_F(EngineTest, ASinkStopsAtOnce) {
  // Stopped at the first samples handed on: no later piece runs.
  std::size_t pieces = 0;
  EngineRequest request;
  request.max_piece_phones = 64;
  request.chunks_as_vocoded = false;
  request.on_piece = [&](const PieceReport&) { ++pieces; };
  CaptureStdout();
  const absl::Status stopped = tool_->engine().Synthesize(
      {Segment{Ids(200, {59, 120, 170}), 1.0f, 0, false, {}}},
      [](std::vector<float>) { return absl::CancelledError("stop"); }, request);
  GetCapturedStdout();
  EXPECT_TRUE(absl::IsCancelled(stopped)) << stopped;
  EXPECT_EQ(pieces, 1u);
}

}  // namespace
}  // namespace tolvaren
