#include "notes/sample/DxlWriter.h"

#include <fmt/format.h>

#include "text/Base64.h"
#include "text/XmlText.h"

#include <stdexcept>

namespace qb::notes::sample {
namespace {

void PutWord(std::string& out, std::uint32_t value) {
    if (value > 0xFFFF) throw std::length_error("value does not fit a WORD");
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void PutDword(std::string& out, std::uint32_t value) {
    PutWord(out, value & 0xFFFF);
    PutWord(out, value >> 16);
}

std::uint32_t HexDword(const std::string& unid, std::size_t offset) {
    return static_cast<std::uint32_t>(std::stoul(unid.substr(offset, 8), nullptr, 16));
}

using text::EncodeBase64;
using text::XmlEscape;

const char* Attr(bool set, const char* text) { return set ? text : ""; }

}  // namespace

void DxlWriter::BeginDatabase(const DatabaseInfo& info) {
    out_ << "<?xml version='1.0' encoding='utf-8'?>\n"
         << "<!DOCTYPE database SYSTEM 'xmlschemas/domino_9_0_1.dtd'>\n"
         << "<database xmlns='http://www.lotus.com/dxl' version='9.0' maintenanceversion='1.0'"
         << " replicaid='" << info.replicaId << "' path='" << XmlEscape(info.path) << "' title='"
         << XmlEscape(info.title) << "'>\n"
         << "<databaseinfo dbid='" << info.replicaId << "' odsversion='51'><datamodified>";
    Datetime(info.created);
    out_ << "</datamodified><designmodified>";
    Datetime(info.created);
    out_ << "</designmodified></databaseinfo>\n";
}

void DxlWriter::EndDatabase() { out_ << "</database>\n"; }

void DxlWriter::Datetime(const SampleTime& time) {
    out_ << "<datetime" << Attr(time.hasTime && time.IsDaylight(), " dst='true'") << ">" << time.DxlText()
         << "</datetime>";
}

void DxlWriter::NoteInfo(const SampleDocument& note) {
    out_ << "<noteinfo noteid='" << fmt::format("{:x}", note.noteId) << "' unid='" << note.unid
         << "' sequence='1'>\n<created>";
    Datetime(note.created);
    out_ << "</created>\n<modified>";
    Datetime(note.modified);
    out_ << "</modified>\n</noteinfo>\n";
    if (!note.updatedBy.empty()) out_ << "<updatedby><name>" << XmlEscape(note.updatedBy) << "</name></updatedby>\n";
}

void DxlWriter::WriteNote(const SampleDocument& note) {
    if (note.noteClass != SampleDocument::NoteClass::Document) {
        DesignNote(note);
        return;
    }
    if (note.noteForm) {
        out_ << "<note class='document'>\n";
        NoteInfo(note);
        if (!note.form.empty()) out_ << "<item name='Form' summary='true'><text>" << XmlEscape(note.form) << "</text></item>\n";
    } else {
        out_ << "<document form='" << XmlEscape(note.form) << "'>\n";
        NoteInfo(note);
    }
    for (const SampleItem& item : note.items) Item(item);
    out_ << (note.noteForm ? "</note>\n" : "</document>\n");
}

// Views and folders. The note form carries $TITLE, $Flags and the selection
// formula as $Formula; the formatted form carries the same as the element's
// name, its kind and <code event='selection'>.
void DxlWriter::DesignNote(const SampleDocument& note) {
    const bool folder = note.noteClass == SampleDocument::NoteClass::Folder;
    if (note.noteForm) {
        out_ << "<note class='view'>\n";
        NoteInfo(note);
        out_ << "<item name='$TITLE' sign='true'><text>" << XmlEscape(note.title) << "</text></item>\n"
             << "<item name='$Flags'><text>" << XmlEscape(note.flags) << "</text></item>\n";
        if (!note.selection.empty())
            out_ << "<item name='$FormulaClass' sign='true'><text>1</text></item>\n"
                 << "<item name='$Formula' summary='true' sign='true'><formula>" << XmlEscape(note.selection)
                 << "</formula></item>\n";
        for (const SampleItem& item : note.items) Item(item);
        out_ << "</note>\n";
        return;
    }
    const char* element = folder ? "folder" : "view";
    out_ << "<" << element << " name='" << XmlEscape(note.title) << "' showinmenu='true' publicaccess='false'"
         << " unreadmarks='none' onopengoto='lastopened' onrefresh='displayindicator' opencollapsed='false'>\n";
    NoteInfo(note);
    if (!note.selection.empty())
        out_ << "<code event='selection'><formula>" << XmlEscape(note.selection) << "</formula></code>\n";
    out_ << "<column sort='descending' itemname='$Date' width='10' resizable='true' sortnocase='true'>"
            "<columnheader title='Date'/></column>\n"
         << "<column itemname='Subject' width='40' resizable='true'><columnheader title='Subject'/></column>\n"
         << "</" << element << ">\n";
}

void DxlWriter::Item(const SampleItem& item) {
    out_ << "<item name='" << XmlEscape(item.name) << "'" << Attr(item.summary, " summary='true'")
         << Attr(item.sealed, " seal='true'") << ">";
    ItemValue(item);
    out_ << "</item>\n";
}

void DxlWriter::ItemValue(const SampleItem& item) {
    switch (item.kind) {
    case ItemKind::Text: out_ << "<text>" << XmlEscape(item.texts.at(0)) << "</text>"; break;
    case ItemKind::TextList:
        out_ << "<textlist>";
        for (const std::string& text : item.texts) out_ << "<text>" << XmlEscape(text) << "</text>";
        out_ << "</textlist>";
        break;
    case ItemKind::Number:
        if (item.numbers.size() == 1) {
            out_ << "<number>" << fmt::format("{}", item.numbers[0]) << "</number>";
        } else {
            out_ << "<numberlist>";
            for (double n : item.numbers) out_ << "<number>" << fmt::format("{}", n) << "</number>";
            out_ << "</numberlist>";
        }
        break;
    case ItemKind::Datetime:
        if (item.times.size() == 1) {
            Datetime(item.times[0]);
        } else {
            out_ << "<datetimelist>";
            for (const SampleTime& time : item.times) Datetime(time);
            out_ << "</datetimelist>";
        }
        break;
    case ItemKind::RichText:
        if (item.rawRecords) Raw("1", CompositeBytes(item));
        else RichText(item);
        break;
    case ItemKind::File: File(item.file); break;
    case ItemKind::NoteRefs: Raw("4", NoteRefListBytes(item.texts)); break;
    case ItemKind::Rfc822Text:
    case ItemKind::Rfc822Date: Raw("502", Rfc822ItemBytes(item)); break;
    case ItemKind::MimePart: Raw("19", MimePartBytes(item)); break;
    case ItemKind::Raw: Raw(item.rawType, item.rawData); break;
    }
}

void DxlWriter::Raw(const std::string& type, const std::string& bytes) {
    out_ << "\n<rawitemdata type='" << type << "'>\n" << EncodeBase64(bytes) << "\n</rawitemdata>";
}

void DxlWriter::RichText(const SampleItem& item) {
    out_ << "<richtext>\n<pardef id='1'/>\n<pardef id='2' align='center'/>\n<pardef id='3' align='right'/>\n";
    for (const RichParagraph& paragraph : item.paragraphs) {
        const char* def = paragraph.align == "center" ? "2" : paragraph.align == "right" ? "3" : "1";
        out_ << "<par def='" << def << "'>";
        for (const RichRun& run : paragraph.runs) Run(run);
        out_ << "</par>\n";
    }
    out_ << "</richtext>";
}

void DxlWriter::Run(const RichRun& run) {
    switch (run.kind) {
    case RichRun::Kind::Text: {
        const bool styled = !run.style.empty() || !run.color.empty() || !run.fontName.empty() || run.sizePoints;
        if (!styled) {
            out_ << XmlEscape(run.text);
            return;
        }
        out_ << "<run><font";
        if (run.sizePoints) out_ << " size='" << run.sizePoints << "pt'";
        if (!run.style.empty()) out_ << " style='" << run.style << "'";
        if (!run.fontName.empty()) out_ << " name='" << XmlEscape(run.fontName) << "'";
        if (!run.color.empty()) out_ << " color='" << run.color << "'";
        out_ << "/>" << XmlEscape(run.text) << "</run>";
        return;
    }
    case RichRun::Kind::DocLink:
        out_ << "<doclink database='" << run.replicaId << "' view='" << run.viewUnid << "' document='"
             << run.documentUnid << "' description='" << XmlEscape(run.text) << "'/>";
        return;
    case RichRun::Kind::Picture:
        out_ << "<picture width='" << run.width << "px' height='" << run.height << "px'><gif>" << EncodeBase64(run.gif)
             << "</gif></picture>";
        return;
    case RichRun::Kind::AttachmentRef:
        out_ << "<attachmentref name='" << XmlEscape(run.text) << "' displayname='" << XmlEscape(run.text) << "'/>";
        return;
    }
}

void DxlWriter::File(const SampleFile& file) {
    out_ << "<object><file hosttype='msdos' compression='none' flags='storedindoc' encoding='none' size='"
         << file.content.size() << "' name='" << XmlEscape(file.name) << "'>\n<created>";
    Datetime(file.created);
    out_ << "</created><modified>";
    Datetime(file.created);
    out_ << "</modified>\n<filedata>\n" << EncodeBase64(file.content) << "\n</filedata></file></object>";
}

// WORD count, then per UNID the File and Note TIMEDATEs, each as its low and
// high DWORD; the UNID's text is File.high, File.low, Note.high, Note.low.
std::string NoteRefListBytes(const std::vector<std::string>& unids) {
    std::string out;
    PutWord(out, static_cast<std::uint32_t>(unids.size()));
    for (const std::string& unid : unids) {
        PutDword(out, HexDword(unid, 8));
        PutDword(out, HexDword(unid, 0));
        PutDword(out, HexDword(unid, 24));
        PutDword(out, HexDword(unid, 16));
    }
    return out;
}

// RFC822ITEMDESC: WORD version 14, DWORD flags (strict storage 0x08 plus the
// format: 0 address, 1 date, 2 text), WORD lengths of the native value, the
// header name, the delimiter and the raw header body; then the four parts.
std::string Rfc822ItemBytes(const SampleItem& item) {
    const bool date = item.kind == ItemKind::Rfc822Date;
    const std::string native = date ? item.times.at(0).TimedateBytes() : item.texts.at(0);
    const std::string& header = item.texts.at(1);
    const std::string body = item.texts.at(2) + "\r\n";
    const bool address = header == "From" || header == "To" || header == "Cc" || header == "Reply-To";
    std::string out;
    PutWord(out, 14);
    PutDword(out, 0x08 | (date ? 1 : address ? 0 : 2));
    PutWord(out, static_cast<std::uint32_t>(native.size()));
    PutWord(out, static_cast<std::uint32_t>(header.size()));
    PutWord(out, 2);
    PutWord(out, static_cast<std::uint32_t>(body.size()));
    return out + native + header + ": " + body;
}

// MIME_PART: WORD version 2, DWORD flags (0x01 has boundary, 0x02 has
// headers), BYTE part type (1 prolog, 2 body, 3 epilog), BYTE spare, WORD
// byte count of boundary + headers + body, WORD boundary length, WORD
// headers length, WORD and DWORD spare; then the three parts.
std::string MimePartBytes(const SampleItem& item) {
    const std::string& boundary = item.texts.at(0);
    const std::string& headers = item.texts.at(1);
    const std::string& body = item.texts.at(2);
    std::string out;
    PutWord(out, 2);
    PutDword(out, (boundary.empty() ? 0u : 0x01u) | (headers.empty() ? 0u : 0x02u));
    out += static_cast<char>(static_cast<int>(item.numbers.at(0)));
    out += '\0';
    PutWord(out, static_cast<std::uint32_t>(boundary.size() + headers.size() + body.size()));
    PutWord(out, static_cast<std::uint32_t>(boundary.size()));
    PutWord(out, static_cast<std::uint32_t>(headers.size()));
    PutWord(out, 0);
    PutDword(out, 0);
    return out + boundary + headers + body;
}

// Rich text as Notes stores it: a paragraph definition (CDPABDEFINITION,
// id 1, one-inch left margin), then per paragraph a reference to it
// (CDPABREFERENCE) and its text runs (CDTEXT with the FONTID bytes face,
// attributes, colour, size), paragraphs separated by CDPARAGRAPH. Records
// of odd length are followed by one pad byte that their length leaves out.
std::string CompositeBytes(const SampleItem& item) {
    std::string out;
    auto pad = [&] {
        if (out.size() % 2) out += '\0';
    };
    PutWord(out, 0xFF82);
    PutWord(out, 90);
    PutWord(out, 1);  // PABID
    for (int i = 0; i < 4; ++i) PutWord(out, 0);
    PutWord(out, 1440);  // left margin
    PutWord(out, 0);
    PutWord(out, 1440);  // first line left margin
    while (out.size() < 90) out += '\0';
    for (std::size_t p = 0; p < item.paragraphs.size(); ++p) {
        if (p > 0) out += std::string("\x81\x02", 2);
        out += std::string("\x83\x04\x01\x00", 4);
        for (const RichRun& run : item.paragraphs[p].runs) {
            if (run.kind != RichRun::Kind::Text) continue;
            std::uint8_t attributes = 0;
            if (run.style.find("bold") != std::string::npos) attributes |= 0x01;
            if (run.style.find("italic") != std::string::npos) attributes |= 0x02;
            if (run.style.find("underline") != std::string::npos) attributes |= 0x04;
            const std::uint8_t face = run.fontName == "Courier New" ? 4 : run.fontName.empty() ? 0 : 1;
            const std::uint8_t color = run.color == "red" ? 2 : run.color.empty() ? 0 : 4;
            const auto size = static_cast<std::uint8_t>(run.sizePoints ? run.sizePoints : 10);
            PutWord(out, 0xFF85);
            PutWord(out, static_cast<std::uint32_t>(8 + run.text.size()));
            out += static_cast<char>(face);
            out += static_cast<char>(attributes);
            out += static_cast<char>(color);
            out += static_cast<char>(size);
            out += run.text;
            pad();
        }
    }
    return out;
}

}  // namespace qb::notes::sample
