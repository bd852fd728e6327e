// Every format of the table writes the utterance it is given, readable as
// that format.

#include "tool/io/output_formats.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"
#include "tool/io/chunk_file.h"

namespace tolvaren {
namespace {

// The samples and rate of a WAV file, through libsndfile.
std::vector<float> ReadWav(const std::string& path, SF_INFO& info) {
  info = {};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<float> samples(static_cast<std::size_t>(info.frames));
  sf_read_float(file, samples.data(), info.frames);
  sf_close(file);
  return samples;
}

TEST(OutputFormatsTest, EachFormatWritesTheConcatenatedChunks) {
  speechnn::TempDir dir;
  const std::vector<std::vector<float>> chunks = {{0.5f, -0.25f}, {}, {2.0f}};
  struct Case {
    const char* name;
    int subtype;  // 0 for the chunk file
    std::vector<float> expected;
  };
  const std::vector<Case> cases = {
      {"chunks", 0, {0.5f, -0.25f, 2.0f}},
      {"wav_float32", SF_FORMAT_FLOAT, {0.5f, -0.25f, 2.0f}},
      // 16-bit PCM clips what lies beyond full scale instead of wrapping.
      {"wav_pcm16", SF_FORMAT_PCM_16, {0.5f, -0.25f, 32767.0f / 32768.0f}},
  };
  ASSERT_EQ(OutputFormats().size(), cases.size());
  for (const Case& c : cases) {
    const OutputFormat* format = FindOutputFormat(c.name);
    ASSERT_NE(format, nullptr) << c.name;
    const std::string path = dir.path() + "/" + c.name;
    ASSERT_TRUE(format->write(path, chunks, 16000).ok()) << c.name;
    if (c.subtype == 0) {
      EXPECT_EQ(ReadChunkFile(path).value(), c.expected);
      continue;
    }
    SF_INFO info;
    const std::vector<float> samples = ReadWav(path, info);
    EXPECT_EQ(info.samplerate, 16000) << c.name;
    EXPECT_EQ(info.channels, 1) << c.name;
    EXPECT_EQ(info.format, SF_FORMAT_WAV | c.subtype) << c.name;
    ASSERT_EQ(samples.size(), c.expected.size()) << c.name;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      EXPECT_NEAR(samples[i], c.expected[i], 1e-4) << c.name << " " << i;
    }
  }
  EXPECT_EQ(FindOutputFormat("mp3"), nullptr);
  EXPECT_TRUE(absl::IsUnavailable(
      FindOutputFormat("wav_float32")
          ->write(dir.path() + "/missing/out.wav", chunks, 16000)));
}

}  // namespace
}  // namespace tolvaren
