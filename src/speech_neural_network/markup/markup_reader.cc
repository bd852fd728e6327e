#include "speech_neural_network/markup/markup_reader.h"

#include <expat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "absl/strings/ascii.h"
#include "absl/strings/str_cat.h"
#include "absl/strings/str_format.h"
#include "speech_neural_network/markup/markup_values.h"
#include "speech_neural_network/markup/pinyin_reader.h"
#include "speech_neural_network/markup/text_views.h"

namespace speechnn {
namespace {

// Where a product of nested rates is held (see StartProsody).
constexpr double kMinKeptRate = 1e-100;
constexpr double kMaxKeptRate = 1e100;

using Attributes = const XML_Char**;

// The value of attribute `name`, when the element has it.
std::optional<std::string> Attribute(Attributes attributes,
                                     std::string_view name) {
  for (int i = 0; attributes[i] != nullptr; i += 2) {
    if (name == attributes[i]) return std::string(attributes[i + 1]);
  }
  return std::nullopt;
}

// An attribute or content as a message quotes it.
std::string Shown(std::string_view text) { return ShownPrefix(text, 40); }

// Runs of ASCII white space (the document's line breaks and indentation)
// read as one blank.
std::string CollapseBlanks(std::string_view text) {
  std::string collapsed;
  bool blank = false;
  for (const char c : text) {
    if (absl::ascii_isspace(static_cast<unsigned char>(c))) {
      blank = true;
      continue;
    }
    if (blank && !collapsed.empty()) collapsed += ' ';
    blank = false;
    collapsed += c;
  }
  return collapsed;
}

// An element whose content is read whole (say-as, phoneme, sub).
struct Capture {
  std::string element;
  std::size_t depth = 0;  // open elements when it began, itself included
  double rate = 1.0;
  std::optional<std::string> interpret_as, alphabet, ph, alias;
  std::string content;
};

class MarkupReader {
 public:
  explicit MarkupReader(XML_Parser parser) : parser_(parser) {}

  void Start(const XML_Char* name, Attributes attributes);
  void End();
  void Characters(std::string_view text);
  void Fail(const std::string& reason);

  const absl::Status& error() const { return error_; }
  std::vector<SpeechPart> TakeParts();
  std::vector<std::string> TakeWarnings();

 private:
  std::string At() const;
  void Warn(const std::string& warning);
  bool CheckAttributes(Attributes attributes);
  void StartBreak(Attributes attributes);
  void StartProsody(Attributes attributes);
  void FinishCapture(Capture capture);
  void FinishPhoneme(Capture& capture);
  void AddText(std::string_view text, double rate);
  bool AddPart(SpeechPart part);

