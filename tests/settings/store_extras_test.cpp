// The store's whole-file, listing, delete and rename operations, and the geometry pair.
#include "settings/settings_store.h"

#include "settings_fixture.h"

namespace cw::settings {
namespace {

class StoreExtras : public SettingsFileTest {
 protected:
  void Load(const std::string& bytes) {
    WriteFileBytes(path, bytes);
    ASSERT_TRUE(store.Open(path, StorageMode::KeepOpen));
  }
  SettingsStore store;
};

TEST_F(StoreExtras, DeleteAndRenameChangeFileAndDropTheCache) {
  Load("[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3");
  EXPECT_EQ(store.ReadValue("b", "z", ""), "3");  // caches section b
  EXPECT_EQ(store.DeleteEntry("a", "x"), kWritten);
  EXPECT_EQ(File(), "[a]\r\ny=2\r\n[b]\r\nz=3");
  // Section b moved; a write through the cache must still land in it.
  EXPECT_EQ(store.WriteValue("b", "z", "4"), kWritten);
  EXPECT_EQ(File(), "[a]\r\ny=2\r\n[b]\r\nz=4");
  EXPECT_EQ(store.RenameSection("a", "alpha"), kWritten);
  EXPECT_EQ(store.RenameKey("b", "z", "zed"), kWritten);
  EXPECT_EQ(File(), "[alpha]\r\ny=2\r\n[b]\r\nzed=4");
  EXPECT_EQ(store.DeleteEntry("b", "nope"), kNoKey);
  EXPECT_EQ(store.DeleteEntry("c", ""), kNoSection);
  EXPECT_EQ(store.RenameSection("c", "d"), kNoSection);
  EXPECT_EQ(store.DeleteEntry("alpha", ""), kWritten);
  EXPECT_EQ(File(), "[b]\r\nzed=4");
  EXPECT_EQ(store.DeleteEntry("b", ""), kWritten);  // the last section: no line break left
  EXPECT_EQ(File(), "");
}

TEST_F(StoreExtras, DeleteFromThePumpWaitsForTheRunningWrite) {
  Load("[a]\r\nx=1");
  int nested = 0;
  platform::SetPumpHook([&] {
    if (nested == 0) nested = store.DeleteEntry("a", "x");
  });
  EXPECT_EQ(store.WriteValue("a", "y", "2"), kWritten);
  EXPECT_EQ(nested, kQueued);
  EXPECT_EQ(File(), "[a]\r\ny=2");
}

TEST_F(StoreExtras, Listings) {
  Load("top=0\r\n[a]\r\nk=1\r\nj=\r\n[b]x\r\nk=10\r\n[ab]\r\nm=1");
  std::vector<std::string> out;
  EXPECT_EQ(store.ListSections(&out), 2);  // "[b]x" does not end with "]"
  EXPECT_EQ(out, (std::vector<std::string>{"a", "ab"}));
  EXPECT_EQ(store.ListSections(&out, "a", "b"), 1);
  EXPECT_EQ(out, (std::vector<std::string>{"a"}));
  // "[b]x" is no header, so its lines still belong to section a.
  EXPECT_EQ(store.ListKeys(&out, "", "", "a"), 3);
  EXPECT_EQ(out, (std::vector<std::string>{"k", "j", "k"}));
  EXPECT_EQ(store.ListKeys(&out, "", "j"), 3);
  EXPECT_EQ(out, (std::vector<std::string>{"k", "k", "m"}));
  EXPECT_EQ(store.ListSectionsWithKey("k", &out), 2);
  EXPECT_EQ(out, (std::vector<std::string>{"a", "a"}));  // "[b]x" is no header line
  EXPECT_EQ(store.ListKeysWithValue("1", &out), 2);      // not "k=10"
  EXPECT_EQ(out, (std::vector<std::string>{"k", "m"}));
  EXPECT_EQ(store.ListKeysWithValue("", &out, "a"), 1);
  EXPECT_EQ(out, (std::vector<std::string>{"j"}));
}

TEST_F(StoreExtras, WholeTextSaveAndReload) {
  Load("[a]\r\nx=1");
  EXPECT_EQ(store.GetAllText(), "[a]\r\nx=1");
  EXPECT_TRUE(store.SetAllText("[n]\r\nk=v", false));
  EXPECT_EQ(File(), "[n]\r\nk=v");
  EXPECT_EQ(store.ReadValue("n", "k", ""), "v");
  EXPECT_TRUE(store.SetAllText("\r\nq=1", true));
  EXPECT_EQ(File(), "[n]\r\nk=v\r\nq=1");
  EXPECT_TRUE(store.Save());  // through its own handle
  EXPECT_EQ(File(), "[n]\r\nk=v\r\nq=1");
  EXPECT_TRUE(store.Reload());
  EXPECT_EQ(store.ReadValue("n", "q", ""), "1");
}

TEST_F(StoreExtras, WindowGeometryPair) {
  Load("");
  store.SetSection("keep");
  store.SaveWindowGeometry(WindowFrame{0, 10, 20, 606, 436}, "");
  EXPECT_EQ(File(), W("[主界面.尺寸]\r\n位置=0\r\n左边=10\r\n顶边=20\r\n宽度=606\r\n高度=436"));
  EXPECT_EQ(store.CurrentSection(), "keep");
  WindowFrame frame{1, 1, 2, 3, 4};
  store.RestoreWindowGeometry(&frame, "");
  EXPECT_EQ(frame.placement, 0);
  EXPECT_EQ(frame.width, 606);
  store.SaveWindowGeometry(WindowFrame{2, 0, 0, 0, 0}, "w");  // maximised: placement only
  WindowFrame other{0, 5, 6, 7, 8};
  store.RestoreWindowGeometry(&other, "w");
  EXPECT_EQ(other.placement, 2);
  EXPECT_EQ(other.left, 5);
}

}  // namespace
}  // namespace cw::settings
