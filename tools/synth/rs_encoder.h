#pragma once
// Independent systematic Reed-Solomon encoder for the Aztec codes: generator roots
// alpha^1 .. alpha^n (alpha = 2), codewords highest power first, check words last.
//
// The arithmetic is carry-less shift-and-reduce, deliberately independent of the decoder's
// log/antilog tables, so a table fault in the library cannot hide behind a matching encoder.
//
//   AztecTest::RsEncoder enc(AztecTest::kRsGF16);
//   std::vector<int> word = enc.encode({data0, data1}, 5);   // 2 data + 5 check words
//   std::vector<int> same = AztecTest::rsEncode(data, checkCount, codewordBits);

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace AztecTest {

struct RsField {
  int size;       // number of elements, 2^m
  int primitive;  // primitive polynomial as a bit mask, x^m bit included
};

inline constexpr RsField kRsGF16{16, 0x13};
inline constexpr RsField kRsGF64{64, 0x43};
inline constexpr RsField kRsGF256{256, 0x12D};
inline constexpr RsField kRsGF1024{1024, 0x409};
inline constexpr RsField kRsGF4096{4096, 0x1069};

// The field for a codeword size in bits: 4 (mode message), 6, 8, 10; anything else 12.
inline RsField rsFieldForWordSize(int bits) {
  switch (bits) {
    case 4:
      return kRsGF16;
    case 6:
      return kRsGF64;
    case 8:
      return kRsGF256;
    case 10:
      return kRsGF1024;
    default:
      return kRsGF4096;
  }
}

class RsEncoder {
 public:
  explicit RsEncoder(RsField field) : size_(field.size), primitive_(field.primitive) {}

  // Product of two field elements by shift-and-add with reduction by the primitive polynomial.
  int multiply(int a, int b) const {
    int result = 0;
    for (; b != 0; b >>= 1) {
      if (b & 1) result ^= a;
      a <<= 1;
      if (a & size_) a ^= primitive_;
    }
    return result;
  }

  // alpha^i for i >= 0.
  int power(int i) const {
    int x = 1;
    for (int k = 0; k < i; ++k) x = multiply(x, 2);
    return x;
  }

  // Data words followed by their n check words: the remainder of data(x) * x^n divided by the
  // monic generator prod_{i=1..n} (x - alpha^i).
  std::vector<int> encode(const std::vector<int>& data, int n) const {
    if (n < 0) throw std::invalid_argument("negative check count");
    std::vector<int> g{1};  // highest power first
    for (int i = 1, root = 2; i <= n; ++i, root = multiply(root, 2)) {
      std::vector<int> next(g.size() + 1, 0);
      for (std::size_t k = 0; k < g.size(); ++k) {
        next[k] ^= g[k];                      // x * g
        next[k + 1] ^= multiply(g[k], root);  // root * g (minus is plus)
      }
      g.swap(next);
    }
    std::vector<int> rem(static_cast<std::size_t>(n), 0);
    for (int d : data) {
      if (d < 0 || d >= size_) throw std::invalid_argument("data word outside the field");
      const int factor = d ^ (n > 0 ? rem[0] : 0);
      for (int k = 0; k + 1 < n; ++k) rem[k] = rem[k + 1] ^ multiply(factor, g[k + 1]);
      if (n > 0) rem[n - 1] = multiply(factor, g[n]);
    }
    std::vector<int> word = data;
    word.insert(word.end(), rem.begin(), rem.end());
    return word;
  }

  // Value of the codeword polynomial at x (highest power first), by Horner's rule.
  int evaluate(const std::vector<int>& word, int x) const {
    int r = 0;
    for (int c : word) r = multiply(r, x) ^ c;
    return r;
  }

  // True when every syndrome word(alpha^i), i = 1..n, is zero.
  bool isCodeword(const std::vector<int>& word, int n) const {
    for (int i = 1, root = 2; i <= n; ++i, root = multiply(root, 2))
      if (evaluate(word, root) != 0) return false;
    return true;
  }

 private:
  int size_;
  int primitive_;
};

// Data words of `bits`-bit size followed by checkCount check words.
inline std::vector<int> rsEncode(const std::vector<int>& data, int checkCount, int bits) {
  return RsEncoder(rsFieldForWordSize(bits)).encode(data, checkCount);
}

}  // namespace AztecTest
