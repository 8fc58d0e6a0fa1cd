// CD records: the three header forms, padding, damaged values, every record
// kind the reader renders, cursors over them, and bodies in several items.

#include <gtest/gtest.h>

#include <tiffio.h>

#include <array>
#include <filesystem>
#include <memory>

#include "NotesTestSupport.h"
#include "TestImages.h"
#include "notes/api/NoteData.h"
#include "notes/api/Lmbcs.h"
#include "text/Utf8.h"
#include "notes/api/mime/Charset.h"
#include "notes/api/NotesBitmap.h"
#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextFromModel.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/RichTextRender.h"

namespace qb::test {
namespace {

using namespace qb::notes;

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int value : values) out.push_back(static_cast<char>(value));
    return out;
}

LNRichText RichOf(const std::string& records) { return LNRichText(LNMakeRawItem("Body", TYPE_COMPOSITE, records)); }

std::string PlainOf(const std::string& records) {
    LNString text;
    EXPECT_EQ(RichOf(records).GetText(&text), LNNOERROR);
    return text;
}

const render::TextRun* RunAt(const render::Paragraph& paragraph, std::size_t index) {
    return index < paragraph.inlines.size() ? std::get_if<render::TextRun>(&paragraph.inlines[index]) : nullptr;
}

// A 40-byte NOTELINK: replica (low, high), view and note UNIDs as words.
std::string NoteLink(std::uint32_t first) {
    std::string link;
    for (std::uint32_t i = 0; i < 10; ++i) PutDword(link, first + i);
    return link;
}

TEST(CdRecords, ByteWordAndLongHeadersWithPadding) {
    // BSIG paragraph; WSIG text of odd length (pad byte follows); an unknown
    // LSIG record; an unknown WSIG record; BSIG paragraph; WSIG text.
    std::string value = Bytes({0x81, 0x02});
    value += Bytes({0x85, 0xFF, 11, 0, 1, 0, 0, 10}) + "abc" + Bytes({0});
    value += Bytes({0xF3, 0x00, 10, 0, 0, 0, 1, 2, 3, 4});
    value += Bytes({0xF4, 0xFF, 5, 0, 9, 0});
    value += Bytes({0x81, 0x02});
    value += Bytes({0x85, 0xFF, 10, 0, 1, 0, 0, 10}) + "de";
    CdRecordReader reader(value);
    std::vector<std::uint8_t> signatures;
    std::vector<std::size_t> lengths;
    for (CdRecord record; reader.Next(&record);) {
        signatures.push_back(record.signature);
        lengths.push_back(record.record.size());
    }
    EXPECT_FALSE(reader.Damaged());
    EXPECT_EQ(signatures, (std::vector<std::uint8_t>{0x81, 0x85, 0xF3, 0xF4, 0x81, 0x85}));
    EXPECT_EQ(lengths, (std::vector<std::size_t>{2, 11, 10, 5, 2, 10}));
    EXPECT_EQ(PlainOf(value), "abc\nde");
    EXPECT_EQ(FirstDamagedRecord(value), std::string_view::npos);
}

TEST(CdRecords, DamagedValuesEndTheWalkWithoutHanging) {
    const std::string good = Bytes({0x81, 0x02, 0x85, 0xFF, 9, 0, 1, 0, 0, 10}) + "x" + Bytes({0});
    const std::string cases[] = {
        good + Bytes({0x85, 0xFF, 0xF0, 0x00, 1, 0}),  // length past the end
        good + Bytes({0x85, 0xFF, 0, 0, 1, 0}),        // zero WSIG length
        good + Bytes({0x85, 0x00, 0, 0, 0, 0}),        // zero LSIG length
        good + Bytes({0x81, 0x01}),                    // shorter than its header
        good + Bytes({0x85, 0xFF, 3}),                 // header cut short
    };
    for (const std::string& value : cases) {
        SCOPED_TRACE(value.size());
        EXPECT_EQ(PlainOf(value), "x");
        EXPECT_EQ(FirstDamagedRecord(value), good.size());
        LNRichText rich = RichOf(value);
        LNRTCursor cursor, end;
        ASSERT_EQ(rich.GetCursor(&cursor), LNNOERROR);
        EXPECT_EQ(cursor.GotoFirst(LNRTTYPE_GRAPHIC), LNWARN_NOT_FOUND);
        EXPECT_EQ(cursor.Move(10), LNWARN_NOT_FOUND);
        EXPECT_EQ(cursor.GetOffset(), value.size());
        RichTextRenderResult rendered = RenderRichText(value, 0, value.size(), {});
        ASSERT_EQ(rendered.document.paragraphs.size(), 1u);
        EXPECT_EQ(rendered.warnings.size(), 1u);
    }
    // Every prefix of a real value reads without a crash.
    CdRecordWriter writer;
    writer.Paragraph();
    writer.Text(FontId{}, "hello");
    writer.Graphic(CDIMAGETYPE_GIF, 2, 2, MakeGif(2, 2, false, false));
    writer.Link(NoteLink(1), "c", "s");
    const std::string whole = writer.Take();
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        std::string_view prefix(whole.data(), size);
        RenderRichText(prefix, 0, size, {});
        LNString text;
        RichOf(std::string(prefix)).GetText(&text);
    }
}

