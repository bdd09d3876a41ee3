#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "wipe/os/winrules.h"

namespace {
using Bytes = std::vector<unsigned char>;

void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (unsigned char)(v >> (8 * i));
}

void putName(Bytes& b, size_t at, const std::u16string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    b[at + 2 * i] = (unsigned char)name[i];
    b[at + 2 * i + 1] = (unsigned char)(name[i] >> 8);
  }
}

// The offset of the last record: the one whose link is still 0.
size_t lastRecord(const Bytes& b) {
  size_t at = 0;
  while (b[at] | b[at + 1] | b[at + 2] | b[at + 3]) at += b[at] | b[at + 1] << 8;
  return at;
}

// Appends a record of a chain the way the system lays it out: the fixed part
// (header bytes, its name length at lengthAt), the name, padding to 8 bytes;
// each record's first word links to the next, 0 on the last.
size_t appendRecord(Bytes& b, size_t header, size_t lengthAt, const std::u16string& name) {
  size_t at = b.size();
  if (at > 0) put32(b, lastRecord(b), (uint32_t)(at - lastRecord(b)));
  b.resize(at + ((header + 2 * name.size() + 7) & ~size_t(7)), 0);
  put32(b, at + lengthAt, (uint32_t)(2 * name.size()));
  putName(b, at + header, name);
  return at;
}

Bytes listing(const std::vector<std::u16string>& names) {
  Bytes b;
  for (size_t i = 0; i < names.size(); ++i) {
    size_t at = appendRecord(b, 104, 60, names[i]);
    put32(b, at + 56, 0x410);                  // attributes
    put32(b, at + 64, 0xA000000C);             // the reparse tag in EaSize
    put32(b, at + 96, 0x1000 + (uint32_t)i);   // FileId, low half
    put32(b, at + 100, 0x7);                   // FileId, high half
  }
  return b;
}

Bytes streams(const std::vector<std::u16string>& names) {
  Bytes b;
  for (const std::u16string& n : names) appendRecord(b, 24, 4, n);
  return b;
}

bool readListing(const Bytes& b, std::vector<DirRecord>& out) {
  out.clear();
  for (size_t at = 0, next = 0; at < b.size(); at = next) {
    DirRecord r;
    if (!readDirRecord(b.data(), b.size(), at, r, next)) return false;
    out.push_back(r);
  }
  return true;
}
}  // namespace

