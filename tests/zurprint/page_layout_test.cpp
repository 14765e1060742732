#include "tools/zurprint/page_layout.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using zurprint::Cell;
using zurprint::PageSink;
using zurprint::SpoolLayout;

// Keeps every page as text: "[lines]" then the page's lines up to its last drawn one.
// With styles on, each drawn cell shows as the digit of its style bits instead.
class RecordingSink : public PageSink {
 public:
  explicit RecordingSink(bool styles = false) : styles_(styles) {}
  void BeginPage(int lines) override {
    EXPECT_FALSE(open_) << "page begun twice";
    open_ = true;
    pages_.push_back({lines, {}});
  }
  void DrawCells(int line, int column, const Cell* cells, size_t count) override {
    ASSERT_TRUE(open_);
    Page& page = pages_.back();
    ASSERT_GE(line, 0);
    ASSERT_LT(line, page.lines);
    ASSERT_GE(column, 1);
    ASSERT_LE(column + static_cast<int>(count) - 1, zurprint::kMaxColumns);
    EXPECT_FALSE(zurprint::IsInvisible(cells[0]));
    EXPECT_FALSE(zurprint::IsInvisible(cells[count - 1]));
    if (page.rows.size() <= static_cast<size_t>(line)) page.rows.resize(line + 1);
    std::string& row = page.rows[line];
    size_t at = static_cast<size_t>(column - 1);
    if (row.size() < at + count) row.resize(at + count, ' ');
    for (size_t i = 0; i < count; ++i) {
      if (zurprint::IsInvisible(cells[i])) continue;
      row[at + i] =
          styles_ ? static_cast<char>('0' + cells[i].style) : static_cast<char>(cells[i].byte);
    }
  }
  void EndPage() override {
    EXPECT_TRUE(open_) << "page ended twice";
    open_ = false;
  }
  std::string Text() const {
    EXPECT_FALSE(open_) << "last page not ended";
    std::string out;
    for (const Page& p : pages_) {
      out += "[" + std::to_string(p.lines) + "]\n";
      for (const std::string& row : p.rows) out += row + "\n";
    }
    return out;
  }

 private:
  struct Page {
    int lines;
    std::vector<std::string> rows;
  };
  bool styles_;
  bool open_ = false;
  std::vector<Page> pages_;
};

struct Result {
  bool ok = true;
  std::string reason;
  std::string pages;
  long pageCount = 0;
  int widest = 0;
};

// Lays out the spool lines of body (separated by "\n", the device line left out).
Result Layout(const std::string& body, bool styles = false) {
  RecordingSink sink(styles);
  SpoolLayout layout(sink);
  Result r;
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(start, end - start);
    start = end + 1;
    zurprint::SpoolLine parsed;
    if (!zurprint::ParseSpoolLine(line, parsed, r.reason) || !layout.Feed(parsed, r.reason)) {
      r.ok = false;
      return r;
    }
  }
  if (!layout.Finish(r.reason)) {
    r.ok = false;
    return r;
  }
  r.pages = sink.Text();
  r.pageCount = layout.pages();
  r.widest = layout.widestColumn();
  return r;
}

struct Case {
  const char* name;
  std::string body;
  std::string pages;
};

void Check(const Case& c, bool styles = false) {
  Result r = Layout(c.body, styles);
  ASSERT_TRUE(r.ok) << c.name << ": " << r.reason;
  EXPECT_EQ(r.pages, c.pages) << c.name;
}

