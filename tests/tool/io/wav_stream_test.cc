// The WAV header every output writes, byte for byte, for each sample
// format, to a pipe (streaming sizes) and to a regular file (real sizes),
// with and without samples.

#include "tool/io/wav_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"
#include "tool/io/pcm16.h"
#include "tool/io/wav_file.h"

namespace tolvaren {
namespace {

uint32_t Get32(const std::vector<unsigned char>& bytes, std::size_t at) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

std::string Tag(const std::vector<unsigned char>& bytes, std::size_t at) {
  return std::string(bytes.begin() + at, bytes.begin() + at + 4);
}

// Streams `samples` through a pipe or a regular file and returns what
// arrived.
std::vector<unsigned char> Streamed(WavSamples format, bool pipe_output,
                                    const std::vector<float>& samples,
                                    const std::string& path) {
  int fds[2] = {-1, -1};
  if (pipe_output) {
    EXPECT_EQ(pipe(fds), 0);
  } else {
    fds[1] = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    fds[0] = open(path.c_str(), O_RDONLY);
  }
  WavStream stream(fds[1], format, 16000, /*header=*/true);
  EXPECT_TRUE(stream.Begin());
  EXPECT_TRUE(stream.Write(samples.data(), samples.size()));
  EXPECT_TRUE(stream.End());
  close(fds[1]);
  std::vector<unsigned char> bytes(4096);
  const ssize_t got = read(fds[0], bytes.data(), bytes.size());
  close(fds[0]);
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

TEST(WavStreamTest, HeaderBytesForEachFormatAndOutput) {
  speechnn::TempDir dir;
  constexpr uint32_t kUnknown = 0xFFFFFFFFu;
  struct Row {
    WavSamples format;
    bool pipe;
    std::vector<float> samples;
    std::size_t header_bytes;
    uint32_t fmt_bytes, format_tag, riff, data;
    bool fact;  // a fact chunk, counting the samples (or unknown)
  };
  const std::vector<Row> rows = {
      {WavSamples::kPcm16, false, {0.5f, -2.0f}, 44, 16, 1, 40, 4, false},
      {WavSamples::kPcm16, false, {}, 44, 16, 1, 36, 0, false},
      {WavSamples::kPcm16,
       true,
       {0.5f, -2.0f},
       44,
       16,
       1,
       kUnknown,
       kUnknown,
       false},
      {WavSamples::kPcm16, true, {}, 44, 16, 1, kUnknown, kUnknown, false},
      {WavSamples::kFloat32, false, {0.5f, -2.0f}, 58, 18, 3, 58, 8, true},
      {WavSamples::kFloat32, false, {}, 58, 18, 3, 50, 0, true},
      {WavSamples::kFloat32,
       true,
       {0.5f, -2.0f},
       58,
       18,
       3,
       kUnknown,
       kUnknown,
       true},
      {WavSamples::kFloat32, true, {}, 58, 18, 3, kUnknown, kUnknown, true},
  };
  int n = 0;
  for (const Row& row : rows) {
    const std::string name = "row " + std::to_string(n);
    const std::vector<unsigned char> bytes = Streamed(
        row.format, row.pipe, row.samples, dir.path() + "/" + name + ".wav");
    const std::size_t sample_bytes = row.format == WavSamples::kPcm16 ? 2 : 4;
    ASSERT_EQ(bytes.size(),
              row.header_bytes + sample_bytes * row.samples.size())
        << name;
    EXPECT_EQ(Tag(bytes, 0) + Tag(bytes, 8) + Tag(bytes, 12), "RIFFWAVEfmt ")
        << name;
    EXPECT_EQ(Get32(bytes, 4), row.riff) << name;
    EXPECT_EQ(Get32(bytes, 16), row.fmt_bytes) << name;
    EXPECT_EQ(bytes[20] | bytes[21] << 8, static_cast<int>(row.format_tag))
        << name;
    EXPECT_EQ(Get32(bytes, 24), 16000u) << name;
    EXPECT_EQ(Get32(bytes, 28), 16000u * sample_bytes) << name;
    std::size_t at = 36;
    if (row.fact) {
      EXPECT_EQ(bytes[36] | bytes[37] << 8, 0) << name;  // cbSize
      EXPECT_EQ(Tag(bytes, 38), "fact") << name;
      EXPECT_EQ(Get32(bytes, 42), 4u) << name;
      EXPECT_EQ(Get32(bytes, 46), row.pipe ? kUnknown : row.samples.size())
          << name;
      at = 50;
    }
    EXPECT_EQ(Tag(bytes, at), "data") << name;
    EXPECT_EQ(Get32(bytes, at + 4), row.data) << name;
    ++n;
  }
}

TEST(WavStreamTest, SamplesAreEncodedAndRealSizesLandAtTheHeadersPlace) {
  speechnn::TempDir dir;
  // Standard output redirected into a file that already holds other text:
  // the header is rewritten where it began, not at the file's start.
  const std::string path = dir.path() + "/after.wav";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_EQ(write(fd, "log\n", 4), 4);
  WavStream stream(fd, WavSamples::kPcm16, 8000, /*header=*/true);
  const float samples[] = {1.0f, -1.0f, 0.5f};
  ASSERT_TRUE(stream.Begin() && stream.Write(samples, 3) && stream.End());
  std::vector<unsigned char> bytes(64);
  ASSERT_EQ(pread(fd, bytes.data(), bytes.size(), 0), 4 + 44 + 6);
  close(fd);
  bytes.resize(54);
  EXPECT_EQ(Tag(bytes, 0) + Tag(bytes, 4), "log\nRIFF");
  EXPECT_EQ(Get32(bytes, 8), 42u);
  EXPECT_EQ(Get32(bytes, 44), 6u);
  // Full scale is 32767 either way; a half rounds to the even 16384.
  const std::vector<unsigned char> pcm = {0xFF, 0x7F, 0x01, 0x80, 0x00, 0x40};
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 48, bytes.end()), pcm);

