// The settings store: every value kind written in one store reads back the same from a
// new store on the same file, as at the next start of the program.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "registryext.h"

namespace {

class RegistryExt : public ::testing::Test {
 protected:
  QString File() const { return Dir_.filePath(QStringLiteral("Sonivex.ini")); }
  QTemporaryDir Dir_;
};

TEST_F(RegistryExt, StringListsKeepEmptyItemsAndEmptyLists) {
  const std::vector<QStringList> lists = {
      {}, {QString()}, {QStringLiteral("a"), QStringLiteral("bc")}, {QStringLiteral("a"), QString(), QStringLiteral("c")},
      {QStringLiteral("x")}, {QStringLiteral("a, b"), QStringLiteral("c,d")}, {QStringLiteral("line\nbreak"), QStringLiteral("\"quoted\"")},
      {QStringLiteral("%1 - %2"), QStringLiteral("@Invalid()"), QStringLiteral("Ünïcødé 🎵")}, {QString(), QString()}};
  {
    TRegistryExt store(File());
    store.OpenKey(QStringLiteral("GetTagsForm"));
    for (size_t i = 0; i < lists.size(); ++i) store.WriteStringList(QStringLiteral("List%1").arg(i), lists[i]);
    store.Flush();
  }
  TRegistryExt store(File());
  store.OpenKey(QStringLiteral("GetTagsForm"));
  for (size_t i = 0; i < lists.size(); ++i)
    EXPECT_EQ(store.ReadStringList(QStringLiteral("List%1").arg(i)), lists[i]) << i;
  EXPECT_EQ(store.ReadStringList(QStringLiteral("Missing")), QStringList());
}

TEST_F(RegistryExt, ValueKindsAndDefaults) {
  {
    TRegistryExt store(File());
    store.OpenKey(QStringLiteral("General"));
    store.WriteInteger(QStringLiteral("Int"), -42);
    store.WriteBool(QStringLiteral("On"), true);
    store.WriteBool(QStringLiteral("Off"), false);
    store.WriteString(QStringLiteral("Text"), QStringLiteral("a, b, c"));
    store.WriteString(QStringLiteral("Empty"), QString());
    store.WriteColor(QStringLiteral("SystemColour"), 0xFF000005u);
    store.WriteColor(QStringLiteral("Colour"), 0x00336699u);
    store.OpenKey(QStringLiteral("MainForm"));
    store.WriteInteger(QStringLiteral("Int"), 7);
    store.Flush();
  }
  TRegistryExt store(File());
  store.OpenKey(QStringLiteral("General"));
  EXPECT_EQ(store.ReadInteger(QStringLiteral("Int")), -42);
  EXPECT_TRUE(store.ReadBool(QStringLiteral("On")));
  EXPECT_FALSE(store.ReadBool(QStringLiteral("Off"), true));
  EXPECT_EQ(store.ReadString(QStringLiteral("Text")), QStringLiteral("a, b, c"));
  EXPECT_TRUE(store.ValueExists(QStringLiteral("Empty")));
  EXPECT_EQ(store.ReadString(QStringLiteral("Empty"), QStringLiteral("default")), QString());
  EXPECT_EQ(store.ReadColor(QStringLiteral("SystemColour"), 0), 0xFF000005u);
  EXPECT_EQ(store.ReadColor(QStringLiteral("Colour"), 0), 0x00336699u);
  EXPECT_FALSE(store.ValueExists(QStringLiteral("Missing")));
  EXPECT_EQ(store.ReadInteger(QStringLiteral("Missing"), 240), 240);
  EXPECT_TRUE(store.ReadBool(QStringLiteral("Missing"), true));
  EXPECT_EQ(store.ReadString(QStringLiteral("Missing"), QStringLiteral("d")), QStringLiteral("d"));
  store.OpenKey(QStringLiteral("MainForm"));
  EXPECT_EQ(store.ReadInteger(QStringLiteral("Int")), 7) << "sections are separate";
}

TEST_F(RegistryExt, AnyNonZeroIntegerIsTrue) {
  TRegistryExt store(File());
  store.OpenKey(QStringLiteral("General"));
  store.WriteInteger(QStringLiteral("Two"), 2);
  store.WriteInteger(QStringLiteral("Minus"), -1);
  store.WriteString(QStringLiteral("Word"), QStringLiteral("true"));
  store.WriteString(QStringLiteral("Junk"), QStringLiteral("perhaps"));
  EXPECT_TRUE(store.ReadBool(QStringLiteral("Two")));
  EXPECT_TRUE(store.ReadBool(QStringLiteral("Minus")));
  EXPECT_TRUE(store.ReadBool(QStringLiteral("Word")));
  EXPECT_FALSE(store.ReadBool(QStringLiteral("Junk")));
  EXPECT_TRUE(store.ReadBool(QStringLiteral("Junk"), true)) << "an unreadable value means the default";
}

TEST_F(RegistryExt, AStoreThatCannotBeWrittenIsAnError) {
  // A folder in place of the file: nothing can be written there.
  QDir(Dir_.path()).mkdir(QStringLiteral("blocked.ini"));
  TRegistryExt blocked(Dir_.filePath(QStringLiteral("blocked.ini")));
  blocked.WriteInteger(QStringLiteral("Int"), 1);
  EXPECT_THROW(blocked.Flush(), ERegistryError);
}

}  // namespace
