// tolvaren_tts_front: shows what the text front end makes of a text, running
// exactly the code the synthesiser runs, for people who debug
// pronunciations.
//
//   tolvaren_tts_front [MODE] [--conf TOOL_CONF] [--phone-table TSV]
//                      [--verbose] (TEXT... | --file FILE|-)

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/bounded_file.h"
#include "common/log_text.h"
#include "speech_neural_network/front_interface.h"
#include "speech_neural_network/utf8_conversion.h"
#include "tool/conf/tool_conf.h"
#include "tool/front_inspect_options.h"
#include "tool/id_names.h"
#include "tool/logger.h"
#include "tool/phone_table.h"
#include "tool/spoken_segments.h"

namespace {

using speechnn::SentenceTrace;

using tolvaren::front_inspect::Mode;
using tolvaren::front_inspect::Options;

// Machine-readable output keeps one line per text whatever the text holds.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) {
    if (!joined.empty()) joined += ' ';
    joined += item;
  }
  return joined;
}

using tolvaren::IdNames;

class Inspector {
 public:
  Inspector(speechnn::FrontEngineInterface& front,
            const tolvaren::PhoneTable& table, Mode mode)
      : front_(front), names_(front), table_(table), mode_(mode) {}

  // Writes the result for one text; false when the text failed.
  bool Inspect(const std::string& text, std::ostream& out) {
    // Whatever tolvaren_say speaks is shown: only text that is not UTF-8
    // fails (the characters that name files are refused by file mode alone).
    const std::size_t offset = speechnn::FindInvalidUtf8(text);
    if (offset != std::string::npos) {
      return Fail(
          text, "invalid UTF-8 at byte offset " + std::to_string(offset), out);
    }
    const std::wstring wide = speechnn::utf8string2wstring(text);
    if (mode_ == Mode::kNormalized) {
      std::vector<std::wstring> sentences;
      speechnn::SplitSentences(wide, sentences);
      std::string normalized;
      for (std::wstring& sentence : sentences) {
        normalized += front_.NormalizeToUtf8(sentence);
      }
      out << OneLine(normalized) << '\n';
      return true;
    }
    if (mode_ == Mode::kIds || mode_ == Mode::kPhones ||
        mode_ == Mode::kPinyin) {
      return InspectInBlocks(text, out);
    }
    std::vector<int> ids;
    std::vector<SentenceTrace> traces;
    const speechnn::FrontRun run = front_.Run(wide, ids, &traces);
    const bool ok = run.ok;
    const std::string& failed_sentence = run.failed_sentence;
    if (mode_ == Mode::kReport) {
      Report(text, traces, out);
      if (!ok) out << "ERROR: sentence \"" << failed_sentence << "\" failed\n";
      return ok;
    }
    if (!ok) {
      return Fail(text, "sentence \"" + OneLine(failed_sentence) + "\" failed",
                  out);
    }
    if (mode_ == Mode::kReadings) {
      out << Readings(traces) << '\n';
      return true;
    }
    if (mode_ == Mode::kSideBySide) {
      std::string normalized;
      for (const SentenceTrace& trace : traces) normalized += trace.normalized;
      out << OneLine(text) << '\t' << OneLine(normalized) << '\t'
          << Join(Pinyin(traces)) << '\n';
      return true;
    }
    return true;
  }

 private:
  // The machine modes: one line of ids, phones or pinyin, the text read a
  // block of sentences at a time (as the engine reads it), so that what is
  // held follows a block, not the line.
  bool InspectInBlocks(const std::string& text, std::ostream& out) {
    std::vector<std::string> items;
    for (const std::string& block : tolvaren::FrontBlocks(text)) {
      std::vector<int> ids;
      std::vector<SentenceTrace> traces;
      const speechnn::FrontRun run =
          front_.Run(speechnn::utf8string2wstring(block), ids, &traces);
      if (!run.ok) {
        return Fail(text,
                    "sentence \"" + OneLine(run.failed_sentence) + "\" failed",
                    out);
      }
      if (mode_ == Mode::kPinyin) {
        const std::vector<std::string> pinyin = Pinyin(traces);
        items.insert(items.end(), pinyin.begin(), pinyin.end());
        continue;
      }
      for (const SentenceTrace& trace : traces) {
        if (mode_ == Mode::kIds) {
          for (const int id : trace.phone_ids) {
            items.push_back(std::to_string(id));
          }
        } else {
          const std::vector<std::string> symbols = names_.Symbols(trace);
          items.insert(items.end(), symbols.begin(), symbols.end());
        }
      }
    }
    out << Join(items) << '\n';
    return true;
  }

  std::vector<std::string> Pinyin(const std::vector<SentenceTrace>& traces) {
    std::vector<std::string> syllables;
    for (const SentenceTrace& trace : traces) {
      const std::vector<std::string> part =
          table_.ToPinyin(names_.Symbols(trace));
      syllables.insert(syllables.end(), part.begin(), part.end());
    }
    return syllables;
  }

  bool Fail(const std::string& text, const std::string& reason,
            std::ostream& out) {
    if (mode_ == Mode::kReport) out << "text: " << text << '\n';
    out << "ERROR: " << reason << '\n';
    return false;
  }

