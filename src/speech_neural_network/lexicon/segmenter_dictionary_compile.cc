// Compiling dictionary words into the flat trie of segmenter_dictionary.h,
// and reading the words from the dictionary texts. The weights and the trie
// are those the segmenter's own loader makes of the same texts: the same
// parsing of each field, the same sums in the same order, the later of two
// equal words kept.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>

#include "common/content_checksum.h"
#include "cppjieba/Unicode.hpp"
#include "speech_neural_network/lexicon/segmenter_dictionary.h"
#include "speech_neural_network/lexicon/segmenter_dictionary_block.h"
#include "speech_neural_network/lexicon/segmenter_files.h"

namespace speechnn {
namespace {

// Calls `take` with each line of `text` as std::getline gives them.
template <typename Take>
void ForEachLine(std::string_view text, Take take) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    take(text.substr(start, end - start));
    start = end + 1;
  }
}

std::vector<Rune> RunesOf(std::string_view word) {
  cppjieba::Unicode runes;
  cppjieba::DecodeUTF8RunesInString(word.data(), word.size(), runes);
  return std::vector<Rune>(runes.begin(), runes.end());
}

// The trie while it is built: one node per distinct prefix.
struct TrieBuilder {
  // (parent << 32 | rune) to child
  std::unordered_map<std::uint64_t, std::uint32_t> children;
  // per node, the number + 1 of the word that ends there (0: none)
  std::vector<std::uint32_t> node_word{0};

  void Insert(const std::vector<Rune>& runes, std::uint32_t word) {
    if (runes.empty()) return;
    std::uint32_t node = 0;
    for (const Rune rune : runes) {
      const std::uint64_t key = (std::uint64_t{node} << 32) | rune;
      const auto [it, added] = children.try_emplace(
          key, static_cast<std::uint32_t>(node_word.size()));
      if (added) node_word.push_back(0);
      node = it->second;
    }
    node_word[node] = word + 1;
  }
};

template <typename T>
void Append(std::string& block, const std::vector<T>& values) {
  block.append(reinterpret_cast<const char*>(values.data()),
               values.size() * sizeof(T));
}

}  // namespace

