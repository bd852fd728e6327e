// Compiles the segmenter's text dictionary into the block that start-up
// maps (src/speech_neural_network/lexicon/segmenter_dictionary.h).
//
//   compile_segmenter_dict TEXT_DICTIONARY OUTPUT
//
// The text is checked line by line first; the output is written under a
// temporary name and renamed into place, so a process that has the old
// file mapped keeps reading it whole.

#include <cstdio>
#include <iostream>
#include <string>

#include "common/bounded_file.h"
#include "replace_file.h"
#include "speech_neural_network/lexicon/segmenter_dictionary.h"
#include "speech_neural_network/lexicon/segmenter_files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: compile_segmenter_dict TEXT_DICTIONARY OUTPUT\n";
    return 2;
  }
  const std::string input = argv[1];
  const std::string output = argv[2];
  if (absl::Status checked = speechnn::CheckSegmenterDictionary(input);
      !checked.ok()) {
    std::cerr << checked.message() << "\n";
    return 1;
  }
  absl::StatusOr<std::string> text =
      tolvaren::ReadBoundedFile(input, tolvaren::kMaxTableBytes);
  if (!text.ok()) {
    std::cerr << text.status().message() << "\n";
    return 1;
  }
  speechnn::DictionaryWeights weights;
  const std::string block = speechnn::SegmenterDictionary::Compile(
      speechnn::ReadMainDictionary(*text, weights), weights);
  return ReplaceFile(output, block) ? 0 : 1;
}