TEST(CdRecords, EveryRecordKindRenders) {
    CdRecordWriter writer;
    writer.ParagraphStyle(1, 3);  // centred
    writer.ParagraphStyle(2, 1);  // right
    writer.Paragraph();
    writer.ParagraphStyleReference(1);
    writer.Text(FontId{FONT_FACE_TYPEWRITER, FONT_BOLD | FONT_UNDERLINE, 2, 12}, std::string("one\0two", 7));
    writer.Paragraph();
    writer.ParagraphStyleReference(2);
    writer.LinkByIndex(0, "first", "CN=Server1/O=Org");
    writer.LinkByIndex(1, "beyond the table", "");
    writer.Link(NoteLink(0x10), "", "");
    writer.Paragraph();
    writer.HotspotBegin(HOTSPOTREC_TYPE_URL, 0, std::string("https://example.com/\0", 21));
    writer.Text(FontId{}, "site");
    writer.HotspotEnd();
    writer.HotspotBegin(HOTSPOTREC_TYPE_FILE, 0, std::string("ATT1\0plan.xls\0", 14));
    writer.HotspotEnd();
    writer.Graphic(CDIMAGETYPE_GIF, 3, 2, MakeGif(3, 2, false, false));
    const std::string value = writer.Take();
    std::string links;
    PutWord(links, 1);
    links += NoteLink(1);

    RichTextRenderResult rendered = RenderRichText(value, 0, value.size(), links);
    ASSERT_EQ(rendered.document.paragraphs.size(), 3u);
    const auto& first = rendered.document.paragraphs[0];
    EXPECT_EQ(first.alignment, render::Alignment::Center);
    ASSERT_EQ(first.inlines.size(), 3u);
    ASSERT_NE(RunAt(first, 0), nullptr);
    EXPECT_EQ(RunAt(first, 0)->text, "one");
    EXPECT_EQ(RunAt(first, 0)->style.fontFace, "Courier New");
    EXPECT_TRUE(RunAt(first, 0)->style.bold);
    EXPECT_TRUE(RunAt(first, 0)->style.underline);
    EXPECT_EQ(RunAt(first, 0)->style.pointSize, 12u);
    EXPECT_EQ(RunAt(first, 0)->style.colour, (render::Colour{255, 0, 0}));
    EXPECT_TRUE(std::holds_alternative<render::LineBreak>(first.inlines[1]));
    EXPECT_EQ(RunAt(first, 2)->text, "two");

    const auto& second = rendered.document.paragraphs[1];
    EXPECT_EQ(second.alignment, render::Alignment::Right);
    ASSERT_EQ(second.inlines.size(), 3u);
    const auto* link = std::get_if<render::LinkRun>(&second.inlines[0]);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text, "first");
    EXPECT_EQ(link->url,
              "NOTES://Server1/0000000200000001/00000004000000030000000600000005/"
              "00000008000000070000000A00000009");
    EXPECT_EQ(RunAt(second, 1)->text, "beyond the table") << "a link past the table keeps its comment only";
    const auto* own = std::get_if<render::LinkRun>(&second.inlines[2]);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->text, own->url);
    EXPECT_EQ(own->url.rfind("NOTES:///0000001100000010/", 0), 0u) << own->url;
    EXPECT_EQ(rendered.warnings.size(), 1u);

    const auto& third = rendered.document.paragraphs[2];
    ASSERT_EQ(third.inlines.size(), 3u);
    const auto* url = std::get_if<render::LinkRun>(&third.inlines[0]);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(url->text, "site");
    EXPECT_EQ(url->url, "https://example.com/");
    EXPECT_EQ(RunAt(third, 1)->text, "plan.xls");
    const auto* picture = std::get_if<render::PictureRun>(&third.inlines[2]);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->data, MakeGif(3, 2, false, false));
    EXPECT_EQ(rendered.pictures, 1);
}

