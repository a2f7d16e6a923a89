#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "util/Config.h"
#include "util/Idea.h"

namespace pelvaro {
namespace {

std::string Decipher(const std::string& stored) {
  std::vector<char> out(stored.size() / 5 + 1, 'Z');
  DecipherValue(stored.c_str(), out.data(), out.size());
  return out.data();
}

TEST(ConfigCipherTest, RoundTripsTextsOfEveryFillLength) {
  const std::string texts[] = {
      "", "s", "abc", "four", "scott", "GORVAKL",
      "A 51 character text: tiger/scott@net8 ;; 0123456789",
  };
  ASSERT_EQ(texts[6].size(), 51u);
  for (const std::string& clear : texts) {
    const std::string stored = EncipherValue(clear);
    EXPECT_EQ(stored.size(), (clear.size() + 3) / 4 * 20) << clear;
    EXPECT_EQ(stored.find_first_not_of("0123456789"), std::string::npos) << stored;
    EXPECT_EQ(Decipher(stored), clear);
  }
}

// The stored form is IDEA under the key words 'G','O','R','V','A','K','L',0:
// rebuild it from the cipher directly.
TEST(ConfigCipherTest, StoredFormIsIdeaUnderTheKeyTextWithItsNul) {
  std::uint16_t words[8] = {'s', 'c', 'o', 't', 't', 0, 0, 0};
  IdeaCipher(words, 8, IdeaKeySchedule({'G', 'O', 'R', 'V', 'A', 'K', 'L', 0}));
  std::string expected;
  for (std::uint16_t w : words) {
    char group[8];
    std::snprintf(group, sizeof group, "%05u", static_cast<unsigned>(w));
    expected += group;
  }
  EXPECT_EQ(EncipherValue("scott"), expected);
}

TEST(ConfigCipherTest, IncompleteGroupsAreIgnored) {
  const std::string four = EncipherValue("abcd");  // one block, 20 digits
  EXPECT_EQ(Decipher(""), "");
  EXPECT_EQ(Decipher("1234"), "");
  EXPECT_EQ(Decipher(four + "999"), "abcd");  // 23 digits: the first 20 count
  char small[3] = {'Z', 'Z', 'Z'};
  DecipherValue(four.c_str(), small, sizeof small);  // cut, never past the buffer
  EXPECT_STREQ(small, "ab");
}

// Writes a configuration file for one test and removes it afterwards.
class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = (std::filesystem::temp_directory_path() /
             ("pelvaro_ini_" + std::to_string(::getpid()) + "_" + info->name() + ".ini"))
                .string();
  }
  void TearDown() override { std::filesystem::remove(path_); }

  void Write(const std::string& content) {
    std::ofstream f(path_, std::ios::binary | std::ios::trunc);
    f << content;
  }

  // Line 2 of an entry with its value enciphered.
  static std::string Line2(const std::string& number, const std::string& name,
                           const std::string& clear) {
    return number + ";" + name + ";" + EncipherValue(clear) + "\n";
  }

  std::string path_;
};

TEST_F(ConfigFileTest, EntryMatchesBySectionNameOrNumberAndFirstMatchWins) {
  struct Case {
    const char* what;
    std::string content;
    const char* section;
    const char* name;
    std::int32_t number;
    const char* value;
  };
  const Case cases[] = {
      {"by name", ";S1;\n7;OTHER;" + EncipherValue("x") + "\n;S2;\n8;LOGIN;" +
                      EncipherValue("scott") + "\n",
       "", "LOGIN", 0, "scott"},
      {"by section", ";S1;\n7;A;" + EncipherValue("x") + "\n;DB;\n8;B;" + EncipherValue("y") + "\n",
       "DB", "none", 99, "y"},
      {"by number", ";S1;\n7;A;" + EncipherValue("x") + "\n;S2;\n42;B;" + EncipherValue("y") + "\n",
       "none", "none", 42, "y"},
      {"number with blanks and sign", ";S;\n  -7;A;" + EncipherValue("neg") + "\n", "none",
       "none", -7, "neg"},
      {"empty section wins over a later name", ";S1\n7;A;" + EncipherValue("first") +
                                                    "\n;S2;\n8;LOGIN;" + EncipherValue("second") +
                                                    "\n",
       "", "LOGIN", 0, "first"},
      {"number 0 wins over a later name", ";S1;\nx;A;" + EncipherValue("first") +
                                               "\n;S2;\n8;LOGIN;" + EncipherValue("second") + "\n",
       "", "LOGIN", 0, "first"},
      {"no match", ";S1;\n7;A;" + EncipherValue("x") + "\n", "none", "none", 99, ""},
      {"last line without newline", ";S1;\n7;LOGIN;" + EncipherValue("scott"), "none", "LOGIN",
       99, ""},
      {"empty value", ";S1;\n7;LOGIN;\n", "none", "LOGIN", 99, ""},
      {"value shorter than a group", ";S1;\n7;LOGIN;1234\n", "none", "LOGIN", 99, ""},
      {"CR LF line ends", ";S1;\r\n7;LOGIN;" + EncipherValue("scott") + "\r\n", "S1", "none",
       99, "scott"},
  };
  for (const Case& c : cases) {
    Write(c.content);
    IniRead(c.section, c.name, c.number, path_.c_str());
    EXPECT_STREQ(IniEntry().value, c.value) << c.what;
  }
}