  // Opened for appending (>>), a rewrite would land at the end: the
  // streaming sizes stay and nothing is added.
  const std::string appended = dir.path() + "/appended.wav";
  const int append_fd =
      open(appended.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  WavStream append(append_fd, WavSamples::kPcm16, 8000, /*header=*/true);
  ASSERT_TRUE(append.Begin() && append.Write(samples, 3) && append.End());
  close(append_fd);
  EXPECT_EQ(std::filesystem::file_size(appended), 44u + 6u);
}

// tolvaren_say's stream and the file writer of the library and
// tolvaren_tts_wav (and the ROS node's EncodePcm16) give the same integers:
// clamped to full scale, rounded to the nearest, halves to even, NaN as 0.
TEST(WavStreamTest, EveryWriterGivesTheSameSixteenBitSamples) {
  speechnn::TempDir dir;
  const std::vector<float> floats = {0.0f,  0.99f, -0.5f,        1.5f,
                                     -3.0f, 1e-4f, std::nanf("")};
  const std::vector<int16_t> expected = {0, 32439, -16384, 32767, -32767, 3, 0};
  for (std::size_t i = 0; i < floats.size(); ++i) {
    EXPECT_EQ(Pcm16Of(floats[i]), expected[i]) << i;
  }
  std::vector<unsigned char> encoded(2 * floats.size());
  EncodePcm16(floats.data(), floats.size(), encoded.data());
  const std::vector<unsigned char> streamed =
      Streamed(WavSamples::kPcm16, false, floats, dir.path() + "/s.wav");
  const std::string file = dir.path() + "/f.wav";
  ASSERT_TRUE(WriteWavFile(file, floats.data(), floats.size(), 16000,
                           WavSamples::kPcm16)
                  .ok());
  std::vector<unsigned char> written(4096);
  const int fd = open(file.c_str(), O_RDONLY);
  written.resize(static_cast<std::size_t>(read(fd, written.data(), 4096)));
  close(fd);
  EXPECT_EQ(std::vector<unsigned char>(streamed.begin() + 44, streamed.end()),
            encoded);
  EXPECT_EQ(std::vector<unsigned char>(written.begin() + 44, written.end()),
            encoded);
}

}  // namespace
}  // namespace tolvaren