TEST(CdRecords, FontTableNamesFacesFromFive) {
    CdRecordWriter table;
    table.FontTable({"Verdana", std::string(40, 'L')});
    const std::string value = table.Take();
    auto fonts = ReadFontTable(value);
    ASSERT_EQ(fonts.size(), 2u);
    EXPECT_EQ(fonts[5], "Verdana");
    EXPECT_EQ(fonts[6], std::string(31, 'L'));
    CdRecordWriter text;
    text.Text(FontId{5, 0, 0, 10}, "x");
    const std::string records = text.Take();
    RichTextRenderResult rendered = RenderRichText(records, 0, records.size(), {}, value);
    ASSERT_EQ(rendered.document.paragraphs.size(), 1u);
    EXPECT_EQ(RunAt(rendered.document.paragraphs[0], 0)->style.fontFace, "Verdana");
    EXPECT_TRUE(ReadFontTable(value.substr(0, 20)).empty()) << "a cut table gives nothing";
}

TEST(CdRecords, DocLinkAddressTakesTheServerNameAndHighWordsFirst) {
    std::string link;
    PutDword(link, 2);  // replica low word
    PutDword(link, 1);  // replica high word
    link.resize(40, '\0');
    EXPECT_EQ(DocLinkAddress(link, "CN=Server1/O=Org"),
              "NOTES://Server1/0000000100000002/00000000000000000000000000000000/00000000000000000000000000000000");
    EXPECT_EQ(DocLinkAddress(link, "").rfind("NOTES:///", 0), 0u);
    EXPECT_EQ(DocLinkAddress(link, "plain").rfind("NOTES://plain/", 0), 0u);
}

TEST(CdRecords, NotesUrlNamesTheServerByItsCommonNameInEveryForm) {
    // Canonical names in any case and abbreviated ones: a slash of the name
    // must not end up in the address's path.
    for (std::string_view server : {"CN=Hub/O=Org", "cn=Hub/ou=Unit/o=Org", "Hub/Org", "Hub"})
        EXPECT_EQ(NotesUrl(server, "R", "V", "D"), "NOTES://Hub/R/V/D") << server;
    EXPECT_EQ(NotesUrl("", "R", "V", "D"), "NOTES:///R/V/D");
}

