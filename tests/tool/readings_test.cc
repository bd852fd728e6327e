// Whole sentences read by tolvaren_tts_front with the shipped resources, a
// table per rule: the rules meet the real segmentation and dictionary here,
// including the places where a rule must not apply.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "speech_neural_network/front_test_support.h"

namespace tolvaren {
namespace {

struct Reading {
  const char* text;
  const char* pinyin;
};

// Runs the tool once over all texts of a table and compares line by line.
void ExpectReadings(const std::vector<Reading>& table) {
  speechnn::TempDir dir;
  std::string lines;
  for (const Reading& r : table) lines += std::string(r.text) + "\n";
  const std::string file = dir.WriteFile("texts.txt", lines);
  const speechnn::CommandResult result = speechnn::RunCommand(
      "'" + std::string(TOLVAREN_FRONT_BINARY) + "' --conf '" +
      TOLVAREN_BUILD_RES_DIR + "/conf/tool.conf' --pinyin --file '" + file +
      "' 2>/dev/null");
  ASSERT_EQ(result.status, 0);
  std::vector<std::string> got;
  std::size_t start = 0;
  for (std::size_t end;
       (end = result.out.find('\n', start)) != std::string::npos;
       start = end + 1) {
    got.push_back(result.out.substr(start, end - start));
  }
  ASSERT_EQ(got.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(got[i], table[i].pinyin) << table[i].text;
  }
}

TEST(ReadingsTest, YiAndBuReadTheUnderlyingToneAndTheNumberAroundThem) {
  ExpectReadings({
      {"他背着一个书包", "ta1 bei1 zhe5 yi2 ge5 shu1 bao1"},
      {"这一问题", "zhe4 yi2 wen4 ti2"},
      {"每一天", "mei3 yi4 tian1"},
      {"十一个人", "shi2 yi1 ge5 ren2"},
      {"一百一十", "yi4 bai3 yi1 shi2"},
      {"一点五公斤", "yi1 dian2 wu3 gong1 jin1"},
      {"一点一点地", "yi4 dian3 yi4 dian3 de5"},
      {"十一月", "shi2 yi1 yue4"},
      {"统一", "tong3 yi1"},
  });
}

// Words the dictionary lacks: its words inside them, matched from the end;
// names found by the segmenter's model keep 儿 as a syllable.
TEST(ReadingsTest, UnknownWordsReadThroughTheDictionarysWords) {
  ExpectReadings({
      {"中国银行行长", "zhong1 guo2 yin2 hang2 hang2 zhang3"},
      {"艾薇儿唱歌", "ai4 wei1 er2 chang4 ge1"},
      {"小院儿", "xiao3 yuanr4"},
  });
}

// Careful read speech: complements, locatives, aspect 过, the listed words
// and the words the training labels read full (关系, 部分 also inside 大部分)
// keep their full tones, the lexical neutral tones, suffixes and particles
// stay neutral; 不 inside a verb-complement or A-not-A form follows the next
// tone.
TEST(ReadingsTest, ReadSpeechKeepsFullTones) {
  ExpectReadings({
      {"他站起来走出去了", "ta1 zhan4 qi3 lai2 zou3 chu1 qu4 le5"},
      {"过去的事", "guo4 qu4 de5 shi4"},
      {"身上和网上", "shen1 shang4 he2 wang3 shang4"},
      {"心里和家里", "xin1 li3 he2 jia1 li3"},
      {"他去过北京", "ta1 qu4 guo4 bei3 jing1"},
      {"还是时候告诉学生", "hai2 shi4 shi2 hou4 gao4 su4 xue2 sheng1"},
      {"喜欢那个地方的人家", "xi3 huan1 na4 ge5 di4 fang1 de5 ren2 jia1"},
      {"东西和先生的朋友", "dong1 xi5 he2 xian1 sheng5 de5 peng2 you5"},
      {"饺子和没关系", "jiao3 zi5 he2 mei2 guan1 xi4"},
      {"大部分困难", "da4 bu4 fen4 kun4 nan2"},
      {"好了吗", "hao3 le5 ma5"},
      {"忘不了", "wang4 bu4 liao3"},
      {"挡不住", "dang3 bu2 zhu4"},
      {"看不到", "kan4 bu2 dao4"},
      {"是不是", "shi4 bu2 shi4"},
  });
}

// Third-tone sandhi inside words first, then across them on the tones the
// words' own pass left; digits take it like any syllables.
TEST(ReadingsTest, ThirdTonesInsideWordsFirst) {
  ExpectReadings({
      {"也可以", "ye3 ke2 yi3"},
      {"我很有信心", "wo3 hen2 you3 xin4 xin1"},
      {"你好", "ni2 hao3"},
      {"小姐", "xiao2 jie3"},
      {"九五", "jiu2 wu3"},
      {"五五", "wu2 wu3"},
      {"一点五", "yi1 dian2 wu3"},
  });
}

// Polyphones by tag and neighbours, the committed overlay's corrections, and
// the polyphone model.
TEST(ReadingsTest, PolyphonesByTagAndCorrectedEntries) {
  ExpectReadings({
      {"温度设置为26度", "wen1 du4 she4 zhi4 wei2 er4 shi2 liu4 du4"},
      {"以人民为中心", "yi3 ren2 min2 wei2 zhong1 xin1"},
      {"我们努力为大家服务", "wo3 men5 nu3 li4 wei4 da4 jia1 fu2 wu4"},
      {"他为人民服务", "ta1 wei4 ren2 min2 fu2 wu4"},
      {"他应了一声", "ta1 ying4 le5 yi4 sheng1"},
      {"你干什么", "ni3 gan4 shen2 me5"},
      {"他倒是很好", "ta1 dao4 shi4 hen2 hao3"},
      {"我只想睡觉", "wo2 zhi2 xiang3 shui4 jiao4"},
      {"两只猫", "liang3 zhi1 mao1"},
      {"你得去", "ni2 dei3 qu4"},
      {"结果很好", "jie2 guo3 hen2 hao3"},
      {"当天晚上", "dang4 tian1 wan3 shang4"},
      {"图为会场", "tu2 wei2 hui4 chang3"},
      // Read by the polyphone model in context, or by the particle rules.
      {"他被任命为总经理", "ta1 bei4 ren4 ming4 wei2 zong3 jing1 li3"},
      {"此为证", "ci3 wei2 zheng4"},
      {"这块地很大", "zhe4 kuai4 di4 hen3 da4"},
      {"一定还钱给你", "yi2 ding4 huan2 qian2 gei2 ni3"},
      {"他考得很好", "ta1 kao3 de5 hen2 hao3"},
      {"路很长", "lu4 hen3 chang2"},
      {"我查查资料", "wo3 cha2 cha5 zi1 liao4"},
      {"通过这个关卡", "tong1 guo4 zhe4 ge5 guan1 qia3"},
  });
}

// Readings settled by the words around them, and their look-alikes that
// keep the other reading.
TEST(ReadingsTest, PolyphonesReadInContext) {
  ExpectReadings({
      {"我还没还你钱", "wo3 hai2 mei2 huan2 ni3 qian2"},
      {"他还没来", "ta1 hai2 mei2 lai2"},
      {"数一数", "shu3 yi5 shu3"},
      {"称了称", "cheng1 le5 cheng1"},
      {"朝阳很美", "zhao1 yang2 hen2 mei3"},
      {"朝阳的房间", "chao2 yang2 de5 fang2 jian1"},
      {"一个一个地来", "yi2 ge5 yi2 ge5 de5 lai2"},
      {"他好学习", "ta1 hao4 xue2 xi2"},
      {"我好想你", "wo3 hao2 xiang2 ni3"},
      {"他好有钱", "ta1 hao2 you3 qian2"},
  });
}

// Numbers read as they are written.
TEST(ReadingsTest, NumbersReadAsWritten) {
  ExpectReadings({
      {"24:00", "er4 shi2 si4 dian3"},  // a whole hour: no 零分
      {"-1．0", "fu4 yi1 dian3 ling2"},
      {"5%-10%", "bai3 fen1 zhi1 wu3 dao4 bai3 fen1 zhi1 shi2"},
      {"110", "yi1 yi1 ling2"},
      {"5,999元", "wu3 qian1 jiu3 bai3 jiu3 shi2 jiu3 yuan2"},
      {"1，000元", "yi4 qian1 yuan2"},
      {"共有128人参加", "gong4 you3 yi4 bai3 er4 shi2 ba1 ren2 can1 jia1"},
      {"共100000000人", "gong4 yi2 yi4 ren2"},
      {"A-12", "ei1 shi2 er4"},
      {"555-1234", "wu3 wu2 wu3 yao1 er4 san1 si4"},
      {"110报警", "yi1 yi1 ling2 bao4 jing3"},
      {"请拨打13900001111",
       "qing3 bo1 da3 yao1 san1 jiu3 ling2 ling2 ling2 "
       "ling2 yao1 yao1 yao1 yao1"},
  });
}

}  // namespace
}  // namespace tolvaren
