// Message and metadata of located symbols: libzint's module matrices handed over as sampled
// grids at every orientation, with ECI, runes, damage and garbage. GS1, structured append and
// reader initialisation are pinned end to end by the corpus. The single-byte ECI tables against
// glibc's iconv, which shares no source with their generator (Python's codecs): a wrong entry or
// a set filed under the wrong ECI shows up there.

#include "reader/symbol_content.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common/utf8.h"
#include "reader/text_charsets.h"
#include "support/reader_helpers.h"
#include "symbol/codeword_correction.h"
#include "symbol/data_layers.h"
#include "symbol/mode_message.h"

namespace {

using namespace Aztec;
using namespace Aztec::detail;
using namespace AztecTest;

template <class T>
using Square = std::vector<std::vector<T>>;  // [row][column]

// The picture that the mode message reports as (rotation, mirrored): clockwise quarter turns,
// then the columns reversed.
template <class T>
Square<T> seenAs(const Square<T>& m, int rotation, bool mirrored) {
  Square<T> out = m;
  const std::size_t n = m.size();
  for (int i = 0; i < rotation; ++i) {
    Square<T> t = out;
    for (std::size_t r = 0; r < n; ++r)
      for (std::size_t c = 0; c < n; ++c) t[c][n - 1 - r] = out[r][c];
    out = t;
  }
  if (mirrored)
    for (auto& row : out) row = std::vector<T>(row.rbegin(), row.rend());
  return out;
}

// UTF-8 text in the character set `charset`, by the C library's converter.
Bytes iconvEncode(const std::string& text, const char* charset) {
  const iconv_t cd = iconv_open(charset, "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << charset;
  std::string in = text;
  char out[256];
  char* inPtr = in.data();
  char* outPtr = out;
  std::size_t inLeft = in.size(), outLeft = sizeof out;
  EXPECT_EQ(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft), 0u) << charset;
  iconv_close(cd);
  return Bytes(out, outPtr);
}

// One byte through iconv; a byte iconv rejects is unassigned, which the reader writes as U+FFFD.
std::string iconvByte(iconv_t cd, std::uint8_t byte) {
  char in[1] = {static_cast<char>(byte)};
  char out[8];
  char* inPtr = in;
  char* outPtr = out;
  std::size_t inLeft = 1, outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return "\xEF\xBF\xBD";
  return std::string(out, outPtr);
}

// The symbol as a locator hands it over: the grid as seen, the mode fields from the exact
// decoder's own mode message, image corners at the grid corners (x = column, y = row).
LocatedSymbol locate(const EncodedSymbol& e, int rotation, bool mirrored) {
  const Square<bool> seen = seenAs(e.modules, rotation, mirrored);
  const int n = e.size;
  LocatedSymbol s;
  s.grid.assign(n, std::vector<bool>(n));
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) s.grid[x][y] = seen[y][x];
  s.corners = {Point2D{0, 0}, Point2D{double(n), 0}, Point2D{double(n), double(n)}, Point2D{0, double(n)}};
  if (n == 11) return s;  // rune: no mode-message parameters

  const int radius = e.compact ? 5 : 7;
  const int c = n / 2;
  BitRing ring(8 * radius);
  for (int i = 0; i < 8 * radius; ++i) {
    const int k = i / (2 * radius), t = i % (2 * radius);
    const int r = k == 0 ? c - radius : k == 1 ? c - radius + t : k == 2 ? c + radius : c + radius - t;
    const int col = k == 0 ? c - radius + t : k == 1 ? c + radius : k == 2 ? c + radius - t : c - radius;
    ring.set(i, seen[r][col]);
  }
  s.parameters.symbolType = e.compact ? kCompact : kFullRange;
  EXPECT_TRUE(decodeModeMessage(s.parameters, ring));
  EXPECT_EQ(s.parameters.rotation, rotation);
  EXPECT_EQ(s.parameters.mirrored, mirrored);
  return s;
}

// Where the upright symbol's corners landed in the seen grid, found by carrying labels through
// the same turns.
std::array<Point2D, 4> expectedCorners(int n, int rotation, bool mirrored) {
  Square<int> labels(n, std::vector<int>(n, -1));
  labels[0][0] = 0, labels[0][n - 1] = 1, labels[n - 1][n - 1] = 2, labels[n - 1][0] = 3;
  const Square<int> seen = seenAs(labels, rotation, mirrored);
  std::array<Point2D, 4> out{};
  for (int r : {0, n - 1})
    for (int c : {0, n - 1})
      if (seen[r][c] >= 0) out[seen[r][c]] = Point2D{c == 0 ? 0.0 : n, r == 0 ? 0.0 : n};
  return out;
}