TEST(CdRecords, CursorsStepByPositionsAndFindObjects) {
    CdRecordWriter writer;
    writer.Paragraph();
    writer.Text(FontId{}, "before");
    writer.Graphic(CDIMAGETYPE_GIF, 2, 2, MakeGif(2, 2, false, false));
    writer.Paragraph();
    writer.Text(FontId{}, "after");
    writer.Link(NoteLink(1), "link", "");
    writer.HotspotBegin(HOTSPOTREC_TYPE_FILE, 0, std::string("a\0a\0", 4));
    writer.HotspotEnd();
    writer.Graphic(CDIMAGETYPE_GIF, 4, 1, MakeGif(4, 1, false, false));
    LNRichText rich = RichOf(writer.Take());

    LNRTCursor cursor, end;
    ASSERT_EQ(rich.GetCursor(&cursor), LNNOERROR);
    ASSERT_EQ(rich.GetEndCursor(&end), LNNOERROR);
    LNRTCursor graphicAt = cursor;
    ASSERT_EQ(graphicAt.Move(2), LNNOERROR);
    LNGraphic graphic;
    LNRTCursor found = cursor;
    ASSERT_EQ(found.GotoFirst(LNRTTYPE_GRAPHIC, &graphic), LNNOERROR);
    EXPECT_EQ(found, graphicAt);
    EXPECT_EQ(graphic.GetWidth(), 2);

    // One position past a picture is past its image records.
    LNRTCursor afterPicture = found;
    afterPicture += 1;
    LNRTCursor paragraph = found;
    ASSERT_EQ(paragraph.GotoNext(LNRTTYPE_PARAGRAPH), LNNOERROR);
    EXPECT_EQ(afterPicture, paragraph);
    LNString range;
    LNRTCursor from = afterPicture;
    ASSERT_EQ(rich.GetText(&from, end, &range), LNNOERROR);
    EXPECT_EQ(range, "\nafter");

    ASSERT_EQ(found.GotoNext(LNRTTYPE_GRAPHIC, &graphic), LNNOERROR);
    EXPECT_EQ(graphic.GetWidth(), 4);
    EXPECT_EQ(graphic.GetHeight(), 1);
    EXPECT_EQ(found.GotoNext(LNRTTYPE_GRAPHIC, &graphic), LNWARN_NOT_FOUND);

    // GotoFirst looks from where the cursor stands.
    LNRTCursor any = cursor;
    EXPECT_EQ(any.GotoFirst(LNRTTYPE_DOCLINK), LNNOERROR);
    EXPECT_EQ(any.GotoFirst(LNRTTYPE_ATTACHMENT), LNNOERROR);
    EXPECT_EQ(any.GotoFirst(LNRTTYPE_TEXT), LNWARN_NOT_FOUND);
    EXPECT_LT(cursor, any);
    LNRTCursor text = cursor;
    EXPECT_EQ(text.GotoFirst(LNRTTYPE_TEXT), LNNOERROR);
    EXPECT_EQ(text.GotoNext(LNRTTYPE_TEXT), LNNOERROR);
    EXPECT_EQ(text.GotoNext(LNRTTYPE_TEXT), LNWARN_NOT_FOUND);

    LNRTCursor walk = cursor;
    int positions = 0;
    while (walk.Move(1) == LNNOERROR && walk < end) ++positions;
    EXPECT_EQ(positions, 8) << "paragraph, text, picture, paragraph, text, link, hotspot begin and end";
}

TEST(CdRecords, ModelRoundTripsThroughRecords) {
    render::RichTextDocument document;
    render::Paragraph first;
    first.alignment = render::Alignment::Justify;
    render::TextStyle bold;
    bold.bold = true;
    bold.fontFace = "Times New Roman";
    bold.pointSize = 16;
    bold.colour = {0, 0, 255};
    first.inlines.emplace_back(render::TextRun{bold, "Title"});
    first.inlines.emplace_back(render::LineBreak{});
    first.inlines.emplace_back(render::LinkRun{render::TextStyle{}, "docs", "https://example.org/"});
    document.paragraphs.push_back(first);
    render::Paragraph second;
    second.inlines.emplace_back(render::PictureRun{MakeJpeg(6, 5, false, false), 0, 0});
    second.inlines.emplace_back(render::PictureRun{"not a picture", 0, 0});
    document.paragraphs.push_back(second);

    std::vector<std::string> warnings;
    const std::string records = RecordsFromRichText(document, &warnings);
    EXPECT_EQ(warnings.size(), 1u) << "the unknown picture is left out";
    RichTextRenderResult back = RenderRichText(records, 0, records.size(), {});
    ASSERT_EQ(back.document.paragraphs.size(), 2u);
    const auto& title = back.document.paragraphs[0];
    EXPECT_EQ(title.alignment, render::Alignment::Justify);
    ASSERT_EQ(title.inlines.size(), 3u);
    EXPECT_EQ(RunAt(title, 0)->text, "Title");
    EXPECT_TRUE(RunAt(title, 0)->style.bold);
    EXPECT_EQ(RunAt(title, 0)->style.fontFace, "Times New Roman");
    EXPECT_EQ(RunAt(title, 0)->style.pointSize, 16u);
    EXPECT_EQ(RunAt(title, 0)->style.colour, (render::Colour{0, 0, 255}));
    EXPECT_TRUE(std::holds_alternative<render::LineBreak>(title.inlines[1]));
    const auto* link = std::get_if<render::LinkRun>(&title.inlines[2]);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->url, "https://example.org/");
    const auto& pictures = back.document.paragraphs[1];
    ASSERT_EQ(pictures.inlines.size(), 1u);
    LNRTCursor cursor;
    LNRichText rich = RichOf(records);
    rich.GetCursor(&cursor);
    LNGraphic found;
    ASSERT_EQ(cursor.GotoFirst(LNRTTYPE_GRAPHIC, &found), LNNOERROR);
    EXPECT_EQ(found.GetImageType(), CDIMAGETYPE_JPEG);
    EXPECT_EQ(found.GetWidth(), 6);
    EXPECT_EQ(found.GetHeight(), 5);
}