  XML_Parser parser_;
  absl::Status error_;
  std::vector<SpeechPart> parts_;
  std::vector<std::string> warnings_;
  std::size_t warnings_dropped_ = 0;
  std::size_t syllables_ = 0;
  // The rate of each open element, the root's first.
  std::vector<double> rates_;
  std::optional<Capture> capture_;
};

std::string MarkupReader::At() const {
  return absl::StrFormat("line %d, column %d",
                         XML_GetCurrentLineNumber(parser_),
                         XML_GetCurrentColumnNumber(parser_) + 1);
}

void MarkupReader::Fail(const std::string& reason) {
  if (!error_.ok()) return;
  error_ = absl::InvalidArgumentError(absl::StrCat(At(), ": ", reason));
  XML_StopParser(parser_, XML_FALSE);
}

void MarkupReader::Warn(const std::string& warning) {
  if (warnings_.size() < kMaxMarkupWarnings) {
    warnings_.push_back(absl::StrCat(At(), ": ", warning));
  } else {
    ++warnings_dropped_;
  }
}

bool MarkupReader::CheckAttributes(Attributes attributes) {
  for (int i = 0; attributes[i] != nullptr; i += 2) {
    if (std::strlen(attributes[i + 1]) > kMaxAttributeBytes) {
      Fail(absl::StrCat("attribute ", Shown(attributes[i]), " is longer than ",
                        kMaxAttributeBytes, " bytes"));
      return false;
    }
  }
  return true;
}

void MarkupReader::Start(const XML_Char* name, Attributes attributes) {
  if (!error_.ok()) return;
  if (rates_.size() >= static_cast<std::size_t>(kMaxMarkupDepth)) {
    return Fail(absl::StrCat("elements nested deeper than ", kMaxMarkupDepth));
  }
  if (!CheckAttributes(attributes)) return;
  const absl::string_view element = name;
  if (rates_.empty()) {
    if (element != "speak") {
      return Fail(
          absl::StrCat("the root element is <", Shown(name), ">, not <speak>"));
    }
    rates_.push_back(1.0);
    return;
  }
  rates_.push_back(rates_.back());
  if (capture_) {
    return Warn(absl::StrCat("<", Shown(name), "> inside <", capture_->element,
                             "> is skipped; its text is read"));
  }
  if (element == "break") return StartBreak(attributes);
  if (element == "prosody") return StartProsody(attributes);
  if (element == "say-as" || element == "phoneme" || element == "sub") {
    Capture capture;
    capture.element = std::string(element);
    capture.depth = rates_.size();
    capture.rate = rates_.back();
    capture.interpret_as = Attribute(attributes, "interpret-as");
    capture.alphabet = Attribute(attributes, "alphabet");
    capture.ph = Attribute(attributes, "ph");
    capture.alias = Attribute(attributes, "alias");
    capture_ = std::move(capture);
    return;
  }
  Warn(absl::StrCat("unknown element <", Shown(name),
                    "> is skipped; its text is read"));
}

void MarkupReader::StartBreak(Attributes attributes) {
  int ms = 500;
  if (std::optional<std::string> time = Attribute(attributes, "time")) {
    absl::StatusOr<double> read = ReadBreakTime(*time);
    if (!read.ok()) {
      return Fail(absl::StrCat(read.status().message(), ": time=\"",
                               Shown(*time), "\""));
    }
    if (*read > kMaxBreakMs) {
      Warn(absl::StrCat("break time=\"", Shown(*time), "\" is cut to ",
                        kMaxBreakMs / 1000, " s"));
    }
    ms = static_cast<int>(std::min<double>(*read, kMaxBreakMs));
  } else if (std::optional<std::string> strength =
                 Attribute(attributes, "strength")) {
    std::optional<int> named = BreakStrengthMs(*strength);
    if (!named) {
      Warn(absl::StrCat("unknown break strength=\"", Shown(*strength),
                        "\" reads as medium"));
    }
    ms = named.value_or(ms);
  }
  SpeechPart part;
  part.kind = SpeechPart::Kind::kBreak;
  part.break_ms = ms;
  AddPart(std::move(part));
}

void MarkupReader::StartProsody(Attributes attributes) {
  for (int i = 0; attributes[i] != nullptr; i += 2) {
    if (std::string_view(attributes[i]) != "rate") {
      Warn(absl::StrCat("prosody ", Shown(attributes[i]), " is not read"));
    }
  }
  std::optional<std::string> rate = Attribute(attributes, "rate");
  if (!rate) return;
  std::optional<double> factor = ReadRate(*rate);
  if (!factor || !std::isfinite(*factor)) {
    return Warn(absl::StrCat("unreadable prosody rate=\"", Shown(*rate),
                             "\" is ignored"));
  }
  // The product of the nested rates, kept within what synthesis takes only
  // once it is multiplied by the caller's speed: 100 around 0.5 is 50, not
  // the 4 around 0.5 of a limit at each level. Bounds far outside any rate
  // keep the product a positive finite number however deep the nesting.
  rates_.back() =
      std::clamp(rates_.back() * *factor, kMinKeptRate, kMaxKeptRate);
}

void MarkupReader::End() {
  if (!error_.ok()) return;
  rates_.pop_back();
  if (capture_ && capture_->depth == rates_.size() + 1) {
    Capture capture = *std::move(capture_);
    capture_.reset();
    FinishCapture(std::move(capture));
  }
}

void MarkupReader::FinishCapture(Capture capture) {
  if (capture.element == "phoneme") return FinishPhoneme(capture);
  if (capture.element == "sub") {
    if (!capture.alias) Warn("<sub> without alias: its text is read");
    return AddText(capture.alias.value_or(capture.content), capture.rate);
  }
  const std::string interpret_as = capture.interpret_as.value_or("");
  std::optional<std::string> text = RewriteSayAs(interpret_as, capture.content);
  if (!text) {
    Warn(absl::StrCat("say-as interpret-as=\"", interpret_as,
                      "\" cannot read \"", Shown(capture.content),
                      "\"; it is read as text"));
  }
  AddText(text.value_or(capture.content), capture.rate);
}

void MarkupReader::FinishPhoneme(Capture& capture) {
  const std::string alphabet = capture.alphabet.value_or("pinyin");
  if (alphabet != "pinyin" || !capture.ph) {
    Warn(capture.ph ? absl::StrCat("phoneme alphabet=\"", alphabet,
                                   "\" is not read; its text is")
                    : "<phoneme> without ph: its text is read");
    return AddText(capture.content, capture.rate);
  }
  SpeechPart part;
  part.kind = SpeechPart::Kind::kPinyin;
  part.text = CollapseBlanks(capture.content);
  part.rate = capture.rate;
  part.where = At();
  if (absl::Status split = SplitSyllables(*capture.ph, &part.syllables);
      !split.ok()) {
    return Fail(
        absl::StrCat(split.message(), " in ph=\"", Shown(*capture.ph), "\""));
  }
  syllables_ += part.syllables.size();
  if (syllables_ > kMaxSyllablesPerText) {
    return Fail(absl::StrCat("more than ", kMaxSyllablesPerText,
                             " pinyin syllables in one document"));
  }
  AddPart(std::move(part));
}

void MarkupReader::Characters(std::string_view text) {
  if (!error_.ok() || rates_.empty()) return;
  if (capture_) {
    capture_->content.append(text);
  } else {
    AddText(text, rates_.back());
  }
}

void MarkupReader::AddText(std::string_view text, double rate) {
  if (!parts_.empty() && parts_.back().kind == SpeechPart::Kind::kText &&
      parts_.back().rate == rate) {
    parts_.back().text.append(text);
    return;
  }
  SpeechPart part;
  part.text = std::string(text);
  part.rate = rate;
  part.where = At();
  AddPart(std::move(part));
}

bool MarkupReader::AddPart(SpeechPart part) {
  if (parts_.size() >= kMaxMarkupParts) {
    Fail(absl::StrCat("more than ", kMaxMarkupParts, " parts"));
    return false;
  }
  parts_.push_back(std::move(part));
  return true;
}

std::vector<SpeechPart> MarkupReader::TakeParts() {
  std::vector<SpeechPart> kept;
  for (SpeechPart& part : parts_) {
    if (part.kind == SpeechPart::Kind::kText) {
      part.text = CollapseBlanks(part.text);
      if (part.text.empty()) continue;
      // Only a dropped blank stood between two texts of one rate (they
      // would have been one part otherwise): they are one text again,
      // with the blank that separated them.
      if (!kept.empty() && kept.back().kind == SpeechPart::Kind::kText &&
          kept.back().rate == part.rate) {
        absl::StrAppend(&kept.back().text, " ", part.text);
        continue;
      }
    }
    kept.push_back(std::move(part));
  }
  return kept;
}

std::vector<std::string> MarkupReader::TakeWarnings() {
  if (warnings_dropped_ > 0) {
    warnings_.push_back(absl::StrCat(warnings_dropped_, " more warnings"));
  }
  return std::move(warnings_);
}

MarkupReader& ReaderOf(void* data) { return *static_cast<MarkupReader*>(data); }

void OnStart(void* data, const XML_Char* name, Attributes attributes) {
  ReaderOf(data).Start(name, attributes);
}
void OnEnd(void* data, const XML_Char*) { ReaderOf(data).End(); }
void OnCharacters(void* data, const XML_Char* text, int length) {
  ReaderOf(data).Characters(std::string_view(text, length));
}
// A document type declaration could declare entities, and with them
// expansions that grow without bound: none is read.
void OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*,
               int) {
  ReaderOf(data).Fail("a document type declaration is not read");
}

struct ParserFree {
  void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

}  // namespace

absl::Status ReadMarkup(std::string_view document,
                        std::vector<SpeechPart>* parts,
                        std::vector<std::string>* warnings) {
  if (document.size() > kMaxMarkupBytes) {
    return absl::InvalidArgumentError(absl::StrCat(
        "markup of ", document.size(), " bytes; at most ", kMaxMarkupBytes));
  }
  const std::unique_ptr<XML_ParserStruct, ParserFree> parser(
      XML_ParserCreate("UTF-8"));
  if (parser == nullptr) return absl::ResourceExhaustedError("no XML parser");
  MarkupReader reader(parser.get());
  XML_SetUserData(parser.get(), &reader);
  XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
  XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);
  XML_SetElementHandler(parser.get(), OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser.get(), OnCharacters);
  const XML_Status status =
      XML_Parse(parser.get(), document.data(),
                static_cast<int>(document.size()), XML_TRUE);
  if (!reader.error().ok()) return reader.error();
  if (status != XML_STATUS_OK) {
    return absl::InvalidArgumentError(absl::StrFormat(
        "line %d, column %d: %s", XML_GetCurrentLineNumber(parser.get()),
        XML_GetCurrentColumnNumber(parser.get()) + 1,
        XML_ErrorString(XML_GetErrorCode(parser.get()))));
  }
  std::vector<SpeechPart> read = reader.TakeParts();
  std::vector<std::string> noted = reader.TakeWarnings();
  parts->insert(parts->end(), std::make_move_iterator(read.begin()),
                std::make_move_iterator(read.end()));
  warnings->insert(warnings->end(), std::make_move_iterator(noted.begin()),
                   std::make_move_iterator(noted.end()));
  return absl::OkStatus();
}

}  // namespace speechnn
