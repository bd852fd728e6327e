// tolvaren_say as people and scripts run it: its text sources, its WAV
// output (files, a pipe, resampled), and its refusal of bad command lines;
// and the WAV converter's resampling.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tool/tool_test_support.h"

namespace tolvaren {
namespace {

using speechnn::CommandResult;

struct WavInfo {
  long long frames = -1;  // -1: not a readable WAV file
  int rate = 0;
};

WavInfo ReadWav(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  sf_close(file);
  return {static_cast<long long>(info.frames), info.samplerate};
}

class SayTest : public ::testing::Test {
 protected:
  // Runs `command` (shell syntax) with $SAY, $TTS and $WAV set, in the
  // setup's folder; standard error goes to err.txt.
  CommandResult Run(const std::string& command) {
    return speechnn::RunCommand(
        "cd '" + setup_.dir.path() + "' && export TOLVAREN_TTS_CONF='" +
        setup_.conf_path + "' SAY='" + TOLVAREN_SAY_BINARY + "' TTS='" +
        TOLVAREN_TTS_BINARY + "' WAV='" + TOLVAREN_WAV_BINARY + "' && (" +
        command + ") 2>err.txt");
  }
  std::string Path(const std::string& name) const {
    return setup_.dir.path() + "/" + name;
  }
  std::string Errors() const {
    return speechnn::RunCommand("cat '" + Path("err.txt") + "'").out;
  }