TEST(CdRecords, LongTextIsSplitBetweenCharacters) {
    std::string text;
    while (text.size() < 200000) text += "aé€";
    CdRecordWriter writer;
    writer.Text(FontId{}, text);
    const std::string value = writer.Take();
    CdRecordReader reader(value);
    int records = 0;
    for (CdRecord record; reader.Next(&record); ++records)
        EXPECT_TRUE(qb::text::IsValidUtf8(record.body.substr(4))) << records;
    EXPECT_GT(records, 3);
    EXPECT_EQ(RichTextPlainText(value), text);
}

TEST(CdRecords, BodyInSeveralItemsReadsAsOne) {
    CdRecordWriter first, second;
    first.Paragraph();
    first.Text(FontId{}, "odd");  // 4 + 4 + 3 bytes: the item ends unpadded
    second.Paragraph();
    second.Text(FontId{}, "second item");
    std::string firstValue = first.Take();
    firstValue.pop_back();  // no pad byte at the end of the first item
    LNRichText joined = LNRichText::FromItems(
        {LNMakeRawItem("Body", TYPE_COMPOSITE, firstValue), LNMakeRawItem("Body", TYPE_COMPOSITE, second.Take())});
    LNString text;
    ASSERT_EQ(joined.GetText(&text), LNNOERROR);
    EXPECT_EQ(text, "odd\nsecond item");
}

TEST(Lmbcs, SurrogatePairsAreOneCharacterAndLoneSurrogatesAreReplaced) {
    // "Re: 😀": U+1F600 as the UTF-16 pair D83D DE00, one unit per group.
    const std::string subject("Re: \x14\xD8\x3D\x14\xDE\x00", 10);
    EXPECT_EQ(LmbcsToUtf8(subject), "Re: \xF0\x9F\x98\x80");
    EXPECT_EQ(LmbcsToUtf8(std::string("\x14\xD8\x3Dx", 4)), "\xEF\xBF\xBDx");
    EXPECT_EQ(LmbcsToUtf8(std::string("\x14\xDE\x00\x14\xD8\x3D", 6)), "\xEF\xBF\xBD\xEF\xBF\xBD")
        << "a low surrogate before the high one is no pair";
    EXPECT_EQ(NotesTextToUtf8(subject), "Re: \xF0\x9F\x98\x80");
}

TEST(Lmbcs, GroupsDecodeToUtf8AndUtf8StaysAsItIs) {
    EXPECT_EQ(LmbcsToUtf8("Gr\x81\xE1" "e"), "Grüße") << "unprefixed bytes are CP850";
    EXPECT_EQ(LmbcsToUtf8("\x01\x81"), "ü");
    EXPECT_EQ(LmbcsToUtf8(std::string("\x14\x20\xAC 5", 5)), "€ 5");
    EXPECT_EQ(LmbcsToUtf8("\x05\xC0"), "А");
    EXPECT_EQ(LmbcsToUtf8("\x10\x82\xA0"), "あ");
    EXPECT_EQ(LmbcsToUtf8(std::string("a\0b\tc", 5)), std::string("a\0b\tc", 5));
    EXPECT_EQ(LmbcsToUtf8("cut\x14\x20"), "cut") << "a group cut short gives nothing";
    EXPECT_EQ(LmbcsToUtf8("\x05\xC0\x05\xC1" "a\x10\x82\xA0\x10\x82\xA2\x81\x01\x81"), "АБaあいüü")
        << "runs of one code page and changes between them";
    EXPECT_FALSE(LooksLikeLmbcs("Grüße"));
    EXPECT_TRUE(LooksLikeLmbcs("\x14N-"));
    EXPECT_EQ(NotesTextToUtf8("Grüße"), "Grüße");

    CdRecordWriter writer;
    writer.Paragraph();
    writer.Text(FontId{}, "Sch\x94ne Gr\x81\xE1" "e");
    writer.Graphic(CDIMAGETYPE_GIF, 1, 1, MakeGif(1, 1, false, false));
    writer.Text(FontId{}, "Grüße");
    const std::string converted = RichTextToUtf8(writer.Take());
    EXPECT_EQ(RichTextPlainText(converted), "Schöne GrüßeGrüße");
    EXPECT_EQ(FirstDamagedRecord(converted), std::string_view::npos);
}