void expectOrientation(const ReadResult& r, int size, int rotation, bool mirrored) {
  EXPECT_EQ(r.rotation, rotation);
  EXPECT_EQ(r.mirrored, mirrored);
  EXPECT_EQ(r.corners, expectedCorners(size, rotation, mirrored));
}

// Reads the symbol at all eight orientations: the message, the text and the true parameters.
void readEverywhere(const EncodedSymbol& e, const std::string& text) {
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(testing::Message() << "orientation " << i);
    const std::optional<ReadResult> r = decodeSymbolContent(locate(e, i % 4, i >= 4));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->bytes, e.message);
    EXPECT_EQ(r->text, text);
    EXPECT_EQ(r->format, e.compact ? SymbolFormat::Compact : SymbolFormat::FullRange);
    EXPECT_EQ((std::array{r->layers, r->dataCodewords, r->checkCodewords, r->correctedCodewords}),
              (std::array{e.layers, e.dataCodewords, e.totalCodewords - e.dataCodewords, 0}));
    EXPECT_FALSE(r->gs1 || r->structuredAppend || r->readerInitialisation);
    expectOrientation(*r, e.size, i % 4, i >= 4);
  }
}

EncodedSymbol encode(const Bytes& message, SymbolKind kind = SymbolKind::Any, int layers = 0, int eci = 0) {
  return encodeSymbol({.message = message, .kind = kind, .layers = layers, .eci = eci});
}

TEST(SymbolContent, ExactBytesAndTextAtEveryOrientation) {
  Bytes allBytes(256), longBinary(700);
  for (int i = 0; i < 256; ++i) allBytes[i] = static_cast<std::uint8_t>(i);
  std::mt19937 g(7);
  for (auto& b : longBinary) b = static_cast<std::uint8_t>(g());
  std::string longText, dots;
  for (int i = 0; i < 40; ++i)
    longText += "Line " + std::to_string(i) + ": Aztec, mixed CASE text. ", dots += ". ";
  // The first and the dots: where the exact decoder adds a character from the zero-filled tail
  // it keeps, and where its output buffer overflows; here only the bits actually there are read.
  const std::tuple<Bytes, SymbolKind, int> cases[] = {
      {bytesOf("MODULE ZERO AZTEC"), SymbolKind::Compact, 0},
      {bytesOf(dots), SymbolKind::Any, 0},
      {bytesOf("Hello, World! 0123456789 @\\^_`|~ ."), SymbolKind::Any, 0},
      {Bytes{0x00, 'A', 0x80, 0xFF, 0x00, 0xC3, 0xA9, 0x7F}, SymbolKind::Compact, 0},
      {allBytes, SymbolKind::FullRange, 0},
      {longBinary, SymbolKind::FullRange, 0},
      {bytesOf(longText), SymbolKind::FullRange, 0},
      {bytesOf("A1"), SymbolKind::FullRange, 1},
  };
  for (const auto& [message, kind, layers] : cases) {
    SCOPED_TRACE(testing::Message() << "message of " << message.size() << " bytes");
    readEverywhere(encode(message, kind, layers), Aztec::latin1ToUtf8(message));
  }
}

