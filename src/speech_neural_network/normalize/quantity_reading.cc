#include "speech_neural_network/normalize/quantity_reading.h"

#include <algorithm>

#include "speech_neural_network/normalize/number_reading.h"

namespace speechnn {
namespace {

constexpr std::wstring_view kNameWords[] = {
    L"月",
    L"日",
    L"号",
    L"路",
    L"楼",
    L"年级",
    L"级",
    L"班",
    L"期",
    L"届",
    L"等",
    L"季",
    L"代",
    L"世",
    L"更",
    L"伏",
    L"中",
    L"环",
    L"区",
    L"版",
    L"线",
    L"连",
    L"营",
    L"团",
    L"单元",
    // The old weight 两: two of it is 二两.
    L"两",
};

constexpr std::wstring_view kCountWords[] = {
    L"人",   L"次",   L"遍",   L"趟",   L"倍",   L"岁",   L"小时", L"钟头",
    L"星期", L"个",   L"国",   L"岸",   L"者",   L"种",   L"类",   L"项",
    L"套",   L"份",   L"台",   L"部",   L"架",   L"艘",   L"间",   L"所",
    L"栋",   L"厅",   L"卫",   L"行",   L"列",   L"组",   L"批",   L"节",
    L"段",   L"句",   L"篇",   L"封",   L"笔",   L"顿",   L"餐",   L"包",
    L"公里", L"公斤", L"公顷", L"千米", L"千克", L"克",   L"吨",   L"升",
    L"毫升", L"成",   L"折",   L"点",   L"亩",   L"名",   L"位",   L"家",
    L"票",   L"步",   L"场",   L"圈",   L"局",   L"盘",   L"轮",   L"集",
    L"章",   L"册",   L"张",   L"条",   L"只",   L"辆",   L"本",   L"杯",
    L"瓶",   L"碗",   L"块",   L"元",   L"美元", L"欧元", L"英镑", L"日元",
    L"韩元", L"港元", L"港币", L"万",   L"千",   L"百",   L"亿",   L"天",
    L"年",   L"周",   L"分钟", L"秒",   L"米",   L"斤",   L"双",   L"对",
    L"口",   L"头",   L"根",   L"片",   L"粒",   L"颗",   L"件",   L"把",
    L"层",   L"下",   L"队",   L"方",   L"面",
};

// The length of the longest of `words` that `text` begins with; 0 if none.
std::size_t LongestPrefix(std::wstring_view text,
                          absl::Span<const std::wstring_view> words) {
  std::size_t longest = 0;
  for (const std::wstring_view word : words) {
    if (text.substr(0, word.size()) == word) {
      longest = std::max(longest, word.size());
    }
  }
  return longest;
}

}  // namespace

absl::Span<const std::wstring_view> NameWords() { return kNameWords; }

absl::Span<const std::wstring_view> CountWords() { return kCountWords; }

bool NamesTheNumber(std::wstring_view following) {
  return LongestPrefix(following, kNameWords) >
         LongestPrefix(following, kCountWords);
}

bool CountsTheNumber(std::wstring_view following) {
  return LongestPrefix(following, kCountWords) >
         LongestPrefix(following, kNameWords);
}

std::wstring ReadQuantity(std::wstring_view digits) {
  std::wstring reading = ReadInteger(digits, false, true);
  if (reading == L"二") return L"两";
  for (std::size_t i = 0; i + 1 < reading.size(); ++i) {
    if (reading[i] != L'二') continue;
    const wchar_t unit = reading[i + 1];
    const wchar_t before = i > 0 ? reading[i - 1] : L'\0';
    // At the head of the number before any of 百, 千, 万, 亿 (两百, 两万);
    // inside it as the thousands of a group (一万两千, 一亿零两千) and as a
    // count of 万 right after 亿 (两亿两万), while 一千二百, 十二万 and
    // 一千零二万 keep 二.
    const bool head = i == 0 && (unit == L'百' || unit == L'千' ||
                                 unit == L'万' || unit == L'亿');
    const bool thousands =
        unit == L'千' &&
        (before == L'万' || before == L'亿' || before == L'零');
    const bool ten_thousands = unit == L'万' && before == L'亿';
    if (head || thousands || ten_thousands) reading[i] = L'两';
  }
  return reading;
}

std::wstring ReadQuantityNumber(std::wstring_view number) {
  return number.find(L'.') == std::wstring_view::npos ? ReadQuantity(number)
                                                      : ReadNumber(number);
}

std::wstring ReadCountBefore(std::wstring_view digits,
                             std::wstring_view following) {
  // 2000多人 counts people as 2000人 does.
  if (!following.empty() && std::wstring_view(L"多余几来").find(following[0]) !=
                                std::wstring_view::npos) {
    following.remove_prefix(1);
  }
  // A lone 2 says 两 only before a word known to count; a larger number
  // before a noun counts it unless the noun names it (两千股, 二百路).
  const bool counts = CountsTheNumber(following) ||
                      (digits.size() > 1 && !NamesTheNumber(following));
  return counts ? ReadQuantity(digits) : ReadInteger(digits, false, true);
}

}  // namespace speechnn
