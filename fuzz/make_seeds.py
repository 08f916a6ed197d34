#!/usr/bin/env python3
"""Writes the seed inputs of the high_level, reed_solomon, mode_message and matrix fuzz targets
into fuzz/corpus/<target>/. The entry target's frames come from fuzz_make_entry_seeds (they need
the libzint renderer). Run from anywhere: python3 fuzz/make_seeds.py"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(bytes(data))


def pack_bits(bits):
    """MSB-first bits to bytes, zero-padded; the fuzzer reads bytes MSB first."""
    bits = list(bits) + [0] * (-len(bits) % 8)
    return [int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8)]


def code(value, width):
    return [(value >> (width - 1 - k)) & 1 for k in range(width)]


# ---- high_level: code streams of the five modes ----
# UPPER A B, L/L, a, D/L, 1 2 ., U/L, P/S ':'-pair, B/S 3 bytes
hl = (code(2, 5) + code(3, 5) + code(28, 5) + code(2, 5) + code(30, 5) + code(3, 4) + code(4, 4) + code(13, 4)
      + code(14, 4) + code(0, 5) + code(5, 5) + code(31, 5) + code(3, 5) + code(0xE9, 8) + code(0, 8) + code(0x41, 8))
write("high_level", "modes_and_binary", pack_bits(hl))
# M/L, P/L, then many two-byte PUNCT codes: the buffer-overflow path
write("high_level", "punct_pairs_overflow", pack_bits(code(29, 5) + code(30, 5) + code(3, 5) * 12))
# B/S with the 11-bit long count
write("high_level", "long_binary_shift", pack_bits(code(31, 5) + code(0, 5) + code(2, 11) + [1, 0] * 140))
write("high_level", "lower_upper_shift", pack_bits(code(28, 5) + code(2, 5) + code(28, 5) + code(2, 5) + code(3, 5)))

# ---- reed_solomon: first byte: bit 7 = round trip, low bits choose the field ----
# arbitrary words: byte 1 is checkCount + 8, then 16-bit words
write("reed_solomon", "arbitrary_gf16_5", [0, 13] + [0, 3, 0, 7, 0, 0, 0, 15, 0, 1, 0, 9, 0, 2])
write("reed_solomon", "arbitrary_gf64_zero_count", [1, 8] + [0, 5] * 6)
write("reed_solomon", "arbitrary_gf4096_negative", [4, 2] + [0x0F, 0xFF, 0x01, 0x00] * 4)
# round trip: checkCount byte, dataCount byte, data words, error count, (position, value) pairs
write("reed_solomon", "roundtrip_gf16_two_errors", [0x80, 4, 1] + [0, 1, 0, 9] + [2, 0, 0, 0, 5, 0, 3, 0, 7])
write("reed_solomon", "roundtrip_gf256", [0x82, 20, 30] + list(range(60)) + [10] + [0, 1, 0, 2] * 10)
write("reed_solomon", "roundtrip_gf1024", [0x83, 40, 60] + list(range(120)) + [20] + [0, 7, 3, 3] * 20)

# ---- mode_message: byte 0 = symbolType (mod 4), then the ring, bit i = byte 1 + i/8, bit i%8 ----
GF16_PRIM = 0x13


def gf_mul(a, b, size=16, prim=GF16_PRIM):
    r = 0
    while b:
        if b & 1:
            r ^= a
        b >>= 1
        a <<= 1
        if a & size:
            a ^= prim
    return r


def rs_check(data, n):
    g = [1]
    root = 1
    for _ in range(n):
        root = gf_mul(root, 2)
        nxt = [0] * (len(g) + 1)
        for k, c in enumerate(g):
            nxt[k] ^= c
            nxt[k + 1] ^= gf_mul(c, root)
        g = nxt
    rem = [0] * n
    for d in data:
        f = d ^ rem[0]
        rem = [rem[k + 1] ^ gf_mul(f, g[k + 1]) for k in range(n - 1)] + [gf_mul(f, g[n])]
    return rem


def ring_bytes(symbol_type, ring):
    out = [symbol_type]
    for i in range(0, len(ring), 8):
        out.append(sum(bit << k for k, bit in enumerate(ring[i:i + 8])))
    return out


def mode_ring(compact, layers, data_codewords):
    q = 10 if compact else 14
    if compact:
        fields = code(layers - 1, 2) + code(data_codewords - 1, 6)
        words = [int("".join(map(str, fields[i:i + 4])), 2) for i in (0, 4)]
        words += rs_check(words, 5)
    else:
        fields = code(layers - 1, 5) + code(data_codewords - 1, 11)
        words = [int("".join(map(str, fields[i:i + 4])), 2) for i in (0, 4, 8, 12)]
        words += rs_check(words, 6)
    m = [b for w in words for b in code(w, 4)]
    r = [0] * (4 * q)
    # orientation marks, rotation 0, not mirrored: 3, 2, 1, 0 dark samples at the corners
    for k, count in enumerate((3, 2, 1, 0)):
        for idx in [k * q - 1, k * q, k * q + 1][:count]:
            r[idx % (4 * q)] = 1
    for g in range(4):
        if compact:
            for j in range(7):
                r[2 + 10 * g + j] = m[7 * g + j]
        else:
            for j in range(5):
                r[2 + 14 * g + j] = m[10 * g + j]
                r[2 + 14 * g + 6 + j] = m[10 * g + 5 + j]
    return r


write("mode_message", "compact_2_layers_20_words", ring_bytes(1, mode_ring(True, 2, 20)))
write("mode_message", "full_7_layers_150_words", ring_bytes(2, mode_ring(False, 7, 150)))
write("mode_message", "full_32_layers_2048_words", ring_bytes(2, mode_ring(False, 32, 2048)))
write("mode_message", "type_0_refused", ring_bytes(0, mode_ring(False, 3, 10)))

# ---- matrix: rows, cols, bRows (each mod 10), then doubles ----
write("matrix", "2x2", [2, 2, 2] + list(struct.pack("<6d", 2, 1, 1, 3, 3, 5)))
write("matrix", "zero_first_column", [2, 2, 2] + list(struct.pack("<6d", 0, 1, 0, 2, 1, 2)))
write("matrix", "singular_row", [2, 2, 2] + list(struct.pack("<6d", 1, 2, 0, 0, 1, 1)))
eight = [float((i * 7 + j * 3) % 11 - 5 + (i == j) * 20) for i in range(8) for j in range(8)] + [1.0] * 8
write("matrix", "8x8", [8, 8, 8] + list(struct.pack("<72d", *eight)))
write("matrix", "not_square", [2, 3, 2] + list(struct.pack("<8d", *range(8))))

# ---- whole_frame: the entry's rendered frames under the whole-frame header (uint16 width and
# height, stride padding, option bits, region bits), plus one padded-stride and one inverted
# reading of the first.
entry = os.path.join(HERE, "corpus", "entry")
for name in sorted(os.listdir(entry)):
    with open(os.path.join(entry, name), "rb") as f:
        raw = f.read()
    w, h = struct.unpack("<ii", raw[:8])
    if not (0 < w < 65536 and 0 < h < 65536):
        continue
    write("whole_frame", name, struct.pack("<HHBBBB", w, h, 0, 0, 0, 0) + raw[8:])
    if name.startswith("compact2_rot1"):
        padded = b"".join(raw[8 + y * w:8 + (y + 1) * w] + b"\xff\xff\xff" for y in range(h))
        write("whole_frame", name + "_stride", struct.pack("<HHBBBB", w, h, 3, 0, 0, 0) + padded)
        write("whole_frame", name + "_inverted", struct.pack("<HHBBBB", w, h, 0, 0, 0, 0) + bytes(255 - b for b in raw[8:]))
