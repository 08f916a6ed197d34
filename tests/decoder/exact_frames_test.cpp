// The exact decoder on whole frames of real symbols made by libzint, against golden data: status,
// status text, correction count and text for every symbol size at every orientation, every
// character mode, the longest messages, tilt, damage, and frames without a symbol.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "synth/symbol_frames.h"

namespace Aztec {
namespace {

using namespace AztecTest;
using Velmora::Image::GrayBuf;

EncodedSymbol encodeBytes(const std::string& bytes, SymbolKind kind = SymbolKind::Any, int layers = 0) {
  return encodeSymbol({.message = {bytes.begin(), bytes.end()}, .kind = kind, .layers = layers});
}

std::string repeated(const std::string& pattern, std::size_t length) {
  std::string text;
  while (text.size() < length) text += pattern;
  return text.substr(0, length);
}

// A mixed-mode text of about a third of what the symbol holds.
EncodedSymbol filler(bool compact, int layers) {
  const int chars = std::max(1, ((compact ? 88 : 112) * layers + 16 * layers * layers) / 18);
  return encodeBytes(repeated("Aztec 2026 Ticket#42 Berlin-Paris 07:45 seat 12A; ", chars),
                     compact ? SymbolKind::Compact : SymbolKind::FullRange, layers);
}

GrayBuf render(const EncodedSymbol& s, double module, int rotation = 0, bool mirrored = false,
               double tilt = 0) {
  return renderSymbol(
      s, {.moduleSize = module, .rotation = rotation, .mirrored = mirrored, .tiltDegrees = tilt});
}

std::string textOf(const EncodedSymbol& s) {
  return std::string(s.message.begin(), s.message.end());
}

const std::string kNotRead = "Aztec code detected. The image quality does not allow for reading the data. (";

// The symbol as the status text reports it at (rotation, mirrored): the mirror is undone first,
// so a mirrored picture stands turned the other way.
std::string report(const EncodedSymbol& s, int rotation, bool mirrored) {
  const int turn = mirrored ? (4 - rotation) % 4 : rotation;
  return std::string("(") + (s.compact ? "C " : "F ") + std::to_string(90 * turn) + "'" +
         (mirrored ? "M" : "") + " L: " + std::to_string(s.layers) +
         " D: " + std::to_string(s.dataCodewords * s.codewordSize) +
         " ECC: " + std::to_string((s.totalCodewords - s.dataCodewords) * 100 / s.totalCodewords) + "%)";
}

// A token of the golden tables: N not found, D found and not read, R<n> read with n codewords
// corrected; letters after R are characters the exact decoder adds after the message (it decodes
// the zero bits that unstuffing frees, together with the padding). The status text in full: for N
// by default the report of the compact candidate the search's last try point left.
void expectToken(const GrayBuf& frame, const std::string& message, const std::string& token,
                 const std::string& found, const std::string& missed = "C 0' L: 0 D: 0 ECC: 0%)") {
  const bool read = token[0] == 'R';
  const std::size_t digits = token.find_first_of("0123456789");
  Decoder decoder;
  std::string status;
  EXPECT_EQ(decoder.decode(frame, status), token == "N" ? NotRead : read ? DataRead : Detected);
  EXPECT_EQ(status, token == "N" ? kNotRead + missed
                    : read       ? "Read data " + found + "\n #err=" + token.substr(digits)
                                 : "Detected barcode area " + found);
  EXPECT_EQ(decoder.resultText(), read ? message + token.substr(1, digits - 1) : "");
}

// Every compact size and every full-range size (two a line, C1 to C4 then F1 to F32), at four
// rotations then mirrored at four, module sizes from 3 to 7 pixels varied over the frames.
// Compact misses come from the first start point (the image centre): the full-range ring check
// accepts the quiet zone as a ring, or its failed fill leaves marks that skew the compact corners.
// Full-range 41 and 45 modules at 3 px: the reference-grid line search runs into the quiet zone.
const char* const kEverySize =
    "N N N R0 N R0 N N   R0 N R0 R0 D R2 N R0\n"
    "D R0 N R14 N N R0 D   R0 R16 D R0 D R1 R0 R0\n"
    "R0 R1 R1 R1 R0 R1 R1 R1   R0 R0 R0 R0 R0 R0 R0 R0\n"
    "R0 R0 R0 R0 R2 R0 R0 R0   R0 R0 R0 R0 R0 R0 R0 R0\n"
    "R0 R0 R0 R0 R0 R0 R0 R0   R0 R0 R0 R0 R0 R0 D R0\n"
    "R0 R0 R0 R14 R0 D R0 R4   R0 R0 R8 R0 R3 R0 R0 R0\n"
    "R0 R10 R0 R0 R0 R0 R0 R0   R9 R0 R2 R0 R3 R0 R0 R10\n"
    "R2 R6 R0 R3 R0 R0 R49 R1   R12 R5 R5 R4 R3 R0 R4 R5\n"
    "R0 R0 R1 R0 R0 R0 R0 R0   R0 R0 R0 R0 R0 R0 R0 R0\n"
    "R0 R0 R1 R0 R6 R1 R0 R0   R0 R10 R2 R0 R14 R4 R1 R0\n"
    "R0 R17 R8 R1 R20 R8 R0 R2   R7 R25 R3 R0 R4 R0 R0 R12\n"
    "R0 R18 R0 R0 R0 R0 R0 R0   R1 R0 R0 R0 R0 R0 R0 R0\n"
    "R0 R0 R0 R0 R0 R0 R0 R5   R0 R0 R0 R1 R0 R0 R0 R0\n"
    "R1 R18 R13 R0 R8 R8 R18 R0   R3 R3 R1 R1 R10 R0 R0 R2\n"
    "R37 R11 R17 R1 R18 R7 R10 R10   R9 R10 R25 R5 R7 R9 R5 R14\n"
    "R1 R0 R19 R0 R0 R12 R5 R5   R0 R0 R30 R0 R0 R47 R1 R1\n"
    "R21 R0 R52 R2 R0 R30 R2 R1   R6 R0 R64 R1 R0 R52 R3 R4\n"
    "R9 R2 R9 R3 R1 R0 R4 R10   R19 R5 R0 R6 R5 R14 R6 R18\n";

// Two compact misses leave an orientation read from a ring that did not decode.
const std::map<std::pair<int, int>, std::string> kMissReports = {{{2, 4}, "C 0'M L: 0 D: 0 ECC: 0%)"},
                                                                 {{2, 5}, "C 270'M L: 0 D: 0 ECC: 0%)"}};

TEST(ExactFrames, EverySizeAtEveryOrientation) {
  std::istringstream tokens(kEverySize);
  for (int k = 0; k < 36; ++k) {
    const bool compact = k < 4;
    const int layers = compact ? k + 1 : k - 3;
    const EncodedSymbol s = filler(compact, layers);
    for (int i = 0; i < 8; ++i) {
      const int rotation = i % 4;
      const bool mirrored = i >= 4;
      int module = 3 + (layers + rotation + 2 * mirrored) % 5;
      while (module > 3 && (s.size + 4) * module > 480) --module;
      std::string token;
      tokens >> token;
      SCOPED_TRACE(testing::Message() << (compact ? "C" : "F") << layers << " module " << module
                                      << " rotation " << rotation << (mirrored ? " mirrored" : ""));
      const auto miss = kMissReports.find({k, i});
      expectToken(render(s, module, rotation, mirrored), textOf(s), token, report(s, rotation, mirrored),
                  miss == kMissReports.end() ? "C 0' L: 0 D: 0 ECC: 0%)" : miss->second);
    }
  }
}

// Every character mode, shift, latch and binary shift as the encoder writes them (compact where
// it fits, then full-range), the longest messages of several sizes, tilt, and damage by whole
// rows of modules flipped.
TEST(ExactFrames, ModesLongestMessagesTiltAndDamage) {
  std::string all256;
  for (int i = 0; i < 256; ++i) all256 += static_cast<char>(i);
  const std::string bin31(31, '\x9c');
  struct Read {
    SymbolKind kind;
    int layers;
    double module;
    int rotation;
    bool mirrored;
    const char* token;
    double tilt = 0;
    int flippedRows = 0;
  };
  const SymbolKind any = SymbolKind::Any, full = SymbolKind::FullRange, compact = SymbolKind::Compact;
  const std::string upperLower = "THE QUICK BROWN FOX jumps over the lazy dog aBcDeFgHiJkLmN oPqR";
  const std::string punct = "!\"#$%&'()*+-/;<=>?[]{}!!??{{}} A. B, C: D\r\nE\rF";
  const std::string digits = "3141592653 5897932384, 6264338327.950 2026-05-04 12:30 99%";
  const std::string binary("AB\0CD\0\0EF caf\xe9 na\xefve \x80\x81\xfe\xff end", 29);
  const std::string german("Gr\xfc\xdf\x65 aus K\xf6ln \x80\xff\0 ", 19);
  const std::pair<std::string, std::vector<Read>> cases[] = {
      {upperLower, {{any, 0, 7, 0, false, "R0"}, {full, 0, 4, 1, true, "R0"}}},
      {std::string("@\\^_`|~\x01\x02\x07\x0c\x1b\x1f\x7f@@\\\\~~", 20),
       {{any, 0, 7, 2, false, "R0"}, {full, 0, 6, 3, false, "R0"}}},
      {punct, {{any, 0, 7, 0, true, "R2"}, {full, 0, 3, 1, false, "R0"}}},
      {digits, {{any, 0, 7, 2, false, "R0"}, {full, 0, 5, 3, true, "R0"}}},
      {"12345ABCDE67890abc\x01\x02\x03xyz", {{any, 0, 7, 0, false, "R0"}, {full, 0, 7, 1, false, "R0"}}},
      {binary, {{any, 0, 7, 2, true, "D"}, {full, 0, 4, 3, false, "Rw0"}}},
      {std::string("AAAAAAAAAA\0\0AAA", 15), {{any, 0, 7, 0, false, "RW0"}, {full, 0, 6, 1, true, "RW0"}}},
      {std::string("AAAAAAAAAAAA\0\0A\0A", 17),
       {{any, 0, 7, 2, false, "RO0"}, {full, 0, 3, 3, false, "RO0"}}},
      {"X" + bin31 + "Y", {{any, 0, 7, 0, true, "R0"}, {full, 0, 5, 1, false, "R0"}}},  // 5-bit binary count
      {"X" + bin31 + "\x80Y", {{any, 0, 7, 2, false, "R0"}, {full, 0, 7, 3, true, "R0"}}},  // 11-bit count
      {all256, {{any, 0, 3, 0, false, "R10"}, {full, 0, 4, 1, false, "R0"}}},
      // The longest message of the size whose codewords pass the correction cleanly.
      {repeated("0123456789", 19), {{compact, 1, 7, 2, false, "R1"}}},
      {repeated("abcdefghijklmnopqrstuvwxyz", 101), {{compact, 4, 7, 2, false, "R0"}}},
      {repeated("HELLO WORLD ", 53), {{full, 2, 4, 3, true, "RO0"}}},
      {repeated(german, 150), {{full, 6, 5, 0, false, "R1"}}},
      {repeated("2718281828459045235360287471352662497757", 2541), {{full, 22, 4, 2, false, "R0"}}},
      // Tilted about the vertical axis: the reference-grid line search of 37 modules and more.
      {textOf(filler(false, 5)), {{full, 5, 4, 0, false, "R0", 5}, {full, 5, 5.5, 2, true, "R20", -10}}},
      {textOf(filler(false, 7)), {{full, 7, 6, 3, true, "D", -10}, {full, 7, 7, 0, false, "R52", 15}}},
      {textOf(filler(false, 12)), {{full, 12, 6.5, 0, false, "D", 10}, {full, 12, 4, 1, true, "R3", -10}}},
      {textOf(filler(false, 21)), {{full, 21, 4, 3, true, "R140", -10}, {full, 21, 4, 1, false, "R74", -15}}},
      // Whole rows flipped from the top: corrected up to the capacity, then nothing is read.
      {textOf(filler(true, 3)),
       {{compact, 3, 7, 1, false, "R7", 0, 1},
        {compact, 3, 7, 1, false, "R13", 0, 3},
        {compact, 3, 7, 1, false, "D", 0, 5}}},
      {textOf(filler(false, 2)),
       {{full, 2, 6, 0, true, "R15", 0, 3},
        {full, 2, 6, 0, true, "D", 0, 4},
        {full, 2, 6, 0, true, "N", 0, 5}}},
  };
  for (const auto& [message, reads] : cases)
    for (const Read& r : reads) {
      EncodedSymbol s = encodeBytes(message, r.kind, r.layers);
      SCOPED_TRACE(testing::Message()
                   << testing::PrintToString(message) << " module " << r.module << " rotation " << r.rotation
                   << " tilt " << r.tilt << " rows " << r.flippedRows);
      for (int row = 0; row < r.flippedRows; ++row)
        for (int column = 0; column < s.size; ++column) flipModules(s, {{row, column}});
      expectToken(render(s, r.module, r.rotation, r.mirrored, r.tilt), message, r.token,
                  report(s, r.rotation, r.mirrored));
    }
}

TEST(ExactFrames, SymbolInfoAndIntToText) {
  auto info = [](int type, int rotation, bool mirrored, int layers, int data, int size, int total) {
    SymbolCandidate c;
    c.symbolType = type, c.rotation = rotation, c.mirrored = mirrored, c.layers = layers;
    c.dataCodewords = data, c.codewordSize = size, c.totalCodewords = total;
    return Decoder::symbolInfo(c);
  };
  EXPECT_EQ(info(1, 1, false, 2, 23, 6, 40), "(C 90' L: 2 D: 138 ECC: 42%)");
  EXPECT_EQ(info(2, 0, true, 5, 80, 8, 120), "(F 0'M L: 5 D: 640 ECC: 33%)");
  EXPECT_EQ(info(1, 3, true, 4, 1, 8, 76), "(C 270'M L: 4 D: 8 ECC: 98%)");
  // Zero total codewords must not divide by zero; more data than total prints a negative share.
  EXPECT_EQ(info(0, 7, false, 0, 0, 0, 0), "(? ?' L: 0 D: 0 ECC: 0%)");
  EXPECT_EQ(info(1, 0, false, 1, 20, 6, 17), "(C 0' L: 1 D: 120 ECC: -17%)");
  EXPECT_EQ(Decoder::intToText(-2147483647 - 1), "-2147483648");
}

GrayBuf uniform(int w, int h, std::uint8_t value) {
  const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h, value);
  return GrayBuf::fromBytes(bytes.data(), w, h);
}

// Blank, noisy, finder-like (concentric squares, no mode message) and degenerate frames: NotRead,
// no text, and the report of the candidate as the search's last try point left it (a compact
// candidate whose mode message was never read).
TEST(ExactFrames, FramesWithoutSymbol) {
  std::vector<std::uint8_t> noise(640 * 480);
  std::mt19937 rng(7);
  for (auto& v : noise) v = static_cast<std::uint8_t>(rng() & 0xFF);
  GrayBuf target = uniform(640, 480, 230);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      if (const int d = std::max(std::abs(x - 320), std::abs(y - 240)) / 5; d <= 6 && d % 2 == 0)
        target.setPixel(x, y, 20);
  std::vector<GrayBuf> frames = {uniform(640, 480, 200), GrayBuf::fromBytes(noise.data(), 640, 480), target};
  for (auto [w, h] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{5, 5}, std::pair{640, 3}, std::pair{3, 480},
                      std::pair{60, 40}, std::pair{0, 480}, std::pair{95, 95}})
    frames.push_back(uniform(w, h, 90));
  for (const GrayBuf& frame : frames) {
    SCOPED_TRACE(std::to_string(frame.width()) + "x" + std::to_string(frame.height()));
    Decoder decoder;
    std::string status = "previous text";
    EXPECT_EQ(decoder.decode(frame, status), NotRead);
    EXPECT_EQ(status, kNotRead + "C 0' L: 0 D: 0 ECC: 0%)");
    EXPECT_EQ(decoder.resultText(), "");
  }
}

// One Decoder: a read, then a symbol found but not read (nothing of the first text is left),
// then a read again.
TEST(ExactFrames, SecondDecodeThatReadsNoDataLeavesNoText) {
  EncodedSymbol s = filler(true, 3);
  const GrayBuf readable = render(s, 7, 1);
  for (int row = 0; row < 5; ++row)
    for (int column = 0; column < s.size; ++column) flipModules(s, {{row, column}});
  const GrayBuf unreadable = render(s, 7, 1);
  Decoder decoder;
  std::string status;
  ASSERT_EQ(decoder.decode(readable, status), DataRead) << status;
  EXPECT_EQ(decoder.resultText(), textOf(filler(true, 3)));
  EXPECT_EQ(decoder.decode(unreadable, status), Detected) << status;
  EXPECT_EQ(decoder.resultText(), "");
  EXPECT_TRUE(decoder.decodedBytes().empty());
  EXPECT_EQ(decoder.decode(readable, status), DataRead) << status;
  EXPECT_EQ(decoder.resultText(), textOf(filler(true, 3)));
}

}  // namespace
}  // namespace Aztec
