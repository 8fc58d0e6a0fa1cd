#include "outlook/mapi/PstPropConvert.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/mapi/MapiText.h"

namespace qb::mapi {
namespace {

using pst::Bytes;
using pst::PropValue;

std::uint64_t FileTimeValue(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t value) {
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

Bytes GuidBytes(const GUID* guid) {
    Bytes bytes(16, 0);
    if (guid) std::memcpy(bytes.data(), guid, 16);
    return bytes;
}

std::string_view Text8(const char* s) { return s ? std::string_view(s) : std::string_view(); }
std::string TextW(const wchar_t* s) { return s ? WideToUtf8(s) : std::string(); }

template <typename T>
std::vector<T> FixedItems(const PropValue& v) {
    std::vector<T> out(v.data.size() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), v.data.data(), out.size() * sizeof(T));
    return out;
}

}  // namespace

std::optional<std::pair<std::uint32_t, PropValue>> ToEngineValue(const SPropValue& value) {
    const ULONG type = PROP_TYPE(value.ulPropTag);
    const std::uint16_t id = static_cast<std::uint16_t>(PROP_ID(value.ulPropTag));
    const auto& v = value.Value;
    std::optional<PropValue> out;
    switch (type) {
        case PT_SHORT: out = PropValue::Short(v.i); break;
        case PT_LONG: out = PropValue::Long(v.l); break;
        case PT_FLOAT: out = PropValue::Float(v.flt); break;
        case PT_DOUBLE: out = PropValue::Double(v.dbl); break;
        case PT_CURRENCY: out = PropValue::Currency(v.cur.int64); break;
        case PT_APPTIME: out = PropValue::AppTime(v.at); break;
        case PT_BOOLEAN: out = PropValue::Boolean(v.b != 0); break;
        case PT_I8: out = PropValue::I8(v.li.QuadPart); break;
        case PT_SYSTIME: out = PropValue::SysTime(FileTimeValue(v.ft)); break;
        case PT_STRING8: out = PropValue::Unicode(Text8(v.lpszA)); break;
        case PT_UNICODE: out = PropValue::Unicode(TextW(v.lpszW)); break;
        case PT_BINARY: out = PropValue::Binary(Bytes(v.bin.lpb, v.bin.lpb + (v.bin.lpb ? v.bin.cb : 0))); break;
        case PT_CLSID: out = PropValue::Clsid(GuidBytes(v.lpguid)); break;
        case PT_MV_SHORT: out = PropValue::MvShort(std::vector<std::int16_t>(v.MVi.lpi, v.MVi.lpi + v.MVi.cValues)); break;
        case PT_MV_LONG: out = PropValue::MvLong(std::vector<std::int32_t>(v.MVl.lpl, v.MVl.lpl + v.MVl.cValues)); break;
        case PT_MV_DOUBLE: out = PropValue::MvDouble(std::vector<double>(v.MVdbl.lpdbl, v.MVdbl.lpdbl + v.MVdbl.cValues)); break;
        case PT_MV_I8: {
            std::vector<std::int64_t> items;
            for (ULONG i = 0; i < v.MVli.cValues; ++i) items.push_back(v.MVli.lpli[i].QuadPart);
            out = PropValue::MvI8(items);
            break;
        }
        case PT_MV_SYSTIME: {
            std::vector<std::uint64_t> items;
            for (ULONG i = 0; i < v.MVft.cValues; ++i) items.push_back(FileTimeValue(v.MVft.lpft[i]));
            out = PropValue::MvSysTime(items);
            break;
        }
        case PT_MV_CLSID: {
            std::vector<Bytes> items;
            for (ULONG i = 0; i < v.MVguid.cValues; ++i) items.push_back(GuidBytes(&v.MVguid.lpguid[i]));
            out = PropValue::MvClsid(items);
            break;
        }
        case PT_MV_STRING8: {
            std::vector<std::string> items;
            for (ULONG i = 0; i < v.MVszA.cValues; ++i) items.emplace_back(Text8(v.MVszA.lppszA[i]));
            out = PropValue::MvUnicode(items);
            break;
        }
        case PT_MV_UNICODE: {
            std::vector<std::string> items;
            for (ULONG i = 0; i < v.MVszW.cValues; ++i) items.push_back(TextW(v.MVszW.lppszW[i]));
            out = PropValue::MvUnicode(items);
            break;
        }
        case PT_MV_BINARY: {
            std::vector<Bytes> items;
            for (ULONG i = 0; i < v.MVbin.cValues; ++i) {
                const SBinary& b = v.MVbin.lpbin[i];
                items.emplace_back(b.lpb, b.lpb + (b.lpb ? b.cb : 0));
            }
            out = PropValue::MvBinary(items);
            break;
        }
        default: return std::nullopt;
    }
    return std::make_pair(pst::MakeTag(id, out->type), std::move(*out));
}

pst::Properties ToEngineProperties(const PropertyBag& bag) {
    pst::PropertyMap::Storage values;
    values.reserve(bag.Count());
    bag.ForEachValue([&values](const SPropValue& value) {
        if (auto converted = ToEngineValue(value))
            values.emplace_back(pst::TagId(converted->first), std::move(converted->second));
    });
    pst::Properties out;
    out.Assign(std::move(values));
    return out;
}

PropertyBag ToPropertyBag(const pst::Properties& props) {
    PropertyBag bag;
    for (const auto& [id, v] : props) {
        SPropValue out{};
        const std::uint16_t base = v.type & ~pst::kPtMvFlag;
        const bool multi = pst::IsMultiValued(v.type);
        const bool text = base == pst::kPtUnicode || base == pst::kPtString8;
        out.ulPropTag = PROP_TAG(text ? (multi ? PT_MV_STRING8 : PT_STRING8) : v.type, id);
        std::string s;
        std::vector<std::string> strings;
        std::vector<char*> stringPtrs;
        std::vector<SBinary> binaries;
        std::vector<LONG> longs;
        std::vector<short> shorts;
        std::vector<double> doubles;
        std::vector<LARGE_INTEGER> larges;
        std::vector<FILETIME> times;
        GUID guid{};
        switch (v.type) {
            case pst::kPtShort: out.Value.i = static_cast<short>(v.AsInt()); break;
            case pst::kPtLong: out.Value.l = static_cast<LONG>(v.AsInt()); break;
            case pst::kPtError: out.Value.err = static_cast<SCODE>(v.AsInt()); break;
            case pst::kPtFloat: out.Value.flt = static_cast<float>(v.AsDouble()); break;
            case pst::kPtDouble: out.Value.dbl = v.AsDouble(); break;
            case pst::kPtAppTime: out.Value.at = v.AsDouble(); break;
            case pst::kPtCurrency: out.Value.cur.int64 = v.AsInt(); break;
            case pst::kPtBoolean: out.Value.b = v.AsBool() ? 1 : 0; break;
            case pst::kPtI8: out.Value.li.QuadPart = v.AsInt(); break;
            case pst::kPtSysTime: out.Value.ft = ToFileTime(static_cast<std::uint64_t>(v.AsInt())); break;
            case pst::kPtUnicode:
            case pst::kPtString8:
                s = v.AsString();
                out.Value.lpszA = s.data();
                break;
            case pst::kPtBinary:
                out.Value.bin = {static_cast<ULONG>(v.data.size()), const_cast<BYTE*>(v.data.data())};
                break;
            case pst::kPtClsid:
                if (v.data.size() == 16) std::memcpy(&guid, v.data.data(), 16);
                out.Value.lpguid = &guid;
                break;
            case pst::kPtMvFlag | pst::kPtUnicode:
            case pst::kPtMvFlag | pst::kPtString8:
                strings = v.AsStrings();
                for (auto& item : strings) stringPtrs.push_back(item.data());
                out.Value.MVszA = {static_cast<ULONG>(stringPtrs.size()), stringPtrs.data()};
                break;
            case pst::kPtMvFlag | pst::kPtBinary:
                for (const auto& item : v.items)
                    binaries.push_back({static_cast<ULONG>(item.size()), const_cast<BYTE*>(item.data())});
                out.Value.MVbin = {static_cast<ULONG>(binaries.size()), binaries.data()};
                break;
            case pst::kPtMvFlag | pst::kPtLong:
                longs = FixedItems<LONG>(v);
                out.Value.MVl = {static_cast<ULONG>(longs.size()), longs.data()};
                break;
            case pst::kPtMvFlag | pst::kPtShort:
                shorts = FixedItems<short>(v);
                out.Value.MVi = {static_cast<ULONG>(shorts.size()), shorts.data()};
                break;
            case pst::kPtMvFlag | pst::kPtDouble:
                doubles = FixedItems<double>(v);
                out.Value.MVdbl = {static_cast<ULONG>(doubles.size()), doubles.data()};
                break;
            case pst::kPtMvFlag | pst::kPtI8:
                larges = FixedItems<LARGE_INTEGER>(v);
                out.Value.MVli = {static_cast<ULONG>(larges.size()), larges.data()};
                break;
            case pst::kPtMvFlag | pst::kPtSysTime:
                times = FixedItems<FILETIME>(v);
                out.Value.MVft = {static_cast<ULONG>(times.size()), times.data()};
                break;
            default: continue;  // objects and types MAPI callers never read here
        }
        bag.Set(out);
    }
    return bag;
}

}  // namespace qb::mapi
