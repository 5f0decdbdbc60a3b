// The settings file's byte rules as a reader and writer of the file see them.
#include "settings/format.h"

#include "settings_fixture.h"

namespace cw::settings {
namespace {

class FileRules : public SettingsFileTest {
 protected:
  // Opens the given bytes and returns what a read of section/key gives ("<default>"
  // when absent).
  std::string Read(const std::string& bytes, const std::string& section, const std::string& key) {
    WriteFileBytes(path, bytes);
    SettingsStore store;
    store.Open(path, StorageMode::KeepOpen);
    return store.ReadValue(section, key, "<default>");
  }
  // Writes one value into a file holding `bytes` and returns the file afterwards.
  std::string Write(const std::string& bytes, const std::string& section, const std::string& key,
                    const std::string& value) {
    WriteFileBytes(path, bytes);
    SettingsStore store;
    EXPECT_TRUE(store.Open(path, StorageMode::KeepOpen));
    EXPECT_EQ(store.WriteValue(section, key, value), kWritten);
    EXPECT_EQ(store.GetAllText(), File());
    return File();
  }
};

TEST_F(FileRules, ValueExtentAndLineStarts) {
  EXPECT_EQ(Read("[s]\r\nk=v", "s", "k"), "v");               // to the end of the file
  EXPECT_EQ(Read("[s]\r\nk=a\nb\r\nx=1", "s", "k"), "a\nb");  // a lone LF is data
  EXPECT_EQ(Read("[s]\r\nk=a\rb", "s", "k"), "a\rb");         // so is a lone CR
  EXPECT_EQ(Read("[s]\r\nk=\r\nx=1", "s", "k"), "");          // present but empty
  EXPECT_EQ(Read("k=1\r\n[s]", "s", "k"), "<default>");       // before the header
  EXPECT_EQ(Read("[s]\r\nk =1", "s", "k"), "<default>");      // the blank is the key's
  EXPECT_EQ(Read("[s]\r\nk =1", "s", "k "), "1");
  EXPECT_EQ(Read("[s]\r\nK=1", "s", "k"), "<default>");   // case-sensitive
  EXPECT_EQ(Read("[s] trailing\r\nk=1", "s", "k"), "1");  // rest of header line ignored
  EXPECT_EQ(Read("x[s]\r\nk=1", "s", "k"), "<default>");  // not at a line start
  EXPECT_EQ(Read("x[s]\r\nk=1\r\n[s]\r\nk=2", "s", "k"), "2");
  EXPECT_EQ(Read("[s]\r\nk=1\r\n[s]\r\nk=2", "s", "k"), "1");  // first occurrence wins
  EXPECT_EQ(Read(W("[主界面]\r\n编辑框文件过滤=*.*"), W("主界面"), W("编辑框")), "<default>");
  EXPECT_EQ(Read(W("[主界面]\r\n按钮批量转换.标记=D:\\x"), W("主界面"), W("按钮批量转换.标记")), "D:\\x");
  EXPECT_EQ(Read(std::string("[s]\r\nk=a\0b", 10), "s", "k"), "a");  // a text ends at a zero byte
}

TEST_F(FileRules, KeyOfALaterSectionBelongsToIt) {
  EXPECT_EQ(Read("[a]\r\nx=1\r\n[b]\r\nk=2", "a", "k"), "<default>");
  // A bracket line that is not a whole header does not end the section.
  EXPECT_EQ(Read("[a]\r\n[b\r\nk=2", "a", "k"), "2");
  EXPECT_EQ(Read("[a]\r\n[b]x\r\nk=2", "a", "k"), "2");
  EXPECT_EQ(Write("[a]\r\nx=1\r\n[b]\r\nk=2", "a", "k", "9"), "[a]\r\nx=1\r\nk=9\r\n[b]\r\nk=2");
}

TEST_F(FileRules, PlacementOfNewSectionsAndKeys) {
  EXPECT_EQ(Write("", "s", "k", "v"), "[s]\r\nk=v");
  EXPECT_EQ(Write("[s]\r\nk=v", "s", "k2", "w"), "[s]\r\nk=v\r\nk2=w");
  EXPECT_EQ(Write("[s]\r\nk=v\r\n[t]\r\nq=1", "s", "k2", ""), "[s]\r\nk=v\r\nk2=\r\n[t]\r\nq=1");
  EXPECT_EQ(Write("[s]\r\nk=v", "t", "q", "1"), "[s]\r\nk=v\r\n[t]\r\nq=1");
  // Bracketed text inside a line is no header: a real one is appended.
  EXPECT_EQ(Write("note [t] here\r\nq=0", "t", "q", "1"), "note [t] here\r\nq=0\r\n[t]\r\nq=1");
  // The next line beginning with "[" ends the section for new keys, header or not.
  EXPECT_EQ(Write("[s]\r\n[junk\r\nz=1", "s", "k", "v"), "[s]\r\nk=v\r\n[junk\r\nz=1");
  // Text before the first header, blank and comment lines are carried along.
  EXPECT_EQ(Write("; c\r\n\r\n[s]\r\n\r\nk=1\r\n", "s", "k", "22"), "; c\r\n\r\n[s]\r\n\r\nk=22\r\n");
}

TEST_F(FileRules, ValuesReplacedInPlace) {
  EXPECT_EQ(Write("[s]\r\nk=old\r\nx=1", "s", "k", "n"), "[s]\r\nk=n\r\nx=1");
  EXPECT_EQ(Write("[s]\r\nk=old\r\nx=1", "s", "k", "longer value"), "[s]\r\nk=longer value\r\nx=1");
  EXPECT_EQ(Write("[s]\r\nk=old\r\nx=1", "s", "k", ""), "[s]\r\nk=\r\nx=1");
  EXPECT_EQ(Write("[s]\r\nk=\r\nx=1", "s", "k", "v"), "[s]\r\nk=v\r\nx=1");
}

TEST(ValueForms, TextNumbersLogicalAndItemLists) {
  EXPECT_EQ(EscapeText("a\r\nb\r\n"), "a" + W("┊*┊") + "b" + W("┊*┊"));
  EXPECT_EQ(W("┊*┊"), "\xA9\xAE*\xA9\xAE");
  EXPECT_EQ(EscapeText("a\rb\nc"), "a\rb\nc");
  // A lone lead byte before CR LF must not keep the line break in the stored value.
  EXPECT_EQ(EscapeText("\x81\r\n").find("\r\n"), std::string::npos);
  EXPECT_EQ(UnescapeText(EscapeText("x\r\ny")), "x\r\ny");
  EXPECT_EQ(UnescapeText("a" + W("┊*┊") + "b"), "a\r\nb");

  EXPECT_EQ(FormatNumber(0), "0");
  EXPECT_EQ(FormatNumber(2), "2");
  EXPECT_EQ(FormatNumber(-1), "-1");
  EXPECT_EQ(FormatNumber(0.5), "0.5");
  EXPECT_EQ(FormatNumber(1.0 / 3), "0.3333333333333");
  EXPECT_EQ(FormatNumber(1e20), "1e+20");
  EXPECT_EQ(ParseNumber("12.5"), 12.5);
  EXPECT_EQ(ParseNumber("-3e2x"), -300);
  EXPECT_EQ(ParseNumber("7e"), 7);
  EXPECT_EQ(ParseNumber(""), 0);
  EXPECT_EQ(ParseNumber("abc"), 0);
  EXPECT_EQ(ParseNumber("-"), 0);
  EXPECT_EQ(ParseNumber(W("真")), 0);

  EXPECT_EQ(TrueText(), "\xD5\xE6");
  EXPECT_EQ(FalseText(), "\xBC\xD9");

  EXPECT_EQ(JoinItemList({{"a", "1"}, {"b", "2", W("真")}}), "a{G}1{H}b{G}2{G}" + W("真"));
  EXPECT_TRUE(SplitItemList("").empty());
  const auto records = SplitItemList("a{G}1{H}{H}b");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], (std::vector<std::string>{"a", "1"}));
  EXPECT_EQ(records[1], (std::vector<std::string>{""}));
  EXPECT_EQ(records[2], (std::vector<std::string>{"b"}));
}

TEST(ByteFiles, PathBesideTheSettingsFile) {
  EXPECT_EQ(ByteFilePath("Z:\\p\\a.ini", W("主界面"), "k"), "Z:\\p\\inibin\\" + W("主界面") + "-k.ibn");
  EXPECT_EQ(ByteFilePath("Z:\\p\\a.ini", "s", "..\\..\\x"), "");
  EXPECT_EQ(ByteFilePath("Z:\\p\\a.ini", "a/b", "k"), "");
}

}  // namespace
}  // namespace cw::settings