class RichTextDocumentTest : public NotesDatabaseTest {
protected:
    LNDocument Open(const std::string& items) {
        EXPECT_EQ(OpenText("doc.dxl", "<?xml version='1.0'?>\n<database xmlns='http://www.lotus.com/dxl' title='t'>\n"
                                      "<document form='Memo'><noteinfo noteid='10' "
                                      "unid='00000000000000000000000000000010'/>\n" +
                                          items + "</document></database>\n"),
                  LNNOERROR);
        LNNoteArray notes;
        EXPECT_EQ(database.Search("@All", &notes), LNNOERROR);
        LNDocument document = notes[0];
        EXPECT_EQ(document.Open(), LNNOERROR);
        return document;
    }
};

TEST_F(RichTextDocumentTest, RawItemsInSeveralPartsAndDamage) {
    CdRecordWriter first, second;
    first.Paragraph();
    first.Text(FontId{}, "part one");
    second.Paragraph();
    second.Text(FontId{}, "part two");
    std::string damaged = second.Take() + Bytes({0x85, 0xFF, 0x40, 0x00});
    LNDocument document = Open("<item name='Body'><rawitemdata type='1'>" + EncodeBase64(first.Take()) +
                               "</rawitemdata></item><item name='Body'><rawitemdata type='1'>" +
                               EncodeBase64(damaged) + "</rawitemdata></item>");
    LNRichText body;
    ASSERT_EQ(document.GetItem("Body", &body), LNNOERROR);
    LNString text;
    ASSERT_EQ(body.GetText(&text), LNNOERROR);
    EXPECT_EQ(text, "part one\npart two");
    ASSERT_EQ(document.GetNoteHandle()->readWarnings.size(), 1u);
    EXPECT_NE(document.GetNoteHandle()->readWarnings[0].find("damaged rich text"), std::string::npos);
}

TEST_F(RichTextDocumentTest, RawTextIsReadFromLmbcs) {
    CdRecordWriter body;
    body.Paragraph();
    body.Text(FontId{}, "M\x81nchen");
    std::string list;
    PutWord(list, 2);
    PutWord(list, 4);
    PutWord(list, 6);
    list += std::string("\x14\x20\xAC") + "a" + "K\x94ln\x01\x81";
    LNDocument document = Open("<item name='Body'><rawitemdata type='1'>" + EncodeBase64(body.Take()) +
                               "</rawitemdata></item><item name='City'><rawitemdata type='500'>" +
                               EncodeBase64("D\x81sseldorf") + "</rawitemdata></item><item name='Cities'>"
                               "<rawitemdata type='501'>" + EncodeBase64(list) + "</rawitemdata></item>");
    LNRichText rich;
    ASSERT_EQ(document.GetItem("Body", &rich), LNNOERROR);
    LNString text;
    rich.GetText(&text);
    EXPECT_EQ(text, "München");
    LNText city, cities;
    ASSERT_EQ(document.GetItem("City", &city), LNNOERROR);
    EXPECT_EQ(city[0], "Düsseldorf");
    ASSERT_EQ(document.GetItem("Cities", &cities), LNNOERROR);
    ASSERT_EQ(cities.GetCount(), 2);
    EXPECT_EQ(cities[0], "€a");
    EXPECT_EQ(cities[1], "Kölnü");
    LNNoteArray found;
    EXPECT_EQ(database.Search("City = \"Düsseldorf\"", &found), LNNOERROR) << "the index holds the decoded text";
    EXPECT_EQ(found.GetCount(), 1);
}

TEST_F(RichTextDocumentTest, EmbeddedObjects) {
    LNDocument document = Open(
        "<item name='Body'><richtext><par>Sheet:</par><par><objectref name='EXT12345' class='Excel.Sheet.8'/></par>"
        "</richtext></item>");
    EXPECT_TRUE(document.HasOLEObjects());
    LNDocument plain = Open("<item name='Body'><richtext><par>no objects</par></richtext></item>");
    EXPECT_FALSE(plain.HasOLEObjects());
}