TEST(SymbolContent, EciDesignatorsSelectTheTextCharacterSet) {
  std::vector<std::tuple<Bytes, int, std::string>> cases = {
      {bytesOf("Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC"), 26, "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC"},
      {Bytes{'G', 'r', 0xFC, 0xDF, 'e'}, 3, "Gr\xC3\xBC\xC3\x9F\x65"},
      {Bytes{'c', 'o', 's', 't', ' ', 0xA4, '5'}, 17, "cost \xE2\x82\xAC\x35"},
      {Bytes{0xBF, 0xE0, 0xD8, 0xD2, 0xD5, 0xE2}, 7, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {Bytes{'I', 0xFD, 'k'}, 11, "I\xC4\xB1k"},
      {Bytes{0x00, 0xFE, 0x41}, 899, std::string("\0\xC3\xBE\x41", 4)},
  };
  // Multi-byte sets: two Han characters every set has and some of the set's own, encoded by iconv.
  const std::tuple<int, const char*, std::string> multiByte[] = {
      {20, "SHIFT_JIS", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},
      {28, "BIG5", "\xE5\x8F\xB0\xE7\x81\xA3"},
      {29, "GB2312", "\xE4\xBD\xA0\xE5\xA5\xBD"},
      {30, "EUC-KR", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
      {31, "GBK", "\xE9\xBE\x8D"},
      {32, "GB18030", "\xF0\x9F\x98\x80\xE2\x82\xAC"}};
  for (const auto& [eci, charset, extra] : multiByte) {
    const std::string text = "A1 \xE4\xB8\xAD\xE6\x96\x87 " + extra;
    cases.emplace_back(iconvEncode(text, charset), eci, text);
  }
  for (const auto& [message, eci, text] : cases) {
    SCOPED_TRACE(testing::Message() << "ECI " << eci);
    readEverywhere(encode(message, SymbolKind::Any, 0, eci), text);
  }
}

TEST(SymbolContent, RunesAtEveryOrientation) {
  for (int value : {0, 1, 127, 255, 0x5A}) {
    const EncodedSymbol e = encodeRune(value);
    for (int i = 0; i < 8; ++i) {
      SCOPED_TRACE(testing::Message() << "rune " << value << " orientation " << i);
      const std::optional<ReadResult> r = decodeRuneSymbol(locate(e, i % 4, i >= 4));
      ASSERT_TRUE(r.has_value());
      EXPECT_EQ(std::tie(r->text, r->format, r->correctedCodewords),
                std::tuple(std::to_string(value), SymbolFormat::Rune, 0));
      EXPECT_EQ(r->bytes, bytesOf(r->text));
      expectOrientation(*r, 11, i % 4, i >= 4);
    }
    // One damaged word is corrected and counted; three are beyond the check words.
    EncodedSymbol damaged = e;
    flipModules(damaged, {{0, 3}});
    const auto r = decodeRuneSymbol(locate(damaged, 1, false));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(std::tie(r->text, r->correctedCodewords), std::tuple(std::to_string(value), 1));
    flipModules(damaged, {{0, 7}, {10, 5}});
    EXPECT_FALSE(decodeRuneSymbol(locate(damaged, 0, false)).has_value());
  }
  EXPECT_FALSE(decodeRuneSymbol(locate(encode(bytesOf("AB"), SymbolKind::Compact), 0, false)).has_value());
}

// Flipping one data module in each of k codewords (top row, 12 modules apart, off the reference
// grid) is corrected with the count k, never touching the process-wide count.
TEST(SymbolContent, DamagedCodewordsAreCorrectedAndCounted) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "damage " + std::to_string(i) + " ";
  for (SymbolKind kind : {SymbolKind::Compact, SymbolKind::FullRange}) {
    const EncodedSymbol clean = encode(bytesOf(text.substr(0, kind == SymbolKind::Compact ? 40 : 200)), kind);
    const int capacity = (clean.totalCodewords - clean.dataCodewords) / 2;
    const int centre = clean.size / 2;
    std::vector<int> columns;
    for (int col = 1; col < clean.size - 1; col += 12)
      if (clean.compact || (centre - col) % 16 != 0) columns.push_back(col);
    for (int k = 1; k <= std::min<int>(capacity, static_cast<int>(columns.size())); ++k) {
      SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << " damaged " << k);
      EncodedSymbol e = clean;
      for (int i = 0; i < k; ++i) flipModules(e, {{0, columns[i]}});
      lastErrorCount.store(-7);
      const auto r = decodeSymbolContent(locate(e, k % 4, k % 2 == 1));
      ASSERT_TRUE(r.has_value());
      EXPECT_EQ(std::tie(r->correctedCodewords, r->bytes), std::tie(k, clean.message));
      EXPECT_EQ(lastErrorCount.load(), -7);
    }
  }
}

TEST(SymbolContent, GarbageGivesNothingAndNeverThrows) {
  const LocatedSymbol good = locate(encode(bytesOf("GOOD DATA"), SymbolKind::FullRange, 2), 0, false);
  std::vector<LocatedSymbol> bad;
  for (int type : {0, 3, -1}) bad.push_back(good), bad.back().parameters.symbolType = type;
  for (int layers : {0, -1, 33, 1 << 30}) bad.push_back(good), bad.back().parameters.layers = layers;
  for (int rotation : {-1, 4, 1 << 30}) bad.push_back(good), bad.back().parameters.rotation = rotation;
  // 40 data codewords leave no check codeword.
  for (int data : {0, -5, 40, 48, 2049, 1 << 30})
    bad.push_back(good), bad.back().parameters.dataCodewords = data;
  bad.push_back(good), bad.back().grid.clear();
  bad.push_back(good), bad.back().grid.pop_back();
  bad.push_back(good), bad.back().grid[5].pop_back();
  bad.push_back(good), bad.back().grid.assign(23, std::vector<bool>(23, true));
  bad.push_back(good), bad.back().grid.assign(23, std::vector<bool>(23, false));
  bad.push_back(LocatedSymbol{});
  // An exception escaping fails the test as well.
  for (const LocatedSymbol& s : bad) {
    EXPECT_FALSE(decodeSymbolContent(s).has_value());
    EXPECT_FALSE(decodeRuneSymbol(s).has_value());
  }

  // Random grids under random but well-formed parameters: with at least 3 check codewords random
  // data never passes the check.
  std::mt19937 g(11);
  int read = 0, runes = 0;
  for (int trial = 0; trial < 400; ++trial) {
    LocatedSymbol s;
    const bool compact = trial % 2 == 0;
    s.parameters.symbolType = compact ? kCompact : kFullRange;
    s.parameters.layers = 1 + static_cast<int>(g() % (compact ? 4 : 12));
    const ModeParameters& p =
        compact ? compactParameters(s.parameters.layers) : fullRangeParameters(s.parameters.layers);
    const bool anyCount = trial % 5 == 0;
    s.parameters.dataCodewords =
        1 + static_cast<int>(g() % (anyCount ? (compact ? 64 : 2048) : p.totalCodewords - 3));
    s.parameters.rotation = static_cast<int>(g() % 4);
    s.parameters.mirrored = g() % 2 == 1;
    s.grid.assign(p.symbolSize, std::vector<bool>(p.symbolSize));
    for (auto& column : s.grid)
      for (std::size_t y = 0; y < column.size(); ++y) column[y] = g() % 2 == 1;
    const bool got = decodeSymbolContent(s).has_value();
    if (!anyCount) read += got ? 1 : 0;
    // Rings of random bits, 40 long as a rune's or of any other length.
    BitRing ring(trial % 7 == 0 ? trial % 50 : 40);
    for (std::size_t i = 0; i < ring.size(); ++i) ring.set(static_cast<long long>(i), g() % 2 == 1);
    int rotation = 0;
    bool mirrored = false;
    runes += decodeRune(ring, rotation, mirrored).has_value();
  }
  EXPECT_EQ(read, 0);
  EXPECT_EQ(runes, 0);
}

