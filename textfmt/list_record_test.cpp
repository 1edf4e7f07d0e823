#include "textfmt/list_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace textfmt {
namespace {

// Collects the records a writer emits.
struct Records {
  std::vector<std::string> lines;
  ListWriter writer(std::size_t width) {
    return ListWriter(width, [this](std::string_view r) { lines.emplace_back(r); });
  }
};

TEST(ListRecord, ProgressAndHeaderLines) {
  Records got;
  ListWriter out = got.writer(kFileRecordWidth);
  begin_record(out);
  put_integer(out, 1);
  put_text(out, " Ray = ");
  put_real(out, 1.9f);
  end_record(out);
  begin_record(out);
  put_integer(out, 121);
  put_integer(out, 121);
  put_integer(out, 1);
  end_record(out);
  begin_record(out);
  put_real(out, 0.5f);
  end_record(out);
  ASSERT_EQ(got.lines.size(), 3u);
  EXPECT_EQ(got.lines[0], "           1  Ray =    1.900000    ");
  EXPECT_EQ(got.lines[1], "         121         121           1");
  EXPECT_EQ(got.lines[2], "  0.5000000    ");
}

TEST(ListRecord, TextSeparators) {
  Records got;
  ListWriter out = got.writer(kFileRecordWidth);
  begin_record(out);
  put_text(out, " Warning: incompatible array sizes !!!");
  end_record(out);
  begin_record(out);
  put_text(out, " Output in ");
  put_text(out, "Map.dat");
  end_record(out);
  begin_record(out);
  put_text(out, "x");
  end_record(out);
  begin_record(out);
  put_text(out, "");
  end_record(out);
  begin_record(out);
  put_text(out, "n =");
  put_integer(out, 5);
  put_text(out, "done");
  end_record(out);
  const std::vector<std::string> want = {
      "  Warning: incompatible array sizes !!!",
      "  Output in Map.dat",
      " x",
      " ",
      " n =           5 done",
  };
  EXPECT_EQ(got.lines, want);
}

TEST(ListRecord, LongTextsOnAnEightyColumnRecord) {
  const std::string t79(79, 'a');
  const std::string t80 = std::string(79, 'b') + "c";
  const std::string t200 = std::string(79, 'd') + std::string(79, 'e') + std::string(42, 'f');
  Records got;
  ListWriter out = got.writer(kFileRecordWidth);
  for (const std::string* t : {&t79, &t80, &t200}) {
    begin_record(out);
    put_text(out, *t);
    end_record(out);
  }
  const std::vector<std::string> want = {
      " " + t79,
      " " + std::string(79, 'b'), " c",
      " " + std::string(79, 'd'), " " + std::string(79, 'e'), " " + std::string(42, 'f'),
  };
  EXPECT_EQ(got.lines, want);
}

TEST(ListRecord, ItemsThatDoNotFitBeginANewRecord) {
  Records got;
  ListWriter out = got.writer(kFileRecordWidth);
  begin_record(out);  // six integers fill 72 columns, the seventh needs 12
  for (int i = 1; i <= 7; ++i) put_integer(out, i);
  end_record(out);
  begin_record(out);  // five reals fill 75 columns
  for (int i = 0; i < 6; ++i) put_real(out, 1.0f);
  end_record(out);
  begin_record(out);  // 70 characters do not fit the 68 free columns: a record of their own
  put_integer(out, 3);
  put_text(out, std::string(70, 't'));
  end_record(out);
  begin_record(out);  // the text fits the free columns but its blank does not: it runs over
  put_integer(out, 4);
  put_integer(out, 5);
  put_integer(out, 6);
  put_integer(out, 7);
  put_integer(out, 8);
  put_integer(out, 9);
  put_text(out, "12345678");
  end_record(out);
  const std::string ints = "           1           2           3           4           5           6";
  const std::string six_to_nine = "           4           5           6           7           8           9";
  const std::vector<std::string> want = {
      ints,
      "           7",
      "   1.000000       1.000000       1.000000       1.000000       1.000000    ",
      "   1.000000    ",
      "           3",
      " " + std::string(70, 't'),
      six_to_nine + " 1234567",
      " 8",
  };
  EXPECT_EQ(got.lines, want);
}

TEST(ListRecord, NarrowDestinations) {
  Records got;
  ListWriter out = got.writer(10);
  begin_record(out);  // a field wider than the record still goes out whole
  put_integer(out, -5);
  put_text(out, "abcdefghijkl");
  end_record(out);
  ListWriter one = got.writer(1);
  begin_record(one);  // at least one character a record: the text ends
  put_text(one, "xy");
  end_record(one);
  const std::vector<std::string> want = {"          -5", " abcdefghi", " jkl", " x", " y"};
  EXPECT_EQ(got.lines, want);
}

TEST(ListRecord, ZeroWidthRecords) {
  Records got;
  ListWriter out = got.writer(0);
  begin_record(out);
  put_integer(out, 3);
  put_text(out, "ab");
  put_real(out, 1.0f);
  end_record(out);
  const std::vector<std::string> want = {"           3", " a", " b", "   1.000000    "};
  EXPECT_EQ(got.lines, want);
}

TEST(ListRecord, UnfinishedRecordIsNotLostAndBufferIsReused) {
  Records got;
  ListWriter out = got.writer(kFileRecordWidth);
  begin_record(out);
  put_integer(out, 1);
  begin_record(out);  // the earlier statement never ended its record
  put_integer(out, 2);
  end_record(out);
  begin_record(out);
  end_record(out);  // no items: an empty record
  const std::vector<std::string> want = {"           1", "           2", ""};
  EXPECT_EQ(got.lines, want);
  EXPECT_EQ(out.record_width(), 80u);
}

TEST(ListRecord, UnlimitedWidthGivesOneLineAStatement) {
  Records got;
  ListWriter console = got.writer(static_cast<std::size_t>(-1));
  begin_record(console);
  for (int i = 0; i < 10; ++i) put_real(console, 2.0f);
  put_text(console, std::string(100, 'z'));
  end_record(console);
  ASSERT_EQ(got.lines.size(), 1u);
  EXPECT_EQ(got.lines[0].size(), 10u * 15u + 1u + 100u);
}

}  // namespace
}  // namespace textfmt
