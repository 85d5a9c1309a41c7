// The conversions between simplified and traditional Chinese, measured
// against a table of common words.
//
// Source of the table: the words are taken from the vocabulary of the
// Chinese proficiency test HSK, levels 1 to 3 (Chinese Testing
// International, 2012 edition), plus a few everyday words whose characters
// have a generic traditional form other than the standard one (群众, 山峰,
// 启动, 伪造, 床单). Their traditional forms are the standard forms of the
// Taiwan Ministry of Education's Chart of Standard Forms of Common National
// Characters (常用國字標準字體表), which BIG5 encodes.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "batch/code_conversion.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

// Pairs "simplified traditional", UTF-8.
const char kWords[] =
    "爱 愛 爸爸 爸爸 杯子 杯子 北京 北京 不客气 不客氣 出租车 出租車\n"
    "打电话 打電話 电脑 電腦 电视 電視 电影 電影 东西 東西 读书 讀書\n"
    "对不起 對不起 多少 多少 儿子 兒子 饭店 飯店 飞机 飛機 分钟 分鐘\n"
    "高兴 高興 工作 工作 汉语 漢語 后面 後面 几个 幾個 今天 今天\n"
    "开车 開車 看见 看見 一块 一塊 老师 老師 这里 這裡 妈妈 媽媽\n"
    "买东西 買東西 没关系 沒關係 没有 沒有 米饭 米飯 名字 名字 明天 明天\n"
    "哪儿 哪兒 女儿 女兒 朋友 朋友 漂亮 漂亮 苹果 蘋果 前面 前面\n"
    "钱包 錢包 请问 請問 热水 熱水 认识 認識 商店 商店 上午 上午\n"
    "谁的 誰的 什么 什麼 时候 時候 书店 書店 水果 水果 睡觉 睡覺\n"
    "说话 說話 岁数 歲數 天气 天氣 听见 聽見 同学 同學 我们 我們\n"
    "喜欢 喜歡 下雨 下雨 先生 先生 现在 現在 小姐 小姐 写字 寫字\n"
    "谢谢 謝謝 星期 星期 学生 學生 学习 學習 学校 學校 一点儿 一點兒\n"
    "衣服 衣服 医生 醫生 医院 醫院 椅子 椅子 再见 再見 怎么 怎麼\n"
    "怎么样 怎麼樣 这个 這個 中国 中國 中午 中午 桌子 桌子 昨天 昨天\n"
    "帮助 幫助 报纸 報紙 比赛 比賽 别人 別人 宾馆 賓館 唱歌 唱歌\n"
    "从来 從來 错误 錯誤 打篮球 打籃球 大家 大家 弟弟 弟弟 第一 第一\n"
    "房间 房間 非常 非常 服务员 服務員 告诉 告訴 哥哥 哥哥\n"
    "公共汽车 公共汽車 公司 公司 贵姓 貴姓 过来 過來 孩子 孩子 好吃 好吃\n"
    "红色 紅色 欢迎 歡迎 回答 回答 机场 機場 鸡蛋 雞蛋 教室 教室\n"
    "姐姐 姐姐 介绍 介紹 进来 進來 觉得 覺得 咖啡 咖啡 开始 開始\n"
    "考试 考試 可能 可能 可以 可以 上课 上課 快乐 快樂 离开 離開\n"
    "两个 兩個 旅游 旅遊 卖东西 賣東西 妹妹 妹妹 门口 門口 男人 男人\n"
    "牛奶 牛奶 旁边 旁邊 跑步 跑步 便宜 便宜 妻子 妻子 起床 起床\n"
    "铅笔 鉛筆 去年 去年 让我 讓我 上班 上班 身体 身體 生病 生病\n"
    "生日 生日 时间 時間 事情 事情 手表 手錶 手机 手機 送给 送給\n"
    "虽然 雖然 但是 但是 踢足球 踢足球 问题 問題 跳舞 跳舞 晚上 晚上\n"
    "为什么 為什麼 西瓜 西瓜 希望 希望 小时 小時 休息 休息 颜色 顏色\n"
    "眼睛 眼睛 羊肉 羊肉 已经 已經 意思 意思 因为 因為 所以 所以\n"
    "游泳 游泳 右边 右邊 鱼 魚 运动 運動 早上 早上 丈夫 丈夫 正在 正在\n"
    "知道 知道 准备 準備 左边 左邊 爱好 愛好 安静 安靜 办法 辦法\n"
    "办公室 辦公室 帮忙 幫忙 吃饱 吃飽 北方 北方 鼻子 鼻子 比较 比較\n"
    "笔记本 筆記本 必须 必須 变化 變化 冰箱 冰箱 菜单 菜單 参加 參加\n"
    "一层 一層 超市 超市 衬衫 襯衫 成绩 成績 城市 城市 迟到 遲到\n"
    "出现 出現 厨房 廚房 词语 詞語 聪明 聰明 打扫 打掃 打算 打算\n"
    "带来 帶來 担心 擔心 蛋糕 蛋糕 当然 當然 地方 地方 电灯 電燈\n"
    "地铁 地鐵 地图 地圖 电梯 電梯 电子邮件 電子郵件 东方 東方 动物 動物\n"
    "多么 多麼 饥饿 飢餓 耳朵 耳朵 发烧 發燒 发现 發現 方便 方便\n"
    "放心 放心 附近 附近 复习 複習 干净 乾淨 感冒 感冒 感兴趣 感興趣\n"
    "刚才 剛才 个子 個子 根据 根據 公斤 公斤 公园 公園 故事 故事\n"
    "刮风 颳風 关系 關係 关心 關心 关于 關於 国家 國家 过去 過去\n"
    "还是 還是 害怕 害怕 黑板 黑板 护照 護照 画画 畫畫 坏人 壞人\n"
    "环境 環境 换钱 換錢 黄河 黃河 会议 會議 或者 或者 几乎 幾乎\n"
    "机会 機會 记得 記得 季节 季節 检查 檢查 简单 簡單 见面 見面\n"
    "健康 健康 讲话 講話 一只脚 一隻腳 街道 街道 节目 節目 节日 節日\n"
    "结婚 結婚 结束 結束 解决 解決 经常 經常 经过 經過 经理 經理\n"
    "旧书 舊書 举行 舉行 句子 句子 决定 決定 可爱 可愛 客人 客人\n"
    "空调 空調 裤子 褲子 筷子 筷子 蓝色 藍色 礼物 禮物 历史 歷史\n"
    "脸色 臉色 练习 練習 一辆车 一輛車 聊天 聊天 邻居 鄰居 楼上 樓上\n"
    "绿色 綠色 马上 馬上 满意 滿意 帽子 帽子 面包 麵包 面条 麵條\n"
    "明白 明白 奶奶 奶奶 难过 難過 年级 年級 年轻 年輕 小鸟 小鳥\n"
    "努力 努力 爬山 爬山 盘子 盤子 皮鞋 皮鞋 啤酒 啤酒 瓶子 瓶子\n"
    "其实 其實 奇怪 奇怪 骑马 騎馬 起飞 起飛 起来 起來 清楚 清楚\n"
    "请假 請假 裙子 裙子 然后 然後 热情 熱情 认为 認為 认真 認真\n"
    "容易 容易 如果 如果 雨伞 雨傘 上网 上網 生气 生氣 声音 聲音\n"
    "世界 世界 叔叔 叔叔 舒服 舒服 大树 大樹 数学 數學 刷牙 刷牙\n"
    "一双 一雙 水平 水平 司机 司機 太阳 太陽 特别 特別 提高 提高\n"
    "体育 體育 同事 同事 同意 同意 头发 頭髮 突然 突然 图书馆 圖書館\n"
    "完成 完成 一万 一萬 忘记 忘記 为了 為了 文化 文化 习惯 習慣\n"
    "洗手间 洗手間 洗澡 洗澡 相信 相信 香蕉 香蕉 小心 小心 校长 校長\n"
    "新闻 新聞 新鲜 新鮮 行李 行李 熊猫 熊貓 需要 需要 选择 選擇\n"
    "要求 要求 爷爷 爺爺 一边 一邊 一定 一定 一共 一共 一会儿 一會兒\n"
    "一样 一樣 以前 以前 音乐 音樂 银行 銀行 饮料 飲料 应该 應該\n"
    "影响 影響 游戏 遊戲 有名 有名 遇到 遇到 愿意 願意 月亮 月亮\n"
    "车站 車站 一张 一張 长城 長城 着急 著急 照顾 照顧 照片 照片\n"
    "照相机 照相機 中间 中間 终于 終於 种类 種類 重要 重要 主要 主要\n"
    "注意 注意 字典 字典 自己 自己 总是 總是 最后 最後 最近 最近\n"
    "作业 作業 群众 群眾 伪造 偽造 山峰 山峰 启动 啟動 床单 床單\n";

