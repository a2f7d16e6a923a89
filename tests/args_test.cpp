#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main/Args.h"

namespace pelvaro {
namespace {

RunArgs Read(const std::vector<const char*>& words) {
  std::vector<const char*> argv = words;
  argv.push_back(nullptr);
  return ReadRunArgs(static_cast<int>(words.size()), argv.data());
}

TEST(ReadRunArgsTest, ChoosesTheModeFromTheCutTexts) {
  struct Case {
    std::vector<const char*> words;
    char mode;
    const char* user;
    const char* kind;
    const char* workplace;
    const char* begin;
    const char* end;
  };
  const Case cases[] = {
      {{"pelvaro", "QUORVELTX", "APL", "0000000000", "20040315", "00000000"},
       'X', "QUORVELT", "APL", "0000000000", "20040315", "00000000"},
      {{"pelvaro", "QUORVEL", "APL", "0000000000"}, 'M', "QUORVEL", "APL", "0000000000", "", ""},
      {{"pelvaro", "quorvelt", "APL", "0000000000", "garbage", "junk"},
       'M', "quorvelt", "APL", "0000000000", "", ""},
      {{"pelvaro", "user", "APLX", "4711", "20040315", "20040320"},
       'A', "user", "APL", "4711", "20040315", "20040320"},
      {{"pelvaro", "user", "apl", "4711", "20040315", "20040320"},
       'G', "user", "apl", "4711", "20040315", "20040320"},
      {{"pelvaro", "ABCDEFGHIJ", "GRP", "47110000001234", "200403151", "200412319"},
       'G', "ABCDEFGH", "GRP", "4711000000", "20040315", "20041231"},
      {{"pelvaro", "QUORVELT", "APL", "000000000", "20040229", "00000000"},
       'A', "QUORVELT", "APL", "000000000", "20040229", "00000000"},
      {{"pelvaro", "QUORVELT", "x", "00000000000", "20000229", "20000301"},
       'X', "QUORVELT", "x", "0000000000", "20000229", "20000301"},
  };
  for (const Case& c : cases) {
    RunArgs a = Read(c.words);
    SCOPED_TRACE(std::string(c.words[1]) + " " + c.words[2] + " " + c.words[3]);
    EXPECT_FALSE(a.refused);
    EXPECT_EQ(a.mode, c.mode);
    EXPECT_STREQ(a.user, c.user);
    EXPECT_STREQ(a.kind, c.kind);
    EXPECT_STREQ(a.workplace, c.workplace);
    EXPECT_STREQ(a.beginDate, c.begin);
    EXPECT_STREQ(a.endDate, c.end);
  }
}

TEST(ReadRunArgsTest, RefusesShortCommandLinesAndBadDates) {
  const char* kShort = "Mindestanzahl Parameter unterschritten";
  const char* kBegin = "Unzulaessiges Beginndatum";
  const char* kEnd = "Unzulaessiges Endedatum";
  struct Case {
    std::vector<const char*> words;
    const char* message;
    int code;
  };
  const Case cases[] = {
      {{}, kShort, 0},
      {{"pelvaro"}, kShort, 1},
      {{"pelvaro", "user", "APL"}, kShort, 3},
      {{"pelvaro", "user", "APL", "4711"}, kShort, 4},
      {{"pelvaro", "user", "APL", "4711", "20040315"}, kShort, 5},
      {{"pelvaro", "user", "GRP", "4711", "20040315"}, kShort, 5},
      {{"pelvaro", "QUORVELT", "APL", "0000000000"}, kShort, 4},
      {{"pelvaro", "user", "APL", "4711", "000000001", "00000000"}, kBegin, -1},
      {{"pelvaro", "user", "APL", "4711", "00000000", "20040320"}, kBegin, -1},
      {{"pelvaro", "user", "APL", "4711", "2004031", "00000000"}, kBegin, -1},
      {{"pelvaro", "user", "APL", "4711", "20040230", "00000000"}, kBegin, -1},
      {{"pelvaro", "user", "APL", "4711", "2004-03-1", "00000000"}, kBegin, -1},
      {{"pelvaro", "user", "APL", "4711", "19000229", "00000000"}, kBegin, -1},
      {{"pelvaro", "user", "APL", "4711", "", "00000000"}, kBegin, -1},
      {{"pelvaro", "QUORVELT", "x", "0000000000", "20041301", "00000000"}, kBegin, -1},
      {{"pelvaro", "user", "GRP", "4711", "20040230", "2004"}, kBegin, -1},  // begin first
      {{"pelvaro", "user", "APL", "4711", "20040315", "2004"}, kEnd, -1},
      {{"pelvaro", "user", "GRP", "4711", "20040315", "20040431"}, kEnd, -1},
      {{"pelvaro", "user", "APL", "4711", "20040315", ""}, kEnd, -1},
      {{"pelvaro", "QUORVELT", "x", "0000000000", "20040315", "0000000"}, kEnd, -1},
  };
  for (const Case& c : cases) {
    RunArgs a = Read(c.words);
    SCOPED_TRACE(c.words.size() > 4 ? std::string(c.words[4]) + " " +
                                          (c.words.size() > 5 ? c.words[5] : "")
                                    : std::to_string(c.words.size()) + " words");
    EXPECT_TRUE(a.refused);
    EXPECT_EQ(a.mode, '\0');
    EXPECT_STREQ(a.refusal.funktion, "Main()");
    EXPECT_STREQ(a.refusal.message, c.message);
    EXPECT_EQ(a.refusal.errorCode, c.code);
  }
}

}  // namespace
}  // namespace pelvaro
