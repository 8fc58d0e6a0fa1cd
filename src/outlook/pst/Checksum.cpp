#include "outlook/pst/Checksum.h"

#include <array>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QB_PERMUTE_VBMI 1
#endif

namespace qb::pst {
namespace {
#include "outlook/pst/CryptTables.inc"

void Cyclic(Bid bid, std::uint8_t* data, std::size_t size) {
    std::uint32_t key = std::uint32_t(bid);
    std::uint16_t w = std::uint16_t(key ^ (key >> 16));
    for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t b = data[i];
        b = std::uint8_t(b + std::uint8_t(w));
        b = kCryptR[b];
        b = std::uint8_t(b + std::uint8_t(w >> 8));
        b = kCryptS[b];
        b = std::uint8_t(b - std::uint8_t(w >> 8));
        b = kCryptI[b];
        b = std::uint8_t(b - std::uint8_t(w));
        data[i] = b;
        ++w;
    }
}
#ifdef QB_PERMUTE_VBMI
// 64 bytes per step: two 128-entry byte permutations cover the table, the top
// bit of each byte picks between them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) std::size_t PermuteWide(const unsigned char* table,
                                                                                const std::uint8_t* in,
                                                                                std::uint8_t* out, std::size_t size) {
    const __m512i t0 = _mm512_loadu_si512(table), t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128), t3 = _mm512_loadu_si512(table + 192);
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m512i index = _mm512_loadu_si512(in + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, index, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, index, t3);
        _mm512_storeu_si512(out + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high));
    }
    return i;
}

bool HasWidePermute() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vbmi");
    return has;
}
#endif

// Every byte of a block goes through the permute method's table, so this
// runs over every byte the store writes (or reads).
void Permute(const unsigned char* table, const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
    std::size_t i = 0;
#ifdef QB_PERMUTE_VBMI
    if (size >= 64 && HasWidePermute()) i = PermuteWide(table, in, out, size);
#endif
    for (; i < size; ++i) out[i] = table[in[i]];
}
}  // namespace

std::uint16_t ComputeSig(std::uint64_t ib, std::uint64_t bid) {
    std::uint32_t x = std::uint32_t(ib ^ bid);
    return std::uint16_t((x >> 16) ^ (x & 0xFFFF));
}

void EncodeData(std::uint8_t method, Bid bid, std::uint8_t* data, std::size_t size) {
    if (method == kCryptPermute) {
        Permute(kCryptR, data, data, size);
    } else if (method == kCryptCyclic) {
        Cyclic(bid, data, size);
    }
}

void EncodeDataInto(std::uint8_t method, Bid bid, const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
    if (method == kCryptPermute) {
        Permute(kCryptR, in, out, size);
        return;
    }
    if (size > 0) std::memcpy(out, in, size);
    EncodeData(method, bid, out, size);
}

void DecodeData(std::uint8_t method, Bid bid, std::uint8_t* data, std::size_t size) {
    if (method == kCryptPermute) {
        Permute(kCryptI, data, data, size);
    } else if (method == kCryptCyclic) {
        Cyclic(bid, data, size);
    }
}

const FormatTraits& FormatTraits::Of(PstFormat format) {
    static const FormatTraits unicode{PstFormat::Unicode, true, 8, 16, 16, 8176, 488, 32, 24, 24, 24, 16, 8, 564};
    static const FormatTraits ansi{PstFormat::Ansi, false, 4, 12, 12, 8180, 496, 16, 12, 12, 12, 8, 4, 512};
    return format == PstFormat::Unicode ? unicode : ansi;
}

std::string HexId(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace qb::pst