// Both chains come from the system, but are read as untrusted bytes: a
// length or link that leaves the buffer, or a link that would not move on,
// ends the reading as a failure, never as a read past the end or a loop.
TEST(WindowsRecords, ChainsReadWholeOrNotAtAll) {
  std::vector<DirRecord> records;
  ASSERT_TRUE(readListing(listing({u".", u"été.txt", u"x"}), records));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].name, u"été.txt");
  EXPECT_EQ(records[1].attributes, 0x410u);
  EXPECT_EQ(records[1].eaSize, 0xA000000Cu);
  EXPECT_EQ(records[2].fileId, 0x700001002ull);

  std::vector<std::u16string> names;
  ASSERT_TRUE(readStreamNames(nullptr, 0, names));
  EXPECT_TRUE(names.empty());
  Bytes s = streams({u"::$DATA", u":secret:$DATA", u":Zone.Identifier:$DATA"});
  ASSERT_TRUE(readStreamNames(s.data(), s.size(), names));
  EXPECT_EQ(names, (std::vector<std::u16string>{u":secret:$DATA", u":Zone.Identifier:$DATA"}));

  struct Case {
    const char* what;
    bool stream;           // the stream chain, else the listing
    size_t field;          // byte offset in the second record to overwrite
    uint32_t value;        // 0xFFFFFFFF: cut the buffer to field bytes instead
  } cases[] = {
      {"listing: name runs past the end", false, 60, 0x1000},
      {"listing: odd name length", false, 60, 3},
      {"listing: link back into its own record", false, 0, 8},
      {"listing: link past the end", false, 0, 0x10000},
      {"listing: buffer ends inside a record", false, 50, 0xFFFFFFFF},
      {"streams: name runs past the end", true, 4, 0x1000},
      {"streams: link of 1 byte", true, 0, 1},
      {"streams: buffer ends inside a record", true, 20, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    Bytes b = c.stream ? streams({u"::$DATA", u":a:$DATA", u":b:$DATA"}) : listing({u".", u"abc", u"d"});
    size_t second = b[0] | b[1] << 8;
    if (c.value == 0xFFFFFFFF)
      b.resize(second + c.field);
    else
      put32(b, second + c.field, c.value);
    bool ok = c.stream ? readStreamNames(b.data(), b.size(), names) : readListing(b, records);
    EXPECT_FALSE(ok) << c.what;
  }

  // A stream name must be ":name:type".
  for (const char16_t* bad : {u"data", u":a", u":a:", u""}) {
    Bytes b = streams({u"::$DATA", bad});
    EXPECT_FALSE(readStreamNames(b.data(), b.size(), names)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
}

// File systems without named streams decline the query; only those answers
// mean "none". Any other failure leaves the file unerasable whole.
TEST(WindowsRecords, StreamQueryStatuses) {
  struct Case {
    uint32_t status;
    bool none;
  } cases[] = {
      {0xC0000002, true},  {0xC0000003, true},  {0xC000000D, true},  {0xC0000010, true},
      {0xC00000BB, true},  {0xC0000022, false}, {0xC000009A, false}, {0x80000005, false},
      {0xC0000008, false}, {0x00000000, false},
  };
  for (const Case& c : cases) EXPECT_EQ(streamQueryMeansNone(c.status), c.none) << std::hex << c.status;
}

// A listed name is used only when its exact narrow form is one component:
// no separator byte where a character starts, and "." or ".." only when the
// UTF-16 name is that (fullwidth dots narrow to plain ones in some pages).
TEST(WindowsNames, NarrowedNameFitsPath) {
  bool none[256] = {}, cp932[256] = {};
  for (int b = 0x81; b <= 0x9F; ++b) cp932[b] = true;
  for (int b = 0xE0; b <= 0xFC; ++b) cp932[b] = true;
  struct Case {
    const char* narrowed;
    const char16_t* wide;
    bool dbcs;
    bool fits;
  } cases[] = {
      {"plain.txt", u"plain.txt", false, true},     {"\x83\x5C.txt", u"ソ.txt", true, true},
      {"\x83\x5C.txt", u"ƒ\\.txt", false, false},   {"a\\b", u"a＼b", false, false},
      {"a/b", u"a／b", false, false},               {"c:x", u"c：x", false, false},
      {".", u".", false, true},                     {"..", u"..", false, true},
      {".", u"．", false, false},                   {"..", u"．．", false, false},
      {"", u"", false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(narrowedNameFitsPath(c.narrowed, c.wide, c.dbcs ? cp932 : none, 260), c.fits) << c.narrowed;
  EXPECT_TRUE(narrowedNameFitsPath(std::string(259, 'n'), u"n", none, 260));
  EXPECT_FALSE(narrowedNameFitsPath(std::string(260, 'n'), u"n", none, 260));
}

// The folder form's last component is looked up in its parent's listing;
// a root, a drive's current directory and "." or ".." are opened as typed.
TEST(WindowsNames, SplitLastComponent) {
  struct Case {
    const char16_t* path;
    const char16_t* parent;  // null: opened as typed
    const char16_t* last;
  } cases[] = {
      {u"b", u"", u"b"},
      {u"a\\b\\", u"a\\", u"b"},
      {u"a/b//", u"a/", u"b"},
      {u"C:b", u"C:", u"b"},
      {u"C:\\d\\e", u"C:\\d\\", u"e"},
      {u"\\\\srv\\share\\d", u"\\\\srv\\share\\", u"d"},
      {u"\\\\?\\C:\\d\\", u"\\\\?\\C:\\", u"d"},
      {u"\\\\?\\UNC\\srv\\share\\d", u"\\\\?\\UNC\\srv\\share\\", u"d"},
      {u"", nullptr, nullptr},
      {u"\\", nullptr, nullptr},
      {u"C:", nullptr, nullptr},
      {u"C:\\", nullptr, nullptr},
      {u"\\\\srv\\share\\", nullptr, nullptr},
      {u"\\\\?\\C:\\", nullptr, nullptr},
      {u"\\\\?\\UNC\\srv\\share", nullptr, nullptr},
      {u"a\\..", nullptr, nullptr},
      {u".\\", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    size_t parentLength = 99;
    std::u16string path = c.path, last;
    std::string shown(path.begin(), path.end());
    ASSERT_EQ(win32SplitLastComponent(path, parentLength, last), c.parent != nullptr) << shown;
    if (!c.parent) continue;
    EXPECT_EQ(path.substr(0, parentLength), c.parent) << shown;
    EXPECT_EQ(last, c.last) << shown;
  }
}

TEST(WindowsNames, LastComponentAndReadOnly) {
  struct Case {
    const char16_t* typed;
    bool verbatim;
    const char16_t* sent;
  } cases[] = {
      {u"abc", false, u"abc"}, {u"abc.", false, u"abc"},   {u"abc. .", false, u"abc"}, {u"a.b ", false, u"a.b"},
      {u".", false, u"."},     {u"..", false, u".."},      {u"...", false, u""},       {u" ", false, u""},
      {u"abc.", true, u"abc."}, {u"abc ", true, u"abc "},
  };
  for (const Case& c : cases) EXPECT_EQ(win32LastComponent(c.typed, c.verbatim), c.sent);

  struct Attributes {
    uint32_t before, after;
  } attributes[] = {
      {0x01, 0x80}, {0x21, 0x20}, {0x27, 0x26},
      // Compressed, sparse, reparse point and encrypted cannot be set this way.
      {0x4E01, 0x80}, {0x2121, 0x2120},
  };
  for (const Attributes& a : attributes) EXPECT_EQ(attributesWithoutReadOnly(a.before), a.after) << std::hex << a.before;
}
