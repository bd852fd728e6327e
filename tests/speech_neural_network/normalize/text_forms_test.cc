#include "speech_neural_network/normalize/text_forms.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "speech_neural_network/normalize/normalization_rules.h"
#include "speech_neural_network/utf8_conversion.h"

namespace speechnn {
namespace {

TEST(TextFormsTest, AddressesAreReadOut) {
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"zhang@example.com", "zhang艾特example点com"},
      {L"a.b@c.com", "a点b艾特c点com"},
      {L"https://www.example.com/a_b?x=1",
       "https冒号斜杠斜杠www点example点com斜杠a下划线b问号x等于一"},
      {L"访问github.com了解", "访问github点com了解"},
      {L"192.168.1.1", "一九二点一六八点一点一"},
      {L"127.0.0.1:8080", "一二七点零点零点一冒号八零八零"},
      {L"v2.1.3", "v二点一点三"},
      {L"版本3.10.2", "版本三点十点二"},
      {L"data_2023.csv", "data下划线二零二三点csv"},
      {L"my-file.txt", "my杠file点txt"},
      {L"Wi-Fi", "WiFi"},
      {L"A-B", "A-B"},
      {L"wifi_5G", "wifi下划线五G"},
      {L"user_01的", "user下划线零一的"},
      {L"localhost:8080", "localhost冒号八零八零"},
      {L"example.com:3000", "example点com冒号三零零零"},
      {L"3.5:2", "3.5:2"},
      // Numbers that are none of these.
      {L"3.14", "3.14"},
      {L"2020.7.1", "2020.7.1"},
      {L"1.5h", "1.5h"},
      {L"@", "@"},
  };
  for (const auto& [text, said] : cases) {
    std::wstring read = text;
    ReadTextForms(read);
    EXPECT_EQ(wstring2utf8string(read), said) << wstring2utf8string(text);
  }
}

TEST(TextFormsTest, EverySignOfAnAddressIsSaid) {
  for (const SymbolReading& row : AddressSymbols()) {
    std::wstring text = std::wstring(L"http://a") + row.symbol + L"b";
    ReadTextForms(text);
    EXPECT_EQ(text, L"http冒号斜杠斜杠a" + std::wstring(row.reading) + L"b");
  }
}

TEST(TextFormsTest, LongAndBrokenTextsEnd) {
  std::wstring dots(100000, L'.');
  ReadTextForms(dots);
  EXPECT_EQ(dots.size(), 100000u);
  std::wstring mail;
  for (int i = 0; i < 5000; ++i) mail += L"a.b@c.com ";
  NormalizeSentence(mail);
  EXPECT_EQ(mail.find(L'@'), std::wstring::npos);
}

}  // namespace
}  // namespace speechnn
