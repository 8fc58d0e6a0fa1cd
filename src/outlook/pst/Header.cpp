#include "outlook/pst/Header.h"

#include "outlook/pst/Checksum.h"

#include <algorithm>

namespace qb::pst {
namespace {
constexpr std::uint32_t kMagic = 0x4E444221;  // "!BDN"
constexpr std::uint16_t kMagicClient = 0x4D53;  // "SM"

struct Layout {
    std::size_t bidNextB, bidNextP, dwUnique, rgnid, root, fm, fp, sentinel, crcFull;
};
constexpr Layout kUnicode{516, 32, 40, 44, 180, 256, 384, 512, 524};
constexpr Layout kAnsi{24, 28, 32, 36, 164, 204, 332, 460, 0};
}  // namespace

Header Header::Parse(const Bytes& raw) {
    if (raw.size() < 512 || Get32(raw.data()) != kMagic) throw PstError("not a personal folders file (bad magic)");
    if (Get16(&raw[8]) != kMagicClient) throw PstError("not a personal folders file (bad client magic)");
    Header h;
    h.wVer = Get16(&raw[10]);
    if (h.wVer == 14 || h.wVer == 15) h.format = PstFormat::Ansi;
    else if (h.wVer >= 23 && h.wVer < 36) h.format = PstFormat::Unicode;
    else throw PstError("unsupported file version " + std::to_string(h.wVer));
    const bool uni = h.format == PstFormat::Unicode;
    if (uni && raw.size() < 564) throw PstError("header truncated");
    const Layout& l = uni ? kUnicode : kAnsi;
    if (CheckFails(Crc32(&raw[8], 471), Get32(&raw[4]))) throw PstError("header partial CRC mismatch");
    if (uni && CheckFails(Crc32(&raw[8], 516), Get32(&raw[l.crcFull]))) throw PstError("header full CRC mismatch");
    const std::size_t id = uni ? 8 : 4;
    h.wVerClient = Get16(&raw[12]);
    h.platformCreate = raw[14];
    h.platformAccess = raw[15];
    h.reserved1 = Get32(&raw[16]);
    h.reserved2 = Get32(&raw[20]);
    if (uni) h.bidUnused = Get64(&raw[24]);
    h.bidNextB = GetId(&raw[l.bidNextB], id);
    h.bidNextP = GetId(&raw[l.bidNextP], id);
    h.dwUnique = Get32(&raw[l.dwUnique]);
    for (int i = 0; i < 32; ++i) h.rgnid[i] = Get32(&raw[l.rgnid + 4 * i]);
    const std::uint8_t* r = &raw[l.root + 4];
    h.ibFileEof = GetId(r, id);
    h.ibAMapLast = GetId(r + id, id);
    h.cbAMapFree = GetId(r + 2 * id, id);
    h.cbPMapFree = GetId(r + 3 * id, id);
    h.nbt = {GetId(r + 4 * id, id), GetId(r + 5 * id, id)};
    h.bbt = {GetId(r + 6 * id, id), GetId(r + 7 * id, id)};
    h.fAMapValid = r[8 * id];
    std::copy_n(&raw[l.fm], 128, h.rgbFM.begin());
    std::copy_n(&raw[l.fp], 128, h.rgbFP.begin());
    h.cryptMethod = raw[l.sentinel + 1];
    if (h.cryptMethod > 2) throw PstError("unknown data encoding " + std::to_string(h.cryptMethod));
    return h;
}

Bytes Header::Serialize() const {
    const bool uni = format == PstFormat::Unicode;
    const Layout& l = uni ? kUnicode : kAnsi;
    const std::size_t id = uni ? 8 : 4;
    Bytes raw(Size(), 0);
    Put32(&raw[0], kMagic);
    Put16(&raw[8], kMagicClient);
    Put16(&raw[10], wVer);
    Put16(&raw[12], wVerClient);
    raw[14] = platformCreate;
    raw[15] = platformAccess;
    Put32(&raw[16], reserved1);
    Put32(&raw[20], reserved2);
    if (uni) Put64(&raw[24], bidUnused);
    PutId(&raw[l.bidNextB], id, bidNextB);
    PutId(&raw[l.bidNextP], id, bidNextP);
    Put32(&raw[l.dwUnique], dwUnique);
    for (int i = 0; i < 32; ++i) Put32(&raw[l.rgnid + 4 * i], rgnid[i]);
    std::uint8_t* r = &raw[l.root + 4];
    PutId(r, id, ibFileEof);
    PutId(r + id, id, ibAMapLast);
    PutId(r + 2 * id, id, cbAMapFree);
    PutId(r + 3 * id, id, cbPMapFree);
    PutId(r + 4 * id, id, nbt.bid);
    PutId(r + 5 * id, id, nbt.ib);
    PutId(r + 6 * id, id, bbt.bid);
    PutId(r + 7 * id, id, bbt.ib);
    r[8 * id] = fAMapValid;
    std::copy(rgbFM.begin(), rgbFM.end(), &raw[l.fm]);
    std::copy(rgbFP.begin(), rgbFP.end(), &raw[l.fp]);
    raw[l.sentinel] = 0x80;
    raw[l.sentinel + 1] = cryptMethod;
    Put32(&raw[4], Crc32(&raw[8], 471));
    if (uni) Put32(&raw[l.crcFull], Crc32(&raw[8], 516));
    return raw;
}

}  // namespace qb::pst
