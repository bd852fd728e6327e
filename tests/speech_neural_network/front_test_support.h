// Shared helpers for front-end tests: temporary folders, small fixture
// resource files, and access to the front end's private tables.

#ifndef TOLVAREN_TTS_TESTS_SPEECH_NEURAL_NETWORK_FRONT_TEST_SUPPORT_H_
#define TOLVAREN_TTS_TESTS_SPEECH_NEURAL_NETWORK_FRONT_TEST_SUPPORT_H_

#include <memory>
#include <string>
#include <vector>

#include "speech_neural_network/front_interface.h"

namespace speechnn {

// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes `contents` to path()/name and returns the full path.
  std::string WriteFile(const std::string& name,
                        const std::string& contents) const;

 private:
  std::string path_;
};

// Exit status and output of a shell command.
struct CommandResult {
  int status;  // -1 when the command did not exit normally
  std::string out;
};
CommandResult RunCommand(const std::string& command);

// Contents of the resource files of a fixture front end. The segmenter uses
// the real cppjieba main dictionary and HMM model (so segmentation is
// realistic) with one-line IDF and stop-word files (so it builds quickly).
struct FrontFixture {
  std::string word2phone;  // lines "word phones"
  std::string phone2id;    // lines "symbol id"
  std::string tone2id;     // lines "tone id"; used when separate_tone
  bool separate_tone = false;
  std::string user_dict;  // cppjieba user dictionary lines; may be empty
};

// Writes the fixture into `dir` and returns the path of its front.conf.
std::string WriteFrontConf(const TempDir& dir, const FrontFixture& fixture);

// Builds and initialises a front end over the fixture (Init returned 0).
// Building the segmenter takes a noticeable time: share one instance per test
// suite (SetUpTestSuite) where the tests allow it.
std::unique_ptr<FrontEngineInterface> MakeFront(const TempDir& dir,
                                                const FrontFixture& fixture);

// Reads the private state of a front end.
class FrontEngineInterfaceTestPeer {
 public:
  static StringMap& conf_map(FrontEngineInterface& f) {
    return f.conf_entries_;
  }
  static const FrontConf& conf(FrontEngineInterface& f) { return f.conf_; }
  static WordPhoneTable& word2phone(FrontEngineInterface& f) {
    return f.lexicon_.mutable_words();
  }
  // The phone2id file as loaded.
  static const StringMap& phone2id(FrontEngineInterface& f) {
    return f.phone_id_text_;
  }
  static const IdTable& tone2id(FrontEngineInterface& f) { return f.tone_ids_; }
};

}  // namespace speechnn

#endif  // TOLVAREN_TTS_TESTS_SPEECH_NEURAL_NETWORK_FRONT_TEST_SUPPORT_H_
