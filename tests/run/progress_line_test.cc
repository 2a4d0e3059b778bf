// The progress line alone, on a string instead of a terminal, with a clock
// the test moves.
#include "run/progress_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zarn {
namespace {

class ProgressLineTest : public ::testing::Test {
 protected:
  ProgressLine Make(int width) {
    return ProgressLine(out_, width, [this] { return now_; });
  }
  // What was written since the last call.
  std::string Taken() {
    std::string s = out_.str();
    out_.str("");
    return s;
  }
  std::ostringstream out_;
  int64_t now_ = 5000;
};

TEST_F(ProgressLineTest, DrawsInPlaceAtMostEveryTenthOfASecond) {
  ProgressLine line = Make(80);
  line.Start(12);
  EXPECT_EQ(Taken(), "\r0/12 files, 0 changes\x1b[K");
  line.Update(0, "a.txt", 0);
  EXPECT_EQ(Taken(), "");  // drawn a moment ago
  now_ += ProgressLine::kRedrawMillis - 1;
  line.Update(1, "b.txt", 4);
  EXPECT_EQ(Taken(), "");
  now_ += 1;
  line.Update(2, "c.txt", 5);
  EXPECT_EQ(Taken(), "\r2/12 files, 5 changes: c.txt\x1b[K");
  line.Finish();
  EXPECT_EQ(Taken(), "\r\x1b[K");
  now_ += 1000;
  line.Update(3, "d.txt", 5);  // over: nothing more
  line.Show();
  EXPECT_EQ(Taken(), "");
}

TEST_F(ProgressLineTest, LongNamesAreCutFromTheLeftToFitTheWidth) {
  ProgressLine line = Make(40);
  line.Start(3);
  now_ += 1000;
  line.Update(1, "folder/subfolder/a-rather-long-name.txt", 2);
  // 39 columns: the counts, then the end of the name.
  EXPECT_EQ(line.Text(), "1/3 files, 2 changes: ...-long-name.txt");
  EXPECT_EQ(line.Text().size(), 39u);

  // A multi-byte character is never cut in half.
  line.Update(1, "dir/\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9xyz", 2);
  std::string text = line.Text();
  EXPECT_LE(text.size(), 39u);
  size_t cut = text.find("...") + 3;
  EXPECT_NE(static_cast<unsigned char>(text[cut]) & 0xC0, 0x80);

  // A terminal narrower than the counts shows what fits.
  ProgressLine narrow = Make(10);
  narrow.Start(123);
  EXPECT_EQ(narrow.Text(), "0/123 fil");
}

TEST_F(ProgressLineTest, ControlCharactersInNamesCannotDriveTheTerminal) {
  ProgressLine line = Make(80);
  line.Start(1);
  now_ += 1000;
  line.Update(0, "a\x1b[2Jb\n\r.txt", 0);
  EXPECT_EQ(line.Text(), "0/1 files, 0 changes: a?[2Jb??.txt");
}

}  // namespace
}  // namespace zarn