// Words whose round trip back to simplified gives another word: the
// traditional form stands for two simplified characters, and the way back
// takes the other one. These merges are the scripts', not the program's.
const std::set<std::string> kKnownMerges = {"着急"};  // 著 is also the simplified 著 (显著)

struct Word {
  std::string simplified;
  std::string traditional;
};

std::vector<Word> Words() {
  std::vector<Word> words;
  std::istringstream in(kWords);
  Word word;
  while (in >> word.simplified >> word.traditional) words.push_back(word);
  return words;
}

std::string Encode(const CodePage& codePage, const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(codePage.FromUtf8(utf8, &bytes)) << utf8;
  return bytes;
}

// Converts the lines (in the code page) of one file and gives the lines
// back, decoded to UTF-8.
std::vector<std::string> Convert(CodeConversion conversion, const CodePage& from,
                                 const CodePage& to, const std::vector<std::string>& lines,
                                 size_t* unmapped) {
  ScratchDir dir;
  std::string text;
  for (const std::string& line : lines) text += Encode(from, line) + "\r\n";
  const std::string path = dir.Write("words.txt", text);
  const ConversionResult result =
      ConvertCodeFile(path, conversion, EncodingSetting::Gbk, DefaultFileRewriter());
  EXPECT_EQ(result.status, ConversionResult::kConverted) << result.Why();
  *unmapped = result.unmapped;
  std::string utf8;
  to.ToUtf8(dir.Read("words.txt"), &utf8);
  std::vector<std::string> out;
  for (size_t at = 0; at < utf8.size();) {
    const size_t end = utf8.find("\r\n", at);
    out.push_back(utf8.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

TEST(ChineseWordsTest, SimplifiedToBig5AndBack) {
  const std::vector<Word> words = Words();
  ASSERT_GE(words.size(), 200u);
  std::vector<std::string> simplified;
  for (const Word& word : words) simplified.push_back(word.simplified);

  size_t unmapped = 0;
  const std::vector<std::string> big5 =
      Convert(CodeConversion::GbkToBig5, CodePage::Gbk(), CodePage::Big5(), simplified, &unmapped);
  ASSERT_EQ(big5.size(), words.size());
  EXPECT_EQ(unmapped, 0u);
  size_t exact = 0;
  for (size_t i = 0; i < words.size(); i++) {
    EXPECT_EQ(big5[i], words[i].traditional) << words[i].simplified;
    exact += big5[i] == words[i].traditional;
  }

  const std::vector<std::string> back =
      Convert(CodeConversion::Big5ToGbk, CodePage::Big5(), CodePage::Gbk(), big5, &unmapped);
  ASSERT_EQ(back.size(), words.size());
  EXPECT_EQ(unmapped, 0u);
  size_t returned = 0;
  for (size_t i = 0; i < words.size(); i++) {
    if (back[i] == words[i].simplified) {
      returned++;
    } else {
      EXPECT_TRUE(kKnownMerges.count(words[i].simplified)) << words[i].simplified << " -> "
                                                           << big5[i] << " -> " << back[i];
    }
  }
  std::printf("GBK to BIG5: %zu of %zu words as expected; back to GBK: %zu of %zu unchanged\n",
              exact, words.size(), returned, words.size());
  EXPECT_GE(returned * 100, words.size() * 95);
}

// Within GBK the traditional forms are the same standard ones, and the
// characters that are no simplified forms (峰, 床, 群) stay as they are.
TEST(ChineseWordsTest, SimplifiedToTraditionalWithinGbk) {
  const std::vector<Word> words = Words();
  std::vector<std::string> simplified;
  for (const Word& word : words) simplified.push_back(word.simplified);
  size_t unmapped = 0;
  const std::vector<std::string> traditional = Convert(
      CodeConversion::GbkToTraditional, CodePage::Gbk(), CodePage::Gbk(), simplified, &unmapped);
  ASSERT_EQ(traditional.size(), words.size());
  EXPECT_EQ(unmapped, 0u);
  // 着 is no simplified form to the generic mapping (it is a character of
  // its own in traditional text too), so where the target holds it, it
  // stays; only BIG5, which lacks it, takes the standard 著.
  const std::set<std::string> keptAsTheyAre = {"着急"};
  for (size_t i = 0; i < words.size(); i++) {
    const bool kept = keptAsTheyAre.count(words[i].simplified) > 0;
    EXPECT_EQ(traditional[i], kept ? words[i].simplified : words[i].traditional)
        << words[i].simplified;
  }
}

}  // namespace
}  // namespace strbatch
