#include "speech_neural_network/normalize/measures.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "speech_neural_network/normalize/everyday_readers.h"
#include "speech_neural_network/normalize/number_reading.h"
#include "speech_neural_network/normalize/quantity_reading.h"

namespace speechnn {
namespace {

constexpr Currency kCurrencies[] = {
    {L"US$", L"美元", false},   {L"HK$", L"港元", false},
    {L"NT$", L"新台币", false}, {L"A$", L"澳元", false},
    {L"C$", L"加元", false},    {L"S$", L"新加坡元", false},
    {L"$", L"美元", false},     {L"¥", L"元", false},
    {L"€", L"欧元", false},     {L"£", L"英镑", false},
    {L"₩", L"韩元", false},     {L"USD", L"美元", true},
    {L"RMB", L"元", true},      {L"CNY", L"元", true},
    {L"EUR", L"欧元", true},    {L"GBP", L"英镑", true},
    {L"JPY", L"日元", true},    {L"HKD", L"港元", true},
    {L"KRW", L"韩元", true},
};

// Symbols as written; where one is a prefix of another the longer one is
// tried first (the alternation is sorted by length).
constexpr Unit kUnits[] = {
    {L"mm", L"毫米", false},
    {L"cm", L"厘米", false},
    {L"dm", L"分米", false},
    {L"km", L"公里", false},
    {L"m", L"米", false},
    {L"nm", L"纳米", false},
    {L"μm", L"微米", false},
    {L"m²", L"平方米", false},
    {L"㎡", L"平方米", false},
    {L"km²", L"平方公里", false},
    {L"cm²", L"平方厘米", false},
    {L"m³", L"立方米", false},
    {L"cm³", L"立方厘米", false},
    {L"mg", L"毫克", false},
    {L"g", L"克", false},
    {L"kg", L"公斤", false},
    {L"lb", L"磅", false},
    {L"oz", L"盎司", false},
    {L"ml", L"毫升", false},
    {L"mL", L"毫升", false},
    {L"L", L"升", false},
    {L"ms", L"毫秒", false},
    {L"min", L"分钟", false},
    {L"h", L"小时", false},
    {L"KB", L"K", false},
    {L"MB", L"兆", false},
    {L"GB", L"G", false},
    {L"TB", L"T", false},
    {L"Mbps", L"兆", false},
    {L"Hz", L"赫兹", false},
    {L"kHz", L"千赫", false},
    {L"MHz", L"兆赫", false},
    {L"GHz", L"吉赫兹", false},
    {L"W", L"瓦", false},
    {L"kW", L"千瓦", false},
    {L"kWh", L"千瓦时", false},
    {L"mAh", L"毫安时", false},
    {L"mA", L"毫安", false},
    {L"V", L"伏", false},
    {L"kV", L"千伏", false},
    {L"dB", L"分贝", false},
    {L"kcal", L"千卡", false},
    {L"°F", L"华氏度", false},
    {L"°", L"度", false},
    {L"‰", L"千分之", true},
    {L"‱", L"万分之", true},
    // Laboratory and air-quality units: mmol/L, mg/dL, μg/m³ (μ also
    // written as the micro sign µ).
    {L"mol", L"摩尔", false},
    {L"mmol", L"毫摩尔", false},
    {L"μmol", L"微摩尔", false},
    {L"µmol", L"微摩尔", false},
    {L"μg", L"微克", false},
    {L"µg", L"微克", false},
    {L"ng", L"纳克", false},
    {L"dL", L"分升", false},
};

// What may follow "/" besides the unit symbols: seconds, and the measure
// words a price is given per (5元/斤).
constexpr std::wstring_view kPerWords[] = {
    L"s",  L"公斤",   L"千克", L"斤", L"个",   L"件", L"人",   L"次",
    L"天", L"月",     L"年",   L"时", L"小时", L"吨", L"瓶",   L"盒",
    L"份", L"平方米", L"秒",   L"分", L"分钟", L"周", L"晚",   L"间",
    L"箱", L"袋",     L"张",   L"台", L"辆",   L"位", L"套",   L"包",
    L"条", L"只",     L"本",   L"支", L"亩",   L"桌", L"课时",
};

std::wstring Escaped(std::wstring_view symbol) {
  std::wstring out;
  for (const wchar_t c : symbol) {
    if (c == L'$') out += L'\\';
    out += c;
  }
  return out;
}

std::wstring AlternationOf(std::vector<std::wstring_view> symbols) {
  std::stable_sort(symbols.begin(), symbols.end(),
                   [](std::wstring_view a, std::wstring_view b) {
                     return a.size() > b.size();
                   });
  std::wstring alternation;
  for (const std::wstring_view symbol : symbols) {
    if (!alternation.empty()) alternation += L'|';
    alternation += Escaped(symbol);
  }
  return alternation;
}

template <typename Row>
const Row* Find(absl::Span<const Row> rows, std::wstring_view symbol) {
  for (const Row& row : rows) {
    if (row.symbol == symbol) return &row;
  }
  return nullptr;
}

std::wstring WithoutCommas(std::wstring number) {
  number.erase(std::remove(number.begin(), number.end(), L','), number.end());
  return number;
}

// An amount of money as said: without commas, and without a fraction that
// is all zeros (¥88.00 is 八十八元; ¥88.50 keeps its 点五).
std::wstring MoneyAmount(std::wstring number) {
  number = WithoutCommas(std::move(number));
  const std::size_t point = number.find(L'.');
  if (point != std::wstring::npos &&
      number.find_first_not_of(L'0', point + 1) == std::wstring::npos) {
    number.erase(point);
  }
  return ReadQuantityNumber(number);
}

std::wstring PerReading(std::wstring_view symbol) {
  if (symbol.empty()) return L"";
  const Unit* unit = Find(Units(), symbol);
  if (unit != nullptr) return L"每" + std::wstring(unit->reading);
  // s and 时 are written for 秒 and 小时.
  if (symbol == L"s") return L"每秒";
  if (symbol == L"时") return L"每小时";
  return L"每" + std::wstring(symbol);
}

}  // namespace

absl::Span<const Currency> Currencies() { return kCurrencies; }
absl::Span<const Unit> Units() { return kUnits; }

const std::wstring& UnitAlternation() {
  static const std::wstring* const alternation = [] {
    std::vector<std::wstring_view> symbols;
    for (const Unit& unit : kUnits) symbols.push_back(unit.symbol);
    return new std::wstring(AlternationOf(symbols));
  }();
  return *alternation;
}

const std::wstring& PerUnitAlternation() {
  static const std::wstring* const alternation = [] {
    std::vector<std::wstring_view> symbols(std::begin(kPerWords),
                                           std::end(kPerWords));
    for (const Unit& unit : kUnits) {
      if (!unit.before) symbols.push_back(unit.symbol);
    }
    return new std::wstring(AlternationOf(symbols));
  }();
  return *alternation;
}

std::wstring ReadMoneyBefore(const WideMatch& match) {
  std::wstring symbol = match.str(1);
  while (!symbol.empty() && symbol.back() == L' ') symbol.pop_back();
  const Currency* currency = Find(Currencies(), symbol);
  return MoneyAmount(match.str(2)) + match.str(3) +
         std::wstring(currency != nullptr ? currency->reading : L"");
}

std::wstring ReadMoneyAfter(const WideMatch& match) {
  const Currency* currency = Find(Currencies(), match.str(2));
  return MoneyAmount(match.str(1)) +
         std::wstring(currency != nullptr ? currency->reading : L"");
}

std::wstring ReadMeasure(const WideMatch& match) {
  const Unit* unit = Find(Units(), match.str(3));
  const std::wstring reading(unit != nullptr ? unit->reading : L"");
  // 千分之二: a share, not a count, so 2 stays 二.
  const bool share = unit != nullptr && unit->before;
  const auto said = [&](std::size_t group) {
    const std::wstring number = WithoutCommas(match.str(group));
    return share ? reading + ReadNumber(number) : ReadQuantityNumber(number);
  };
  std::wstring out = said(1);
  if (match.length(2) > 0) out += L"到" + said(2);
  return share ? out : out + reading + PerReading(match.str(4));
}

std::wstring ReadTemperatureRange(const WideMatch& match) {
  const auto said = [&](std::size_t group) {
    std::wstring number = match.str(group);
    const bool below = number[0] == L'-';
    return (below ? L"负" : L"") + ReadNumber(number.substr(below));
  };
  return said(1) + L"到" + said(2) + L"度";
}

std::wstring ReadPerUnit(const WideMatch& match) {
  return match.str(1) + PerReading(match.str(2));
}

}  // namespace speechnn
