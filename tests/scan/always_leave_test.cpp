#include "scan/always_leave.h"

#include <gtest/gtest.h>

#include "scan/result_marks.h"
#include "support/memory_file_system.h"

namespace calvorin {
namespace {

// Every key path and value name comes back exactly from the file, whatever it holds, and a
// missing or damaged file remembers nothing.
TEST(AlwaysLeaveListTest, HostileNamesSurviveTheFileAndADamagedFileMeansNothing) {
  const struct {
    Hkey root;
    std::string key, name;
  } values[] = {
      {kHkeyCurrentUser, "HKEY_CURRENT_USER\\software\\a=b;c", "[x]=\"y\";z"},
      {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE\\line\r\nbreak\\tab\there", "lf\nonly"},
      {kHkeyUsers, "HKEY_USERS\\s-1\\100%\\%41", "trailing space "},
      {kHkeyClassesRoot, "HKEY_CLASSES_ROOT\\\x83\x5C\xE9\xFF\x7F", std::string("nul\0x", 5)},
      {kHkeyCurrentUser, "HKEY_CURRENT_USER\\software\\a=b;c", ""},
  };
  testing::MemoryFileSystem fs;
  fs.AddFolder("C:\\Data");
  const std::string path = "C:\\Data\\always-leave.txt";
  AlwaysLeaveList list;
  for (const auto& v : values) list.Set(v.root, v.key, v.name, true);
  list.Save(fs, path);
  const std::string text = *fs.Content(path);
  // One line per value after the two comment lines, readable as it stands.
  EXPECT_NE(text.find("HKEY_CURRENT_USER\tHKEY_CURRENT_USER\\software\\a=b;c\t[x]=\"y\";z\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("100%25\\%2541\ttrailing space%20\r\n"), std::string::npos);
  const AlwaysLeaveList read = AlwaysLeaveList::Load(fs, path);
  EXPECT_EQ(read.Size(), std::size(values));
  for (const auto& v : values) EXPECT_TRUE(read.Contains(v.root, v.key, v.name)) << v.key;
  EXPECT_FALSE(read.Contains(kHkeyLocalMachine, values[0].key, values[0].name));
  EXPECT_FALSE(read.Contains(kHkeyUsers, values[2].key, "trailing space"));
  list.Set(values[0].root, values[0].key, values[0].name, false);
  EXPECT_FALSE(list.Contains(values[0].root, values[0].key, values[0].name));

  EXPECT_EQ(AlwaysLeaveList::Load(fs, "C:\\Data\\none.txt").Size(), 0u);
  for (const char* damaged : {"HKEY_USERS\tkey only\r\n", "HKEY_USERS\tk\tv\textra\r\n",
                              "HKEY_USERS\tk\tbad%4\r\n", "HKEY_USERS\tk\tbad%G1\r\n",
                              "\tk\tv\r\n"}) {
    fs.AddFile(path, text + damaged);
    EXPECT_EQ(AlwaysLeaveList::Load(fs, path).Size(), 0u) << damaged;
  }
}

// An entry always left unchanged is never ticked by Tick all or Space; forgetting its mark ticks
// it; a run's outcomes replace the tick words until the next scan.
TEST(ResultMarksTest, TicksMarksAndOutcomes) {
  ResultMarks marks;
  for (std::size_t i = 0; i < 3; ++i) marks.Recorded(i, i == 2);
  EXPECT_EQ(marks.TickedCount(), 2);
  EXPECT_TRUE(marks.SetTicked(0, false));
  EXPECT_FALSE(marks.SetTicked(2, true));
  EXPECT_EQ(marks.StateText(0), "Not ticked");
  EXPECT_EQ(marks.StateText(2), "Not ticked: always left unchanged");
  EXPECT_EQ(marks.ExtraRow(2).text, "Always left unchanged");
  EXPECT_EQ(marks.ExtraRow(1).text, "");
  marks.SetAll(true);
  EXPECT_EQ(marks.TickedCount(), 2);
  marks.SetAlwaysLeft(1, true);
  EXPECT_EQ(marks.TickedCount(), 1);
  marks.SetAlwaysLeft(2, false);
  EXPECT_TRUE(marks.Ticked(2));
  EXPECT_EQ(marks.TickedCount(), 2);
  marks.SetOutcomes({{EntryOutcome::kFixed, "C:\\New\\a.exe"}, {EntryOutcome::kAlwaysLeft, ""}});
  EXPECT_EQ(marks.StateText(0), "Fixed: C:\\New\\a.exe");
  EXPECT_EQ(marks.ExtraRow(1).text, "Left unchanged: always left unchanged");
  EXPECT_EQ(marks.StateText(2), "Ticked");
  marks.Recorded(0, false);  // a new scan's first entry
  EXPECT_EQ(marks.Size(), 1u);
  EXPECT_EQ(marks.StateText(0), "Ticked");
}

}  // namespace
}  // namespace calvorin
