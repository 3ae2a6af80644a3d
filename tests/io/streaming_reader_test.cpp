// The reader takes its input in chunks: what it reads must not depend on
// where the chunks end, and a file is read only as far as the records used.
#include <gtest/gtest.h>

#include "io/record_reader.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

// Reads a fixed mix of records and returns what was seen.
std::string transcript(RecordReader r) {
  std::string out;
  auto note = [&](const std::string& s) { out += s + "@" + std::to_string(r.record()) + ";"; };
  r.skip(1);
  int32_t a = 0, b = 0;
  r.values("two integers", a, b);
  note(std::to_string(a) + "," + std::to_string(b));
  note(r.name30("a name"));
  float f = 0.0f;
  r.values("a real", f);
  note(std::to_string(f));
  note(r.rest_is_blank() ? "blank" : "more");
  note(r.name_item("a quoted name"));
  note(r.rest_is_blank() ? "blank" : "more");
  const int32_t left = r.count_records();
  note("left " + std::to_string(left) + (r.at_end() ? " end" : ""));
  r.rewind();
  r.skip(4);
  note(r.name30("the name again"));
  return out;
}

TEST(StreamingReader, ChunkSizeDoesNotChangeWhatIsRead) {
  const std::string text =
      "label record that is longer than a few chunks\r\n"
      "12,\r\n\r\n  -3 ignored\n"
      "name-of-thirty-columns-exactly and more\r\n"
      "  2.5e1\n"
      "   \n"
      "'quoted name' x\n"
      " ,\t\n\n"
      "last without line end";
  const std::string expected =
      "12,-3@4;name-of-thirty-columns-exactly@5;25.000000@6;more@6;quoted name@8;more@8;left 3 end@11;"
      "name-of-thirty-columns-exactly@5;";
  for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{7}, RecordReader::kChunk}) {
    EXPECT_EQ(transcript(RecordReader::from_text(text, "t.txt", chunk)), expected) << chunk;
  }
}

TEST(StreamingReader, FilesAreReadAheadOnlyWhileBlank) {
  test::TempDir d;
  const std::string blanks(3 * RecordReader::kChunk, ' ');
  d.write("more.txt", "1\n" + blanks + "\n\n7\n");
  RecordReader more(d / "more.txt");
  int32_t v = 0;
  more.values("v", v);
  EXPECT_FALSE(more.rest_is_blank());
  more.values("v", v);  // the look-ahead left the position alone
  EXPECT_EQ(v, 7);
  EXPECT_EQ(more.record(), 4);
  EXPECT_TRUE(more.rest_is_blank());

  d.write("blank.txt", "1\n" + blanks + "\n" + blanks);
  RecordReader blank(d / "blank.txt");
  blank.values("v", v);
  EXPECT_TRUE(blank.rest_is_blank());
  EXPECT_EQ(blank.count_records(), 2);

  // Not a regular file: refused, not read until memory runs out.
  EXPECT_FALSE(RecordReader::try_open(d.path()));
  try {
    RecordReader::try_open("/dev/zero");
    ADD_FAILURE() << "a device was opened";
  } catch (const InputError& e) {
    EXPECT_STREQ(e.what(), "file '/dev/zero': not a regular file");
  }
}

TEST(StreamingReader, AFileCutWhileReadIsAnErrorNotAShortFile) {
  test::TempDir d;
  std::string text;
  for (int k = 0; k < 50000; ++k) text += "1 2 3\n";
  d.write("cut.txt", text);
  RecordReader r(d / "cut.txt");
  r.skip(1);
  std::filesystem::resize_file(d / "cut.txt", 2 * RecordReader::kChunk);
  try {
    r.count_records();
    ADD_FAILURE() << "the cut went unnoticed";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("cut.txt': the file ends after 131072 of its 300000 bytes"), std::string::npos)
        << e.what();
  }
}

TEST(StreamingReader, MessagesShowInputBytesEscaped) {
  auto r = RecordReader::from_text(std::string("\x1b[2J\0tail\n", 10), std::string("n\x07me", 4));
  try {
    int32_t v = 0;
    r.values("a count", v);
    ADD_FAILURE() << "read " << v;
  } catch (const InputError& e) {
    EXPECT_STREQ(e.what(), "file 'n\\x07me': record 1: expected a count (an integer), found '\\x1b[2J\\x00tail'");
  }
}

}  // namespace
}  // namespace tarvex