TEST_F(ConfigFileTest, NoMatchLeavesAnEmptyEntry) {
  Write(";S1;\n7;A;" + EncipherValue("x") + "\n;S2;\n");  // a trailing single line
  IniRead("S1", "", 0, path_.c_str());
  EXPECT_STREQ(IniEntry().section, "S1");
  IniRead("S2", "none", 99, path_.c_str());
  EXPECT_EQ(IniEntry().number, 0);
  EXPECT_STREQ(IniEntry().section, "");
  EXPECT_STREQ(IniEntry().name, "");
  EXPECT_STREQ(IniEntry().value, "");
}

// Side-by-side delimiters give the rest of the line; a line 2 without ';' is a
// number alone; a missing second ';' leaves name (or section) empty.
TEST_F(ConfigFileTest, FieldRules) {
  Write(";;rest\n5;;" + EncipherValue("v") + "\n");
  IniRead("none", "none", 5, path_.c_str());
  EXPECT_STREQ(IniEntry().section, ";rest\n");
  EXPECT_EQ(std::string(IniEntry().name), ";" + EncipherValue("v") + "\n");
  EXPECT_STREQ(IniEntry().value, "v");

  Write("no section\n12345\n");
  IniRead("x", "x", 12345, path_.c_str());
  EXPECT_EQ(IniEntry().number, 12345);
  EXPECT_STREQ(IniEntry().section, "");
  EXPECT_STREQ(IniEntry().name, "");
  EXPECT_STREQ(IniEntry().value, "");

  Write(";S;\n6;" + EncipherValue("only") + "\n");
  IniRead("none", "none", 6, path_.c_str());
  EXPECT_STREQ(IniEntry().name, "");
  EXPECT_STREQ(IniEntry().value, "only");

  // Further ';' belong to the value: its groups after the ';' are deciphered too.
  const std::string value = EncipherValue("abcd") + ";" + EncipherValue("efgh");
  ASSERT_GT(Decipher(value).size(), 4u);
  Write(";S;\n7;LOGIN;" + value + "\n");
  IniRead("none", "LOGIN", 99, path_.c_str());
  EXPECT_EQ(std::string(IniEntry().value), Decipher(value));
}

TEST_F(ConfigFileTest, LongFieldsAreCut) {
  Write(";S;\n123456789012345;" + std::string(300, 'n') + ";" + EncipherValue("v") + "\n");
  IniRead("none", "none", INT32_MAX, path_.c_str());  // 12345678901 held to 32 bits
  EXPECT_EQ(IniEntry().number, INT32_MAX);
  EXPECT_EQ(std::string(IniEntry().name), std::string(200, 'n'));
  EXPECT_STREQ(IniEntry().value, "v");

  // A value of 300 digits keeps its first 200: 40 characters.
  const std::string clear(40, 'k');
  Write(";S;\n1;LOGIN;" + EncipherValue(clear) + std::string(100, '7') + "\n");
  IniRead("none", "LOGIN", 99, path_.c_str());
  EXPECT_EQ(std::string(IniEntry().value), clear);
}

// Line 1 is read with 199 characters, line 2 with 399, newline included; the
// rest of a longer line is read as the next line and the pairing shifts.
TEST_F(ConfigFileTest, LinesLongerThanTheLimitAreReadInTwoParts) {
  auto line1 = [](std::size_t length) { return ";S;" + std::string(length - 3, 'x') + "\n"; };
  auto line2 = [](std::size_t length, const std::string& clear) {
    std::string head = "1;LOGIN;" + EncipherValue(clear);
    return head + std::string(length - head.size(), ' ') + "\n";
  };
  struct Case {
    const char* what;
    std::string content;
    const char* name;  // looked for; number 99 and section "none" never match
    const char* value;
  };
  const Case cases[] = {
      {"line 1 at the limit", line1(198) + line2(40, "bob"), "LOGIN", "bob"},
      {"line 1 past the limit", line1(199) + line2(40, "bob"), "LOGIN", ""},
      {"line 2 at the limit", ";S;\n" + line2(398, "bob"), "LOGIN", "bob"},
      {"line 2 past the limit", ";S;\n" + line2(399, "bob"), "LOGIN", ""},
      {"pairing shifts after a long line",
       ";S1;\n1;AAA;" + std::string(450, '1') + "\n;S2;\n2;PASS;" + EncipherValue("pw") + "\n",
       "PASS", ""},
      {"pairing intact after a line at the limit",
       ";S1;\n1;AAA;" + std::string(392, '1') + "\n;S2;\n2;PASS;" + EncipherValue("pw") + "\n",
       "PASS", "pw"},
  };
  for (const Case& c : cases) {
    Write(c.content);
    IniRead("none", c.name, 99, path_.c_str());
    EXPECT_STREQ(IniEntry().value, c.value) << c.what;
  }
}