TEST(TextCharsets, SingleByteSetsMatchIconvForEveryByte) {
  const std::vector<std::pair<int, const char*>> sets = {
      {0, "CP437"},         {2, "CP437"},         {4, "ISO-8859-2"},    {5, "ISO-8859-3"},
      {6, "ISO-8859-4"},    {7, "ISO-8859-5"},    {8, "ISO-8859-6"},    {9, "ISO-8859-7"},
      {10, "ISO-8859-8"},   {11, "ISO-8859-9"},   {12, "ISO-8859-10"},  {13, "ISO-8859-11"},
      {15, "ISO-8859-13"},  {16, "ISO-8859-14"},  {17, "ISO-8859-15"},  {18, "ISO-8859-16"},
      {21, "WINDOWS-1250"}, {22, "WINDOWS-1251"}, {23, "WINDOWS-1252"}, {24, "WINDOWS-1256"},
  };
  for (const auto& [eci, name] : sets) {
    SCOPED_TRACE(testing::Message() << "ECI " << eci << " " << name);
    EXPECT_TRUE(isMappedEci(eci));
    const iconv_t cd = iconv_open("UTF-8", name);
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (int b = 0; b < 256; ++b) {
      std::string text;
      appendAsUtf8(text, {static_cast<std::uint8_t>(b)}, eci);
      EXPECT_EQ(text, iconvByte(cd, static_cast<std::uint8_t>(b))) << "byte 0x" << std::hex << b;
    }
    iconv_close(cd);
  }
}

// Invalid multi-byte sequences: U+FFFD for the bad byte, reading goes on at the next one; a
// sequence cut short by the end of the data is one U+FFFD. Nothing past the data is read (the
// bytes sit at the very end of their own allocation, where the address sanitizer watches).
TEST(TextCharsets, InvalidMultiByteSequencesBecomeReplacementCharacters) {
  const std::string bad = "\xEF\xBF\xBD";
  const std::tuple<int, Bytes, std::string> cases[] = {
      {20, {'A', 0x81}, "A" + bad},                                  // Shift JIS lead byte at the end
      {20, {0x88, 0x9F, 0xFD, 'B'}, "\xE4\xBA\x9C" + bad + "B"},     // 0xFD is no Shift JIS byte
      {28, {0xA4, 0x40, 0xA4}, "\xE4\xB8\x80" + bad},                // Big5
      {29, {0xB0, 'C', 0xB0, 0xA1}, bad + "C\xE5\x95\x8A"},          // GB 2312 lead before ASCII
      {30, {0xB0, 0xA1, 0xFF}, "\xEA\xB0\x80" + bad},                // EUC-KR
      {31, {0x81, 0x40, 0x81}, "\xE4\xB8\x82" + bad},                // GBK
      {32, {0x81, 0x30, 0x81, 0x30, 0x81, 0x30}, "\xC2\x80" + bad},  // GB 18030 four-byte form cut short
      {32, {}, ""},
  };
  for (const auto& [eci, bytes, text] : cases) {
    SCOPED_TRACE(testing::Message() << "ECI " << eci << ", " << bytes.size() << " bytes");
    EXPECT_TRUE(isMappedEci(eci));
    std::string got = "x";
    appendAsUtf8(got, bytes, eci);
    EXPECT_EQ(got, "x" + text);
  }
}

}  // namespace