// Notes bitmap records: an LSIG record of a signature and its body.
std::string LongRecord(std::uint8_t signature, const std::string& body) {
    std::string record = Bytes({signature, 0});
    PutDword(record, static_cast<std::uint32_t>(body.size() + 6));
    record += body;
    if (record.size() & 1) record.push_back('\0');
    return record;
}

std::string BitmapHeader(int width, int height, int bitsPerPixel, int colours, int patterns) {
    std::string body(16, '\0');
    PutWord(body, static_cast<std::uint16_t>(width));
    PutWord(body, static_cast<std::uint16_t>(height));
    PutWord(body, static_cast<std::uint16_t>(bitsPerPixel));
    PutWord(body, bitsPerPixel == 16 ? 3 : 1);
    PutWord(body, bitsPerPixel == 16 ? 5 : bitsPerPixel);
    PutWord(body, 1);
    PutWord(body, static_cast<std::uint16_t>(colours));
    PutWord(body, static_cast<std::uint16_t>(patterns));
    return LongRecord(0x95, body);
}

std::string BitmapSegment(int lines, const std::string& data) {
    std::string body(8, '\0');
    PutWord(body, static_cast<std::uint16_t>(lines));
    PutWord(body, static_cast<std::uint16_t>(data.size()));
    return LongRecord(0x96, body + data);
}

std::array<int, 3> PixelAt(const render::Bitmap& bitmap, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* p = bitmap.Row(y) + x * 4;
    return {p[0], p[1], p[2]};
}

TEST(NotesBitmaps, RunsRawPelsPatternsAndDepths) {
    using Px = std::array<int, 3>;
    render::Bitmap bitmap;
    // 8 bits: a colour table; a raw line, a repeated line.
    std::string colourTable = LongRecord(0x97, Bytes({255, 0, 0, 0, 255, 0, 0, 0, 255}));
    std::string eight = BitmapHeader(3, 2, 8, 3, 0) + colourTable +
                        BitmapSegment(2, Bytes({0x03, 0, 1, 2, 0xC3, 2}));
    ASSERT_EQ(DecodeNotesBitmap(eight, bitmap), render::ImageStatus::Ok);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Px{255, 0, 0}));
    EXPECT_EQ(PixelAt(bitmap, 2, 0), (Px{0, 0, 255}));
    EXPECT_EQ(PixelAt(bitmap, 1, 1), (Px{0, 0, 255}));

    // 1 bit: ten pixels are two bytes; set bits white.
    ASSERT_EQ(DecodeNotesBitmap(BitmapHeader(10, 1, 1, 0, 0) + BitmapSegment(1, Bytes({0x02, 0xFF, 0x00})), bitmap),
              render::ImageStatus::Ok);
    EXPECT_EQ(PixelAt(bitmap, 7, 0), (Px{255, 255, 255}));
    EXPECT_EQ(PixelAt(bitmap, 9, 0), (Px{0, 0, 0}));

    // 16 bits: a 14-bit repeat count of 0RRRRRGGGGGBBBBB words.
    ASSERT_EQ(DecodeNotesBitmap(BitmapHeader(2, 1, 16, 0, 0) + BitmapSegment(1, Bytes({0x80, 0x02, 0x00, 0x7C})),
                                bitmap),
              render::ImageStatus::Ok);
    EXPECT_EQ(PixelAt(bitmap, 1, 0), (Px{255, 0, 0}));

    // A pattern of eight colour indexes; no colour table: the standard colours.
    std::string pattern = Bytes({9, 12, 9, 12, 9, 12, 9, 12}) + std::string(16, '\0');
    ASSERT_EQ(DecodeNotesBitmap(BitmapHeader(8, 1, 8, 0, 1) + LongRecord(0x98, pattern) +
                                    BitmapSegment(1, Bytes({0x40, 0x01, 0x00})),
                                bitmap),
              render::ImageStatus::Ok);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), (Px{255, 0, 0}));
    EXPECT_EQ(PixelAt(bitmap, 1, 0), (Px{0, 0, 255}));

    // Damage: lines missing, no header, an unsupported depth, a cut run.
    EXPECT_EQ(DecodeNotesBitmap(BitmapHeader(3, 3, 8, 0, 0) + BitmapSegment(1, Bytes({0xC3, 1})), bitmap),
              render::ImageStatus::Truncated);
    EXPECT_EQ(DecodeNotesBitmap(Bytes({0, 1, 2, 3}), bitmap), render::ImageStatus::Corrupt);
    EXPECT_EQ(DecodeNotesBitmap(BitmapHeader(3, 3, 4, 0, 0), bitmap), render::ImageStatus::Unsupported);
    EXPECT_EQ(DecodeNotesBitmap(BitmapHeader(3, 1, 8, 0, 0) + BitmapSegment(1, Bytes({0x83})), bitmap),
              render::ImageStatus::Truncated);
}