TEST_F(ConfigFileTest, GarbageAndHugeLinesDoNotBreakTheReader) {
  std::mt19937 rng(7);
  std::string garbage(20000, '\0');
  for (char& ch : garbage) ch = static_cast<char>(rng());
  Write(garbage);
  IniRead("none", "LOGIN", 99, path_.c_str());
  EXPECT_LE(std::strlen(IniEntry().section), 200u);
  EXPECT_LE(std::strlen(IniEntry().name), 200u);
  EXPECT_LE(std::strlen(IniEntry().value), 200u);

  // A 5000-character line 2 is read in parts; its first part carries the name.
  Write(";S;\n7;LOGIN;" + std::string(5000, '9') + "\n;S2;\n8;PASS;" + EncipherValue("pw") + "\n");
  IniRead("none", "LOGIN", 99, path_.c_str());
  EXPECT_STREQ(IniEntry().name, "LOGIN");
  EXPECT_STREQ(IniEntry().value, "");
}

TEST_F(ConfigFileTest, MissingFileGivesAnEmptyEntry) {
  IniRead("", "LOGIN", 0, (path_ + ".missing").c_str());
  EXPECT_STREQ(IniEntry().value, "");
  IniRead("", "LOGIN", 0, nullptr);
  EXPECT_STREQ(IniEntry().value, "");
}

// Sets KORVANE_INI for one test and restores it afterwards.
class CredentialsTest : public ConfigFileTest {
 protected:
  void SetUp() override {
    ConfigFileTest::SetUp();
    const char* old = std::getenv(kConfigFileVariable);
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
  }
  void TearDown() override {
    if (hadOld_) {
      ::setenv(kConfigFileVariable, old_.c_str(), 1);
    } else {
      ::unsetenv(kConfigFileVariable);
    }
    ConfigFileTest::TearDown();
  }
  bool hadOld_ = false;
  std::string old_;
};

TEST_F(CredentialsTest, ReadsTheThreeValuesFromTheNamedFile) {
  Write(";DB;\n1;NET8;" + EncipherValue("ORCL") + "\n;DB;\n2;PASS;" + EncipherValue("tiger") +
        "\n;DB;\n3;LOGIN;" + EncipherValue("scott") + "\n");
  ::setenv(kConfigFileVariable, path_.c_str(), 1);
  char user[52], password[52], net[52];
  ReadDbCredentials(user, password, net);
  EXPECT_STREQ(user, "scott");
  EXPECT_STREQ(password, "tiger");
  EXPECT_STREQ(net, "ORCL");
}

TEST_F(CredentialsTest, MissingFileGivesEmptyTexts) {
  ::setenv(kConfigFileVariable, (path_ + ".missing").c_str(), 1);
  char user[52] = "x", password[52] = "y", net[52] = "z";
  ReadDbCredentials(user, password, net);
  EXPECT_STREQ(user, "");
  EXPECT_STREQ(password, "");
  EXPECT_STREQ(net, "");
}

TEST_F(CredentialsTest, WithoutTheVariableTheFixedPathHolds) {
  ::setenv(kConfigFileVariable, "", 1);
  EXPECT_EQ(ConfigFilePath(), "../../../../files/korvane.ini");
  ::unsetenv(kConfigFileVariable);
  EXPECT_EQ(ConfigFilePath(), "../../../../files/korvane.ini");
  ::setenv(kConfigFileVariable, "/etc/other.ini", 1);
  EXPECT_EQ(ConfigFilePath(), "/etc/other.ini");
}

TEST(EncipherCommandTest, PrintsAValueThatDeciphersBack) {
  std::FILE* p = ::popen(PELVARO_BIN_DIR "/pelvaro-admin encipher GORVAKL", "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p) != nullptr) output += buf;
  EXPECT_EQ(::pclose(p), 0);
  ASSERT_FALSE(output.empty());
  ASSERT_EQ(output.back(), '\n');
  output.pop_back();
  EXPECT_EQ(output.size(), 40u);
  EXPECT_EQ(Decipher(output), "GORVAKL");
}

}  // namespace
}  // namespace pelvaro
