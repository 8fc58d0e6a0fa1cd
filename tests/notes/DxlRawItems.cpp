#include "DxlRawItems.h"

#include "notes/api/mime/TransferDecoding.h"

namespace qb::test {

std::vector<mime::NotesRawItem> RawItemsOf(const std::string& dxl) {
    std::vector<mime::NotesRawItem> items;
    size_t pos = 0;
    while ((pos = dxl.find("<item name='", pos)) != std::string::npos) {
        size_t nameStart = pos + 12;
        size_t nameEnd = dxl.find('\'', nameStart);
        size_t itemEnd = dxl.find("</item>", nameEnd);
        size_t raw = dxl.find("<rawitemdata type='", nameEnd);
        pos = nameEnd;
        if (raw == std::string::npos || raw > itemEnd) continue;
        size_t typeStart = raw + 19;
        size_t typeEnd = dxl.find('\'', typeStart);
        size_t dataStart = dxl.find('>', typeEnd) + 1;
        size_t dataEnd = dxl.find("</rawitemdata>", dataStart);
        mime::NotesRawItem item;
        item.name = dxl.substr(nameStart, nameEnd - nameStart);
        item.type = static_cast<uint16_t>(std::stoul(dxl.substr(typeStart, typeEnd - typeStart), nullptr, 16));
        mime::DecodeBase64(dxl.substr(dataStart, dataEnd - dataStart), item.value);
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace qb::test