  ToolSetup setup_;
};

TEST_F(SayTest, ArgumentStandardInputAndFileModes) {
  ASSERT_EQ(Run("\"$SAY\" -o a.wav 你好").status, 0) << Errors();
  EXPECT_EQ(Errors(), "");  // no log, no configuration echo
  ASSERT_EQ(Run("\"$SAY\" -o b.wav --threads 1 -- 世界").status, 0) << Errors();
  ASSERT_EQ(Run("printf '你好\\n\\n世界\\r\\n' | \"$SAY\" -o both.wav").status,
            0)
      << Errors();
  ASSERT_EQ(Run("printf '你好\\n\\n世界\\n' > t.txt && \"$SAY\" -f t.txt "
                "--output-dir out")
                .status,
            0)
      << Errors();
  const WavInfo a = ReadWav(Path("a.wav"));
  const WavInfo b = ReadWav(Path("b.wav"));
  EXPECT_GT(a.frames, 0);
  EXPECT_EQ(a.rate, 24000);
  // The lines follow each other in one stream; the empty one is skipped.
  EXPECT_EQ(ReadWav(Path("both.wav")).frames, a.frames + b.frames);
  // One file per line, numbered by the line.
  EXPECT_EQ(ReadWav(setup_.out_dir + "/0001.wav").frames, a.frames);
  EXPECT_EQ(ReadWav(setup_.out_dir + "/0003.wav").frames, b.frames);
  EXPECT_FALSE(std::filesystem::exists(setup_.out_dir + "/0002.wav"));
}

TEST_F(SayTest, StandardOutputIsAWavStreamForPipes) {
  const CommandResult sox =
      Run("echo 你好 | \"$SAY\" -o - | sox -t wav - -n stat 2>&1 >/dev/null");
  ASSERT_EQ(sox.status, 0) << sox.out;
  ASSERT_EQ(Run("\"$SAY\" -o a.wav 你好").status, 0);
  const std::size_t read = sox.out.find("Samples read:");
  ASSERT_NE(read, std::string::npos) << sox.out;
  EXPECT_EQ(std::atoll(sox.out.c_str() + read + 13),
            ReadWav(Path("a.wav")).frames)
      << sox.out;
  // Raw samples: 16-bit, nothing else.
  const CommandResult raw = Run("\"$SAY\" -o - --raw 你好 | wc -c");
  EXPECT_EQ(std::atoll(raw.out.c_str()), 2 * ReadWav(Path("a.wav")).frames);
}

TEST_F(SayTest, ALongTextWithDotsAndSlashesIsSpoken) {
  std::string text;
  while (text.size() < 3 * 296) text += "你好";  // 296 characters
  text += "3.5/元";
  ASSERT_EQ(Run("\"$SAY\" -o long.wav '" + text + "'").status, 0) << Errors();
  EXPECT_GT(ReadWav(Path("long.wav")).frames, 100 * 300);
}

TEST_F(SayTest, ResamplingChangesTheCountAndKeepsTheDuration) {
  ASSERT_EQ(Run("\"$SAY\" -o a.wav 你好你好你好").status, 0);
  ASSERT_EQ(Run("\"$SAY\" -o r.wav --rate 16000 你好你好你好").status, 0);
  ASSERT_EQ(Run("\"$TTS\" 你好你好你好 >/dev/null && \"$WAV\" "
                "out/你好你好你好 c.wav --rate 16000")
                .status,
            0)
      << Errors();
  const WavInfo original = ReadWav(Path("a.wav"));
  for (const char* name : {"r.wav", "c.wav"}) {
    const WavInfo resampled = ReadWav(Path(name));
    EXPECT_EQ(resampled.rate, 16000) << name;
    EXPECT_NEAR(static_cast<double>(resampled.frames) / 16000,
                static_cast<double>(original.frames) / 24000, 1e-3)
        << name;
  }
}

// A markup file is one document whatever its lines: its break is exactly
// its silence; malformed markup is an error naming where, never spoken; the
// timings file of a voice that gives no durations holds its rate line.
TEST_F(SayTest, MarkupFilesAndTimings) {
  // Timings spell the pinyin with the inventory beside the dictionary.
  ASSERT_EQ(Run("cp '" TOLVAREN_PHONE_TABLE "' phones.tsv").status, 0);
  ASSERT_EQ(Run("\"$SAY\" -o a.wav 你好").status, 0) << Errors();
  ASSERT_EQ(Run("printf '<speak>你好\\n<break time=\"1s\"/>你好</speak>' > "
                "d.xml && \"$SAY\" --ssml -f d.xml -o m.wav --timings t.jsonl")
                .status,
            0)
      << Errors();
  EXPECT_EQ(ReadWav(Path("m.wav")).frames,
            2 * ReadWav(Path("a.wav")).frames + 24000);
  EXPECT_EQ(Run("head -1 t.jsonl").out, "{\"sample_rate\":24000}\n");
  // The pinyin printed is the document's, not its tags spelt out.
  EXPECT_EQ(Run("\"$SAY\" --ssml --phonemes -f d.xml").out,
            Run("\"$SAY\" --phonemes 你好你好").out);
  EXPECT_EQ(Run("\"$SAY\" --ssml -o x.wav '<speak>你好'").status, 1);
  EXPECT_NE(Errors().find("line 1, column"), std::string::npos) << Errors();
  EXPECT_EQ(Run("test -e x.wav").status, 1);
  // A document file's error names the file and the line in it, once.
  ASSERT_EQ(Run("printf '<speak>\\n\\n<x>' > bad.xml && \"$SAY\" --ssml -f "
                "bad.xml -o x.wav")
                .status,
            1);
  EXPECT_NE(Errors().find("bad.xml: line 3, column"), std::string::npos)
      << Errors();
  EXPECT_EQ(Errors().find("line 1: "), std::string::npos) << Errors();
}

TEST_F(SayTest, HelpAndListVoicesNameWhatThereIs) {
  const CommandResult list = Run("\"$SAY\" --list-voices");
  EXPECT_EQ(list.status, 0) << Errors();
  EXPECT_EQ(list.out,
            "default\t24000 Hz\tone speed only\tlicence not stated\n");
  const CommandResult help = Run("\"$SAY\" --help");
  EXPECT_EQ(help.status, 0) << Errors();
  for (const char* part :
       {"-f, --file", "--threads N", "--list-voices", "0.25 to 4",
        "  default: 24000 Hz, one speed only"}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
}

TEST_F(SayTest, BadCommandLinesAreUsageErrorsThatWriteNothing) {
  const std::vector<std::string> usage_errors = {
      "--hlep 你好",
      "-o",
      "--rate x -o a.wav 你好",
      "--rate 16k -o a.wav 你好",
      "--speed 0 -o a.wav 你好",
      "--volume 0 -o a.wav 你好",
      "--volume 8.5 -o a.wav 你好",
      "--volume loud -o a.wav 你好",
      "--threads 0 -o a.wav 你好",
      "--threads 1025 -o a.wav 你好",
      "-o a.wav --output-dir out 你好",
      "--device '' 你好",
  };
  for (const std::string& args : usage_errors) {
    const CommandResult result = Run("\"$SAY\" " + args);
    EXPECT_EQ(result.status, 2) << args;
    EXPECT_TRUE(result.out.empty()) << args;
    // One line, which points at the options.
    const std::string errors = Errors();
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << args;
    EXPECT_NE(errors.find("(see tolvaren_say --help)"), std::string::npos)
        << args;
    // The message names the option refused.
    const std::string option = args.substr(0, args.find(' '));
    if (option.rfind("--", 0) == 0) {
      EXPECT_NE(Errors().find(option), std::string::npos) << args;
    }
  }
  // What the voice cannot do fails before anything is written.
  for (const char* args : {"--speed 2", "--voice nobody"}) {
    EXPECT_EQ(Run(std::string("\"$SAY\" -o a.wav ") + args + " 你好").status, 1)
        << args;
    EXPECT_NE(Errors().find("tolvaren_say: "), std::string::npos) << args;
  }
  // A voice not found names those there are.
  EXPECT_NE(Errors().find("the voices are default"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Path("a.wav")));
  EXPECT_TRUE(std::filesystem::is_empty(setup_.out_dir));
}

}  // namespace
}  // namespace tolvaren
