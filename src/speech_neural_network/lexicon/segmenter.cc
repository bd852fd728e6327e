#include "speech_neural_network/lexicon/segmenter.h"

#include <algorithm>

#include "absl/status/status.h"
#include "common/bounded_file.h"
#include "cppjieba/DictTrie.hpp"
#include "cppjieba/FullSegment.hpp"
#include "cppjieba/HMMModel.hpp"
#include "cppjieba/MixSegment.hpp"
#include "cppjieba/QuerySegment.hpp"
#include "speech_neural_network/lexicon/segmenter_files.h"

namespace speechnn {
namespace {

// The user dictionary may list several files separated by '|' or ';', as the
// library accepts.
std::vector<std::string> FileList(const std::string& paths) {
  std::vector<std::string> files;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = paths.find_first_of("|;", start);
    files.push_back(paths.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return files;
}

// Every file cppjieba would read is checked for what it would refuse; the
// two files only named (IDF, stop words) need only open.
absl::Status CheckSegmenterFiles(const SegmenterFiles& files) {
  for (const std::string* path :
       {&files.dict, &files.hmm, &files.idf, &files.stop_word}) {
    if (path->empty()) return absl::NotFoundError("Jieba file path is empty");
  }
  if (absl::Status status = CheckSegmenterDictionary(files.dict);
      !status.ok()) {
    return status;
  }
  if (absl::Status status = CheckSegmenterHmmModel(files.hmm); !status.ok()) {
    return status;
  }
  if (!files.user_dict.empty()) {
    for (const std::string& file : FileList(files.user_dict)) {
      if (file.empty()) return absl::NotFoundError("Jieba file path is empty");
      if (absl::Status status = CheckSegmenterUserDictionary(file);
          !status.ok()) {
        return status;
      }
    }
  }
  // The segmenter reads these itself: they are checked with the same
  // bound, so that it never reads a FIFO or a device.
  for (const std::string* path : {&files.idf, &files.stop_word}) {
    const absl::Status usable =
        tolvaren::CheckBoundedFile(*path, tolvaren::kMaxTableBytes);
    if (absl::IsNotFound(usable)) {
      return absl::NotFoundError("Cannot open jieba file: " + *path);
    }
    if (!usable.ok() && !absl::IsDataLoss(usable)) {
      return absl::Status(usable.code(),
                          "Bad jieba file: " + std::string(usable.message()));
    }
  }
  return absl::OkStatus();
}

// An empty user dictionary path would make the library fall back to a path
// fixed when it was compiled; an always-empty file keeps the "no user
// dictionary" meaning without depending on that.
constexpr char kNoUserDictionary[] = "/dev/null";

}  // namespace

// What the front end's cuts need of cppjieba::Jieba, built the same way from
// the same files. Jieba would also load the IDF table and the stop words for
// its keyword extractor (a quarter of a million entries), which no cut
// reads: those files are checked and named in the configuration, not
// loaded.
struct Segmenter::Parts {
  Parts(const std::string& dict, const std::string& hmm,
        const std::string& user_dict)
      : trie(dict, user_dict),
        model(hmm),
        mixed(&trie, &model),
        search(&trie, &model) {}

  cppjieba::DictTrie trie;
  cppjieba::HMMModel model;
  cppjieba::MixSegment mixed;
  cppjieba::QuerySegment search;
};

absl::StatusOr<std::unique_ptr<Segmenter>> Segmenter::Create(
    const SegmenterFiles& files) {
  if (absl::Status status = CheckSegmenterFiles(files); !status.ok()) {
    return status;
  }
  return std::unique_ptr<Segmenter>(new Segmenter(std::make_unique<Parts>(
      files.dict, files.hmm,
      files.user_dict.empty() ? std::string(kNoUserDictionary)
                              : files.user_dict)));
}

Segmenter::Segmenter(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

Segmenter::~Segmenter() = default;

WordTagList Segmenter::Tag(const std::string& sentence) const {
  WordTagList tagged;
  parts_->mixed.Tag(sentence, tagged);
  return tagged;
}

std::vector<std::string> Segmenter::FullCut(const std::string& word) const {
  cppjieba::FullSegment full(&parts_->trie);
  std::vector<std::string> pieces;
  full.Cut(word, pieces);
  return pieces;
}

std::vector<std::string> Segmenter::MixedCut(const std::string& word) const {
  std::vector<std::string> pieces;
  parts_->mixed.Cut(word, pieces, true);
  return pieces;
}

std::optional<WordSplit> Segmenter::SplitWord(const std::string& word) const {
  std::vector<cppjieba::Word> pieces;
  parts_->search.Cut(word, pieces, true);
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const cppjieba::Word& a, const cppjieba::Word& b) {
                     return a.word.size() < b.word.size();
                   });
  if (pieces.empty() || pieces.front().word.empty()) return std::nullopt;
  const cppjieba::Word& shortest = pieces.front();
  const std::string& piece = shortest.word;

  std::size_t cut;
  if (word.compare(0, piece.size(), piece) == 0) {
    // The shortest piece opens the word: it is the first sub-word.
    cut = piece.size();
  } else if (word.size() > piece.size() &&
             word.compare(word.size() - piece.size(), piece.size(), piece) ==
                 0) {
    // It closes the word: the rest of the word, then the piece.
    cut = word.size() - piece.size();
  } else if (shortest.offset > 0 && shortest.offset < word.size()) {
    // It lies inside the word: cutting its length off the end would give
    // parts that do not spell the word, so the word is cut where the piece
    // starts.
    cut = shortest.offset;
  } else {
    return std::nullopt;
  }
  return WordSplit(word.substr(0, cut), word.substr(cut));
}

}  // namespace speechnn
