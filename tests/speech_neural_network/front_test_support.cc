#include "speech_neural_network/front_test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace speechnn {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tolvaren_test_XXXXXX")
          .string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::WriteFile(const std::string& name,
                               const std::string& contents) const {
  const std::string full = path_ + "/" + name;
  std::ofstream file(full, std::ios::binary | std::ios::trunc);
  file << contents;
  if (!file) throw std::runtime_error("cannot write " + full);
  return full;
}

CommandResult RunCommand(const std::string& command) {
  CommandResult result{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t read;
  while ((read = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
    result.out.append(buffer, read);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string WriteFrontConf(const TempDir& dir, const FrontFixture& fixture) {
  const std::string jieba_dir = TOLVAREN_JIEBA_DICT_DIR;
  const std::string word2phone =
      dir.WriteFile("word2phone.dict", fixture.word2phone);
  const std::string phone2id = dir.WriteFile("phone2id.dict", fixture.phone2id);
  const std::string tone2id = dir.WriteFile("tone2id.dict", fixture.tone2id);
  const std::string idf = dir.WriteFile("idf.utf8", "的 1.0\n");
  const std::string stop_words = dir.WriteFile("stop_words.utf8", "的\n");
  const std::string user_dict =
      dir.WriteFile("user.dict.utf8", fixture.user_dict);
  std::string conf;
  conf += "--jieba_dict_path=" + jieba_dir + "/jieba.dict.utf8\n";
  conf += "--jieba_hmm_path=" + jieba_dir + "/hmm_model.utf8\n";
  conf += "--jieba_user_dict_path=" + user_dict + "\n";
  conf += "--jieba_idf_path=" + idf + "\n";
  conf += "--jieba_stop_word_path=" + stop_words + "\n";
  conf += std::string("--seperate_tone=") +
          (fixture.separate_tone ? "true" : "false") + "\n";
  conf += "--word2phone_path=" + word2phone + "\n";
  conf += "--phone2id_path=" + phone2id + "\n";
  conf += "--tone2id_path=" + tone2id + "\n";
  return dir.WriteFile("front.conf", conf);
}

std::unique_ptr<FrontEngineInterface> MakeFront(const TempDir& dir,
                                                const FrontFixture& fixture) {
  auto front =
      std::make_unique<FrontEngineInterface>(WriteFrontConf(dir, fixture));
  if (front->Init() != 0) {
    throw std::runtime_error("fixture front end failed to initialise");
  }
  return front;
}

}  // namespace speechnn