// A picture stored as a Notes bitmap, in raw rich text and in DXL, exports
// to TIFF and shows in the RTF; one that cannot be decoded gives a status.
TEST_F(RichTextDocumentTest, NotesBitmapPictures) {
    const std::string bitmap = BitmapHeader(3, 2, 8, 0, 0) + BitmapSegment(2, Bytes({0xC3, 9, 0xC3, 12}));
    std::string graphic = Bytes({0x99, 0});
    PutDword(graphic, 6 + 18);
    graphic += std::string(18, '\0');
    CdRecordWriter before;
    before.Paragraph();
    before.Text(FontId{}, "see");
    const std::string raw = before.Take() + graphic + bitmap;
    LNDocument document = Open(
        "<item name='Body'><rawitemdata type='1'>" + EncodeBase64(raw) + "</rawitemdata></item>"
        "<item name='Other'><richtext><par><picture width='3px' height='2px'><notesbitmap>" + EncodeBase64(bitmap) +
        "</notesbitmap></picture></par><par><picture width='4px' height='4px'><notesbitmap>AAECAw==</notesbitmap>"
        "</picture></par></richtext></item>");
    for (const char* item : {"Body", "Other"}) {
        SCOPED_TRACE(item);
        LNRichText body;
        ASSERT_EQ(document.GetItem(item, &body), LNNOERROR);
        LNRTCursor cursor;
        body.GetCursor(&cursor);
        LNGraphic found;
        ASSERT_EQ(cursor.GotoFirst(LNRTTYPE_GRAPHIC, &found), LNNOERROR);
        EXPECT_EQ(found.GetImageType(), IMAGETYPE_NOTES_BITMAP);
        EXPECT_EQ(found.GetWidth(), 3);
        LNRTCursor end = cursor;
        end += 1;
        const std::string tif = dir.File(std::string(item) + ".tif");
        ASSERT_EQ(body.Export(tif, cursor, end), LNNOERROR);
        std::unique_ptr<TIFF, void (*)(TIFF*)> written(TIFFOpen(tif.c_str(), "r"), TIFFClose);
        ASSERT_TRUE(written);
        std::uint32_t width = 0, height = 0;
        TIFFGetField(written.get(), TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(written.get(), TIFFTAG_IMAGELENGTH, &height);
        EXPECT_EQ(width, 3u);
        EXPECT_EQ(height, 2u);
        LNRTCursor start, last;
        body.GetCursor(&start);
        body.GetEndCursor(&last);
        const std::string rtf = dir.File(std::string(item) + ".rtf");
        ASSERT_EQ(body.Export(rtf, start, last), LNNOERROR);
        EXPECT_NE(ReadFile(rtf).find("\\pngblip"), std::string::npos);
    }
    LNRichText other;
    ASSERT_EQ(document.GetItem("Other", &other), LNNOERROR);
    LNRTCursor cursor;
    other.GetCursor(&cursor);
    ASSERT_EQ(cursor.GotoFirst(LNRTTYPE_GRAPHIC), LNNOERROR);
    ASSERT_EQ(cursor.GotoNext(LNRTTYPE_GRAPHIC), LNNOERROR);
    LNRTCursor end = cursor;
    end += 1;
    const std::string broken = dir.File("broken.tif");
    EXPECT_EQ(other.Export(broken, cursor, end), LNERR_BAD_IMAGE);
    EXPECT_NE(LNGetErrorMessageText(LNERR_BAD_IMAGE).find("no bitmap header"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(broken));
}

}  // namespace
}  // namespace qb::test
