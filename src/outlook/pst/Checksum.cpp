#include "outlook/pst/Checksum.h"

#include <array>
#include <cstdio>
#include <cstring>

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
}  // namespace

std::uint16_t ComputeSig(std::uint64_t ib, std::uint64_t bid) {
    std::uint32_t x = std::uint32_t(ib ^ bid);
    return std::uint16_t((x >> 16) ^ (x & 0xFFFF));
}

void EncodeData(std::uint8_t method, Bid bid, std::uint8_t* data, std::size_t size) {
    if (method == kCryptPermute) {
        for (std::size_t i = 0; i < size; ++i) data[i] = kCryptR[data[i]];
    } else if (method == kCryptCyclic) {
        Cyclic(bid, data, size);
    }
}

void EncodeDataInto(std::uint8_t method, Bid bid, const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
    if (method == kCryptPermute) {
        for (std::size_t i = 0; i < size; ++i) out[i] = kCryptR[in[i]];
        return;
    }
    if (size > 0) std::memcpy(out, in, size);
    EncodeData(method, bid, out, size);
}

void DecodeData(std::uint8_t method, Bid bid, std::uint8_t* data, std::size_t size) {
    if (method == kCryptPermute) {
        for (std::size_t i = 0; i < size; ++i) data[i] = kCryptI[data[i]];
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