TEST(SpoolLayout, PageRules) {
  const Case cases[] = {
      {"text before any page line is on a page of 66 lines", "1,a,1", "[66]\na\n"},
      {"a page line begins a page at the next text", "PAGE 10\n1,a,1\nPAGE 12\n1,b,1",
       "[10]\na\n[12]\nb\n"},
      {"page lines without text between them make one page", "PAGE 10\nPAGE 20\n*@e\n1,a,1",
       "[20]\na\n"},
      {"a page with blank text only is never produced",
       "PAGE 10\n1,   ,3\n0,,2\nPAGE 10\nJUSN 50 \\-\\\n1,  ,1\nJUSE\nPAGE 11\n1,a,1", "[11]\na\n"},
      {"a spool without text has no page", "PAGE 66\n*@\n*e\n0,,3", ""},
      {"PAGE 0 flows on the open page", "PAGE 10\n1,a,1\nPAGE 0\n1,b,1\nPAGE 0\n1,c,1",
       "[10]\na\nb\nc\n"},
      {"PAGE 0 with no page open gives 66 lines", "PAGE 0\n1,a,1", "[66]\na\n"},
      {"PAGE 0 keeps a pending page", "PAGE 7\nPAGE 0\n1,a,1", "[7]\na\n"},
      {"a negative page length is read as 0", "PAGE 4\n1,a,1\nPAGE -5\n1,b,1", "[4]\na\nb\n"},
      {"a page longer than 1000 lines is cut", "PAGE 100000\n1,a,1", "[1000]\na\n"},
      {"text past the last line continues on a page of the same length",
       "PAGE 2\n1,a,1\n1,b,1\n1,c,1\n1,d,1\n1,e,0", "[2]\na\nb\n[2]\nc\nd\n[2]\ne\n"},
      {"a long advance moves the next text to the top of a new page", "PAGE 5\n1,a,40\n1,b,1",
       "[5]\na\n[5]\nb\n"},
      {"advance 0 keeps the next text on the same line", "1,ab,0\n5,cd,0\n10,ef,1",
       "[66]\nab  cd   ef\n"},
      {"negative advances move up", "PAGE 5\n1,a,3\n1,b,-2\n5,c,1", "[5]\na\n    c\n\nb\n"},
      {"negative advances stop at the page top", "PAGE 5\n1,a,1\n3,b,-9\n5,c,1",
       "[5]\na   c\n  b\n"},
      {"column 0 continues where the previous text ended, column 1 after an advance",
       "3,ab,0\n0,cd,0\n0,ef,1\n0,gh,1", "[66]\n  abcdef\ngh\n"},
      {"a negative start column is column 1", "-25,head,1", "[66]\nhead\n"},
      {"a later text overwrites cells on the same line", "1,abcdef,0\n3,XY,1", "[66]\nabXYef\n"},
      {"text continued across a page line keeps its column", "PAGE 3\n5,ab,0\nPAGE 3\n0,cd,1",
       "[3]\n    ab\n[3]\n      cd\n"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(SpoolLayout, Justification) {
  const Case cases[] = {
      {"E keeps the text as written", "JUSE\n1,  ab  ,1", "[66]\n  ab\n"},
      {"D moves trailing blanks to the front", "JUSD\n1,ab   ,1", "[66]\n   ab\n"},
      {"D leaves a right-aligned line where it is", "JUSD\n4,   ab,1", "[66]\n      ab\n"},
      {"C shares the free room, the smaller half in front", "JUSC\n1,  ab     ,1", "[66]\n   ab\n"},
      {"C leaves a centred line where it is", "JUSC\n1, one two ,1", "[66]\n one two\n"},
      {"A spreads trailing blanks over the gaps", "JUSA\n1,a b c   ,1", "[66]\na   b  c\n"},
      {"A keeps leading blanks and existing gaps", "JUSA\n1,  a  b  ,1", "[66]\n  a    b\n"},
      {"A leaves a text without a gap as written", "JUSA\n1,abc   ,1", "[66]\nabc\n"},
      {"N fills up to, not including, its column", "JUSN 10 \\-\\\n1,ab   ,1", "[66]\nab-------\n"},
      {"N repeats a fill of several characters", "JUSN 8 \\=+\\\n2,ab,1", "[66]\n ab=+=+\n"},
      {"N adds nothing when the text reaches its column", "JUSN 3 \\-\\\n1,abcd,1", "[66]\nabcd\n"},
      {"N without a fill text adds nothing", "JUSN 10\n1,ab,1", "[66]\nab\n"},
      {"N gives a blank text no fill", "JUSN 10 \\-\\\n1,   ,1\nJUSE\n1,x,1", "[66]\n\nx\n"},
      {"the code of the box's last text decides", "JUSD\n1,ab  ,0\nJUSE\n0,,1", "[66]\nab\n"},
      {"a box spans the texts continued at column 0", "JUSD\n1,,0\n0,ab ,0\n0,cd,0\n0,  ,1",
       "[66]\n  ab cd\n"},
      {"a start column closes the box", "JUSD\n1,ab  ,0\n10,cd  ,1", "[66]\n  ab       cd\n"},
      {"a page reset puts the alignment back to E", "JUSD\n*e\n1,ab  ,1\nJUSC\n*@\n1,cd  ,1",
       "[66]\nab\ncd\n"},
      // A line the module laid out for alignment "A" ends with its last segment under "E".
      {"module lines keep their place",
       "10,,0\nJUSA\n0,one  two ,0\n*b\nJUSA\n0,three,0\n*b\nJUSA\n0, four,1\n"
       "10,,0\nJUSA\n0,five,0\nJUSE\n0,,1",
       "[66]\n         one  two three four\n         five\n"},
  };
  for (const Case& c : cases) Check(c);
}

TEST(SpoolLayout, Styles) {
  const Case cases[] = {
      {"b, u and i toggle; @ resets", "*b\n1,ab,0\n*b\n0,cd,0\n*u\n0,ef,0\n*i\n0,gh,0\n*@\n0,ij,1",
       "[66]\n1100226600\n"},
      {"e resets, and several commands share a line", "*bu\n1,ab,0\n*e\n0,cd,0\n*i@b\n0,ef,1",
       "[66]\n330011\n"},
      {"commands in capitals are taken too", "*B\n1,a,0\n*E\n0,b,1", "[66]\n10\n"},
      {"other command characters are ignored", "*xyz!\n1,a,1", "[66]\n0\n"},
      {"underlined blanks are drawn", "*u\n1,a  b,1", "[66]\n2222\n"},
      {"an underlined blank alone makes a page", "PAGE 3\n*u\n2,  ,1", "[3]\n 22\n"},
      {"styles travel with their characters when aligned", "JUSD\n*b\n1,ab,0\n*b\n0,cd  ,1",
       "[66]\n  1100\n"},
      {"the fill takes the style of the text's last character", "JUSN 7 \\-\\\n*u\n1,ab,1",
       "[66]\n222222\n"},
  };
  for (const Case& c : cases) Check(c, /*styles=*/true);
}

TEST(SpoolLayout, ColumnBounds) {
  const std::string last = std::to_string(zurprint::kMaxColumns);
  const std::string beyond = std::to_string(zurprint::kMaxColumns + 1);
  struct BoundCase {
    const char* name;
    std::string body;
    bool ok;
    int widest;
  } cases[] = {
      {"the last column", last + ",x,1", true, zurprint::kMaxColumns},
      {"a text filling every column", "1," + std::string(zurprint::kMaxColumns, 'x') + ",1", true,
       zurprint::kMaxColumns},
      {"blanks beyond the last column are ignored", "1,ab" + std::string(1 << 20, ' ') + ",0\n0,,1",
       true, 2},
      {"a blank text far beyond the page is ignored", "30000,   ,1", true, 0},
      {"a column beyond the last", beyond + ",x,1", false, 0},
      {"a start column of 30000", "30000,x,1", false, 0},
      {"a text running past the last column",
       "1," + std::string(zurprint::kMaxColumns + 1, 'x') + ",1", false, 0},
      {"a continued text past the last column",
       "1," + std::string(zurprint::kMaxColumns, 'x') + ",0\n0,y,1", false, 0},
      {"an underlined blank past the last column", "*u\n" + last + ",  ,1", false, 0},
      {"right alignment pushing text past the last column",
       "JUSD\n1,ab" + std::string(zurprint::kMaxColumns, ' ') + ",1", false, 0},
      {"a fill past the last column", "JUSN 30000 \\-\\\n1,ab,1", false, 0},
      {"a fill up to the last column",
       "JUSN " + std::to_string(zurprint::kMaxColumns + 1) + " \\-\\\n1,ab,1", true,
       zurprint::kMaxColumns},
      {"a second device line", "DEVICEx", false, 0},
  };
  for (const BoundCase& c : cases) {
    Result r = Layout(c.body);
    EXPECT_EQ(r.ok, c.ok) << c.name << ": " << r.reason;
    if (r.ok) {
      EXPECT_EQ(r.widest, c.widest) << c.name;
    } else {
      EXPECT_FALSE(r.reason.empty()) << c.name;
    }
  }
}

TEST(SpoolLayout, ManyPages) {
  std::string body;
  for (int i = 0; i < 100000; ++i) body += "PAGE 1 \n 1 ,x, 1 \n";
  Result r = Layout(body);
  ASSERT_TRUE(r.ok) << r.reason;
  EXPECT_EQ(r.pageCount, 100000);
}

TEST(SpoolLayout, RandomSpoolsEndInPagesOrAReason) {
  std::mt19937 random(20250101);
  const std::vector<std::string> pieces = {"PAGE 3",
                                           "PAGE 0",
                                           "PAGE -4",
                                           "PAGE 99999",
                                           "*@e",
                                           "*b",
                                           "*u",
                                           "*i",
                                           "JUSD",
                                           "JUSC",
                                           "JUSA",
                                           "JUSN 40 \\-\\",
                                           "JUSN 300 \\=\\",
                                           "JUSE",
                                           " 1 ,abc , 1 ",
                                           " 0 , de , 0 ",
                                           "-7 ,x,-3 ",
                                           " 240 ,abcdefghijkl, 0 ",
                                           " 5 ,,100 ",
                                           " 0 ,   , 0 ",
                                           "DEVICE"};
  for (int round = 0; round < 300; ++round) {
    std::string body;
    int lines = static_cast<int>(random() % 60);
    for (int i = 0; i < lines; ++i) {
      if (random() % 5 == 0) {
        std::string junk(random() % 30, ' ');
        for (char& ch : junk) ch = static_cast<char>(random() % 256);
        for (char& ch : junk) {
          if (ch == '\n') ch = ',';
        }
        body += junk;
      } else {
        body += pieces[random() % pieces.size()];
      }
      body += "\n";
    }
    Result r = Layout(body);
    if (!r.ok) {
      EXPECT_FALSE(r.reason.empty()) << body;
    }
  }
}

}  // namespace