  // The words of every sentence with their readings before tone sandhi.
  std::string Readings(const std::vector<SentenceTrace>& traces) const {
    std::string line;
    for (const SentenceTrace& trace : traces) {
      for (std::size_t i = 0; i < trace.merged.size(); ++i) {
        const auto& [word, tag] = trace.merged[i];
        std::vector<std::string> syllables;
        std::string decided_by;
        if (i < trace.readings.size()) {
          const speechnn::WordReading& reading = trace.readings[i];
          std::vector<std::string> symbols;
          for (std::size_t k = 0; k < reading.finals.size(); ++k) {
            std::string initial = reading.initials[k];
            // Separate-tone initials carry the tone byte 0 ("zh0").
            if (front_.separate_tone() && !initial.empty()) initial.pop_back();
            if (!initial.empty()) symbols.push_back(initial);
            symbols.push_back(reading.finals[k]);
          }
          syllables = table_.ToPinyin(symbols);
          decided_by = reading.decided_by;
        }
        std::string joined;
        for (const std::string& syllable : syllables) {
          if (!joined.empty()) joined += '+';
          joined += syllable;
        }
        if (!line.empty()) line += '\t';
        line += OneLine(word) + "/" + tag + "/" + joined + "/" + decided_by;
      }
    }
    return line;
  }

  void Report(const std::string& text, const std::vector<SentenceTrace>& traces,
              std::ostream& out) {
    out << "text: " << text << '\n';
    for (const SentenceTrace& trace : traces) {
      std::vector<std::string> words;
      for (const auto& [word, tag] : trace.merged)
        words.push_back(word + "/" + tag);
      const std::vector<std::string> symbols = names_.Symbols(trace);
      std::vector<std::string> ids;
      for (const int id : trace.phone_ids) ids.push_back(std::to_string(id));
      out << "  sentence: " << trace.normalized << '\n'
          << "    words:  " << Join(words) << '\n'
          << "    pinyin: " << Join(table_.ToPinyin(symbols)) << '\n'
          << "    phones: " << Join(symbols) << '\n'
          << "    ids:    " << Join(ids) << '\n';
    }
  }

  speechnn::FrontEngineInterface& front_;
  IdNames names_;
  const tolvaren::PhoneTable& table_;
  Mode mode_;
};

// The front end's lines on standard error: what went wrong always, the
// configuration echo only where it was asked for.
speechnn::ReportSink FrontReports(bool echo) {
  return [echo](speechnn::ReportLevel level, const std::string& line) {
    if (level != speechnn::ReportLevel::kInfo || echo) {
      std::cerr << line << std::endl;
    }
  };
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// Answers each line of standard input as it arrives; false when any
// failed.
bool InspectStandardInput(Inspector& inspector) {
  tolvaren::LineReader reader(STDIN_FILENO, tolvaren::kMaxLineBytes);
  bool all_ok = true;
  std::string line;
  for (;;) {
    switch (reader.Next(line)) {
      case tolvaren::LineReader::Result::kEnd:
        return all_ok;
      case tolvaren::LineReader::Result::kError:
        std::cerr << "tolvaren_tts_front: cannot read standard input: "
                  << std::strerror(errno) << "\n";
        return false;
      case tolvaren::LineReader::Result::kTooLong:
        std::cout << "ERROR: the line is longer than "
                  << (tolvaren::kMaxLineBytes >> 10) << " KiB" << std::endl;
        all_ok = false;
        continue;
      case tolvaren::LineReader::Result::kLine:
        break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    all_ok = inspector.Inspect(line, std::cout) && all_ok;
    std::cout.flush();
  }
}

bool AsksForHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForHelp(argc, argv)) {
    tolvaren::front_inspect::PrintUsage(std::cout);
    return 0;
  }
  Options options;
  std::string usage_error;
  if (!tolvaren::front_inspect::ParseArguments(argc, argv, options,
                                               usage_error)) {
    std::cerr << "tolvaren_tts_front: " << usage_error
              << " (see tolvaren_tts_front --help)\n";
    return 1;
  }
  // The tool's log records would mix with this tool's output: standard
  // error has them when asked for, else nothing does.
  tolvaren::RouteRecords(
      options.verbose
          ? tolvaren::RecordSink([](int32_t, const std::string& message) {
              std::cerr << message << std::endl;
            })
          : tolvaren::RecordSink(),
      tolvaren::kLevelInfo);

  const std::string conf_path =
      options.conf_path.empty() ? tolvaren::ToolConfPath() : options.conf_path;
  tolvaren::ToolConf conf;
  if (!tolvaren::ReadConfFile(conf_path, conf)) {
    std::cerr << "tolvaren_tts_front: cannot read configuration " << conf_path
              << "\n";
    return 1;
  }
  auto front = std::make_unique<speechnn::FrontEngineInterface>(
      conf.front_conf_path,
      FrontReports(options.verbose || options.mode == Mode::kReport));
  if (front->Init() != 0) {
    std::cerr << "tolvaren_tts_front: cannot create the front end from "
              << conf.front_conf_path << "\n";
    return 1;
  }
  tolvaren::PhoneTable table;
  std::string error;
  const std::string table_path =
      options.phone_table_path.empty()
          ? DirectoryOf(front->word2phone_file()) + "/phones.tsv"
          : options.phone_table_path;
  if (!table.Load(table_path, error)) {
    std::cerr << "tolvaren_tts_front: " << error << "\n";
    return 1;
  }

  Inspector inspector(*front, table, options.mode);
  bool all_ok = true;
  if (options.file == "-") {
    all_ok = InspectStandardInput(inspector);
  } else if (!options.file.empty()) {
    absl::StatusOr<std::string> text =
        tolvaren::ReadBoundedFile(options.file, tolvaren::kMaxTextFileBytes);
    if (!text.ok()) {
      std::cerr << "tolvaren_tts_front: "
                << tolvaren::EscapeForLog(std::string(text.status().message()))
                << "\n";
      return 1;
    }
    std::istringstream file(*std::move(text));
    std::string line;
    while (std::getline(file, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      all_ok = inspector.Inspect(line, std::cout) && all_ok;
    }
  } else {
    for (const std::string& text : options.texts) {
      all_ok = inspector.Inspect(text, std::cout) && all_ok;
    }
  }
  std::cout.flush();
  return all_ok ? 0 : 2;
}