std::string SegmenterDictionary::Compile(
    const std::vector<DictionaryWord>& words,
    const DictionaryWeights& weights) {
  TrieBuilder trie;
  for (std::size_t i = 0; i < words.size(); ++i) {
    trie.Insert(words[i].runes, static_cast<std::uint32_t>(i));
  }
  // Edges grouped by parent, in rune order.
  std::vector<std::tuple<std::uint32_t, Rune, std::uint32_t>> edges;
  edges.reserve(trie.children.size());
  for (const auto& [key, child] : trie.children) {
    edges.emplace_back(static_cast<std::uint32_t>(key >> 32),
                       static_cast<Rune>(key & 0xFFFFFFFFu), child);
  }
  std::sort(edges.begin(), edges.end());
  const std::size_t count = trie.node_word.size();
  std::vector<std::uint32_t> first(count + 1, 0);  // per builder node
  for (const auto& edge : edges) ++first[std::get<0>(edge) + 1];
  for (std::size_t node = 0; node < count; ++node)
    first[node + 1] += first[node];

  // Nodes with edges numbered breadth first from the root; words numbered
  // as their edges come.
  std::vector<std::uint32_t> number(count, 0);
  std::vector<std::uint32_t> order{0};
  std::vector<std::uint32_t> word_number(words.size(), 0);
  std::vector<double> word_weights;
  std::vector<std::uint32_t> word_tags;
  std::map<std::string, std::uint32_t> tag_numbers;
  std::vector<std::uint32_t> node_edges{0};
  std::vector<Edge> out;
  out.reserve(edges.size());
  for (std::size_t next = 0; next < order.size(); ++next) {
    const std::uint32_t node = order[next];
    for (std::uint32_t at = first[node]; at < first[node + 1]; ++at) {
      const std::uint32_t child = std::get<2>(edges[at]);
      Edge edge{std::get<1>(edges[at]), 0, 0};
      if (first[child + 1] > first[child]) {
        number[child] = static_cast<std::uint32_t>(order.size());
        order.push_back(child);
        edge.child = number[child];
      }
      if (const std::uint32_t word = trie.node_word[child]; word != 0) {
        if (word_number[word - 1] == 0) {
          const DictionaryWord& entry = words[word - 1];
          word_weights.push_back(entry.weight);
          const auto [tag, added] = tag_numbers.try_emplace(
              entry.tag, static_cast<std::uint32_t>(tag_numbers.size()));
          word_tags.push_back(tag->second);
          word_number[word - 1] =
              static_cast<std::uint32_t>(word_weights.size());
        }
        edge.word = word_number[word - 1];
      }
      out.push_back(edge);
    }
    node_edges.push_back(static_cast<std::uint32_t>(out.size()));
  }
  std::vector<const std::string*> tag_texts(tag_numbers.size());
  for (const auto& [text, tag] : tag_numbers) tag_texts[tag] = &text;
  std::vector<std::uint32_t> tag_offsets{0};
  std::string tag_text;
  for (const std::string* text : tag_texts) {
    tag_text += *text;
    tag_offsets.push_back(static_cast<std::uint32_t>(tag_text.size()));
  }

  BlockTrailer trailer{};
  trailer.version = kFormatVersion;
  trailer.words = static_cast<std::uint32_t>(word_weights.size());
  trailer.nodes = static_cast<std::uint32_t>(order.size());
  trailer.edges = static_cast<std::uint32_t>(out.size());
  trailer.tags = static_cast<std::uint32_t>(tag_texts.size());
  trailer.tag_bytes = static_cast<std::uint32_t>(tag_text.size());
  trailer.min_weight = weights.min;
  trailer.median_weight = weights.median;
  trailer.frequency_sum = weights.frequency_sum;
  std::string block;
  block.reserve(LayoutOf(trailer).end + sizeof(trailer));
  Append(block, word_weights);
  Append(block, node_edges);
  Append(block, out);
  Append(block, word_tags);
  Append(block, tag_offsets);
  block += tag_text;
  block.resize(LayoutOf(trailer).end, '\0');
  trailer.body_checksum = tolvaren::ContentChecksum(block.data(), block.size());
  trailer.trailer_checksum = tolvaren::ContentChecksum(
      reinterpret_cast<const char*>(&trailer), kTrailerFields);
  std::memcpy(trailer.magic, kBlockMagic, sizeof(kBlockMagic));
  block.append(reinterpret_cast<const char*>(&trailer), sizeof(trailer));
  return block;
}

std::vector<DictionaryWord> ReadMainDictionary(std::string_view text,
                                               DictionaryWeights& weights) {
  std::vector<DictionaryWord> words;
  std::vector<std::string_view> fields;
  ForEachLine(text, [&](std::string_view line) {
    SplitLikeSegmenter(line, ' ', fields);
    if (fields.size() != 3) return;  // refused by the checks before
    DictionaryWord word;
    word.runes = RunesOf(fields[0]);
    word.weight = std::atof(std::string(fields[1]).c_str());
    word.tag = std::string(fields[2]);
    words.push_back(std::move(word));
  });
  double sum = 0.0;
  for (const DictionaryWord& word : words) sum += word.weight;
  std::vector<double> all;
  all.reserve(words.size());
  for (DictionaryWord& word : words) {
    word.weight = std::log(word.weight / sum);
    all.push_back(word.weight);
  }
  weights = {};
  weights.frequency_sum = sum;
  if (all.empty()) return words;
  weights.min = *std::min_element(all.begin(), all.end());
  std::nth_element(all.begin(), all.begin() + all.size() / 2, all.end());
  weights.median = all[all.size() / 2];
  return words;
}

void ReadUserDictionary(std::string_view text, const DictionaryWeights& weights,
                        std::vector<DictionaryWord>& words) {
  std::vector<std::string_view> fields;
  ForEachLine(text, [&](std::string_view line) {
    if (line.empty()) return;
    SplitLikeSegmenter(line, ' ', fields);
    DictionaryWord word;
    word.runes = RunesOf(fields.empty() ? line : fields[0]);
    word.weight = weights.median;
    if (fields.size() == 2) word.tag = std::string(fields[1]);
    if (fields.size() == 3) {
      const int frequency = std::atoi(std::string(fields[1]).c_str());
      word.weight = std::log(1.0 * frequency / weights.frequency_sum);
      word.tag = std::string(fields[2]);
    }
    words.push_back(std::move(word));
  });
}

}  // namespace speechnn
