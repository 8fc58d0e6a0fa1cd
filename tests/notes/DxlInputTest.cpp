#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "NotesTestSupport.h"
#include "notes/api/NotesFormat.h"
#include "support/ScopedEnv.h"

namespace qb::test {
namespace {

class DxlInputTest : public NotesDatabaseTest {
protected:
    std::string ErrorText(LNSTATUS status) {
        char text[512];
        LNGetErrorMessageText(status, text, sizeof text, 0);
        return text;
    }
    LNDocument FirstDocument() {
        LNNoteArray notes;
        EXPECT_EQ(database.Search("@All", &notes), LNNOERROR);
        LNDocument document = notes[0];
        EXPECT_EQ(document.Open(), LNNOERROR);
        return document;
    }
};

TEST_F(DxlInputTest, MalformedDxlGivesLineAndColumn) {
    EXPECT_EQ(OpenText("bad.dxl", "<?xml version='1.0'?>\n<database>\n<document><item name='a'><text>x</item>"),
              LNERR_BAD_DXL);
    std::string text = ErrorText(LNERR_BAD_DXL);
    EXPECT_NE(text.find("line 3, column"), std::string::npos) << text;
    EXPECT_NE(text.find("bad.dxl"), std::string::npos) << text;
}

TEST_F(DxlInputTest, TruncatedAndEmptyFilesAreBadDxl) {
    EXPECT_EQ(OpenText("cut.dxl", "<?xml version='1.0'?><database><document><item name='a'><text>x</te"), LNERR_BAD_DXL);
    EXPECT_EQ(OpenText("empty.dxl", ""), LNERR_BAD_DXL);
    EXPECT_EQ(OpenText("binary.dxl", std::string("\x01\x02\x03garbage", 10)), LNERR_BAD_DXL);
}

TEST_F(DxlInputTest, InvalidEncodingIsBadDxl) {
    EXPECT_EQ(OpenText("enc.dxl", "<?xml version='1.0' encoding='utf-8'?><database><document><item name='a'><text>\xff\xfe</text>"
                                  "</item></document></database>"),
              LNERR_BAD_DXL);
    EXPECT_EQ(OpenText("latin.dxl", "<?xml version='1.0' encoding='ISO-8859-1'?><database><document><item name='a'>"
                                    "<text>caf\xe9</text></item></document></database>"),
              LNNOERROR);
    LNDocument document = FirstDocument();
    LNText text;
    ASSERT_EQ(document.GetItem("a", &text), LNNOERROR);
    EXPECT_EQ(text[0], "caf\xc3\xa9") << "text is held as UTF-8";
}

// Entities a file declares in its internal document type are used by notes
// read alone from their byte range, as XML defines them: nested, with markup
// characters and text beyond ASCII, also in a file that is not UTF-8.
TEST_F(DxlInputTest, InternalEntitiesReachTheDocuments) {
    const std::string utf8 =
        "<?xml version='1.0'?>\n"
        "<!DOCTYPE database [\n"
        "  <!ENTITY co 'Example &#38;#38; Co'>\n"
        "  <!ENTITY greet \"Gr\xc3\xbc\xc3\x9f" "e &#x1F600; &#37; &quot;\">\n"
        "  <!ENTITY both '&co; / &greet;'>\n"
        "]>\n"
        "<database><document form='Memo'><item name='Subject'><text>&both;</text></item>"
        "<item name='From'><text>A &co; B</text></item></document></database>";
    ASSERT_EQ(OpenText("entities.dxl", utf8), LNNOERROR) << ErrorText(LNERR_BAD_DXL);
    LNDocument document = FirstDocument();
    LNText subject, from;
    ASSERT_EQ(document.GetItem("Subject", &subject), LNNOERROR);
    EXPECT_EQ(subject[0], "Example & Co / Gr\xc3\xbc\xc3\x9f" "e \xf0\x9f\x98\x80 % \"");
    ASSERT_EQ(document.GetItem("From", &from), LNNOERROR);
    EXPECT_EQ(from[0], "A Example & Co B");

    const std::string latin =
        "<?xml version='1.0' encoding='ISO-8859-1'?>\n"
        "<!DOCTYPE database [<!ENTITY cafe 'caf\xe9'>]>\n"
        "<database><document><item name='a'><text>&cafe; au lait</text></item></document></database>";
    ASSERT_EQ(OpenText("latin-entities.dxl", latin), LNNOERROR);
    LNText text;
    ASSERT_EQ(FirstDocument().GetItem("a", &text), LNNOERROR);
    EXPECT_EQ(text[0], "caf\xc3\xa9 au lait");
}

// External entities are never fetched; a document using one cannot be read
// and says why. Entity expansion stays bounded (expat's amplification limit).
TEST_F(DxlInputTest, ExternalAndExplodingEntitiesAreRefused) {
    const std::string external =
        "<?xml version='1.0'?>\n"
        "<!DOCTYPE database [<!ENTITY secret SYSTEM 'file:///etc/passwd'>]>\n"
        "<database><document><item name='a'><text>&secret;</text></item></document></database>";
    if (OpenText("external.dxl", external) == LNNOERROR) {
        LNNoteArray notes;
        ASSERT_EQ(database.Search("@All", &notes), LNNOERROR);
        ASSERT_EQ(notes.GetCount(), 1);
        LNDocument document = notes[0];
        EXPECT_EQ(document.Open(), LNERR_BAD_DXL);
        EXPECT_NE(ErrorText(LNERR_BAD_DXL).find("entity"), std::string::npos) << ErrorText(LNERR_BAD_DXL);
    }

    std::string laughs = "<?xml version='1.0'?>\n<!DOCTYPE database [<!ENTITY l0 'ha'>";
    for (int level = 1; level <= 12; ++level)
        laughs += "<!ENTITY l" + std::to_string(level) + " '" + [&] {
            std::string refs;
            for (int i = 0; i < 10; ++i) refs += "&l" + std::to_string(level - 1) + ";";
            return refs;
        }() + "'>";
    laughs += "]>\n<database><document><item name='a'><text>&l12;</text></item></document></database>";
    EXPECT_EQ(OpenText("laughs.dxl", laughs), LNERR_BAD_DXL);
}

TEST_F(DxlInputTest, NativeNsfIsRefusedWithAClearText) {
    std::filesystem::copy_file(TestDataDir() + "/nsf/jnx-knowndt.nsf", dir.File("knowndt.nsf"));
    ASSERT_EQ(session.GetDatabase("knowndt.nsf", &database), LNNOERROR);
    EXPECT_EQ(database.Open(), LNERR_NATIVE_NSF);
    EXPECT_NE(ErrorText(LNERR_NATIVE_NSF).find("export it to DXL"), std::string::npos);
}

TEST_F(DxlInputTest, MissingFile) {
    LNDatabase missing;
    ASSERT_EQ(session.GetDatabase("nothere.dxl", &missing), LNNOERROR);
    EXPECT_EQ(missing.Open(), LNERR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.IsOpen());
    LNNoteArray notes;
    EXPECT_EQ(missing.Search("@All", &notes), LNERR_DATABASE_NOT_OPEN);
}

TEST_F(DxlInputTest, DeepNestingIsRefused) {
    std::string deep = "<database><document><item name='Body'><richtext>";
    for (int i = 0; i < 5000; ++i) deep += "<section>";
    EXPECT_EQ(OpenText("deep.dxl", deep), LNERR_BAD_DXL);
    EXPECT_NE(ErrorText(LNERR_BAD_DXL).find("nested"), std::string::npos) << ErrorText(LNERR_BAD_DXL);
}

TEST_F(DxlInputTest, BadValuesNameTheItem) {
    EXPECT_EQ(OpenText("time.dxl", "<database><document><item name='When'><datetime>2009-05-12</datetime></item>"
                                   "</document></database>"),
              LNERR_BAD_DXL);
    EXPECT_NE(ErrorText(LNERR_BAD_DXL).find("When"), std::string::npos);
    EXPECT_EQ(OpenText("raw.dxl", "<database><document><item name='R'><rawitemdata type='500'>!!!</rawitemdata>"
                                  "</item></document></database>"),
              LNERR_BAD_DXL);
}

TEST_F(DxlInputTest, UnknownRawTypesAreKeptWithTheirCode) {
    ASSERT_EQ(OpenText("odd.dxl", "<database><note class='document'><item name='Odd'><rawitemdata type='7f'>AAEC"
                                  "</rawitemdata></item></note></database>"),
              LNNOERROR);
    LNDocument document = FirstDocument();
    LNItem odd;
    ASSERT_EQ(document.GetItem("Odd", &odd), LNNOERROR);
    EXPECT_EQ(odd.GetType(), 0x7F);
    EXPECT_EQ(odd.GetRawValue(), std::string("\x00\x01\x02", 3));
}

TEST_F(DxlInputTest, RawItemsDecodeFromTheirCanonicalLayout) {
    using namespace qb::notes;
    LNDatetime when;
    ASSERT_EQ(LNDatetime::FromDxlText("20090512T101530,12+02", false, &when), LNNOERROR);
    Bytes unid;
    ASSERT_TRUE(UnidFromText("0123456789ABCDEF0123456789ABCDEF", &unid));
    std::string items = "<item name='L'><rawitemdata type='501'>" + EncodeBase64(EncodeTextList({"a", "bc"})) +
                        "</rawitemdata></item><item name='N'><rawitemdata type='300'>" +
                        EncodeBase64(EncodeNumber(2.5)) + "</rawitemdata></item><item name='T'><rawitemdata type='400'>" +
                        EncodeBase64(EncodeTime(when)) + "</rawitemdata></item><item name='R'><rawitemdata type='4'>" +
                        EncodeBase64(std::string("\x01\x00", 2) + unid) + "</rawitemdata></item>";
    ASSERT_EQ(OpenText("raw.dxl", "<database><note class='document'>" + items + "</note></database>"), LNNOERROR);
    LNDocument document = FirstDocument();
    LNText list;
    ASSERT_EQ(document.GetItem("L", &list), LNNOERROR);
    EXPECT_EQ(list.GetTexts(), (std::vector<std::string>{"a", "bc"}));
    LNNumbers number;
    ASSERT_EQ(document.GetItem("N", &number), LNNOERROR);
    EXPECT_DOUBLE_EQ(number[0], 2.5);
    LNDatetimes time;
    ASSERT_EQ(document.GetItem("T", &time), LNNOERROR);
    EXPECT_EQ(time[0].GetUnixTime(), when.GetUnixTime());
    EXPECT_EQ(time[0].GetZoneOffsetMinutes(), 120);
    LNItem refs;
    ASSERT_EQ(document.GetItem("R", &refs), LNNOERROR);
    EXPECT_EQ(refs.GetValueText(), "0123456789ABCDEF0123456789ABCDEF");
    // Search sees raw summary items too.
    LNNoteArray notes;
    EXPECT_EQ(database.Search("L = \"bc\" & N > 2", &notes), LNNOERROR);
}

TEST_F(DxlInputTest, RawRichTextSample) {
    ASSERT_EQ(OpenText("rt.xml", ReadFile(TestDataDir() + "/dxl/jnx-note-rawrichtext-styledtext.xml")), LNNOERROR);
    LNDocument document = FirstDocument();
    LNRichText body;
    ASSERT_EQ(document.GetItem("Body", &body), LNNOERROR);
    LNString text;
    ASSERT_EQ(body.GetText(&text), LNNOERROR);
    EXPECT_EQ(text, "This is normal text.\n\nThis is monospace text\n\nThis is serif italic bold text");
}

struct ZoneCase {
    const char* zone;
    const char* file;
    int dateTimeHour;
    int dateTimeDay;
};

TEST_F(DxlInputTest, DatetimeSamplesGiveLocalFieldsUnderTz) {
    const ZoneCase cases[] = {
        {"Europe/Berlin", "jnx-note-datetime-CET.xml", 20, 25},
        {"America/New_York", "jnx-note-datetime-CET.xml", 14, 25},
        {"Europe/Berlin", "jnx-note-datetime-USEasternDST.xml", 18, 20},
        {"America/New_York", "jnx-note-datetime-USEasternDST.xml", 12, 20},
    };
    for (const ZoneCase& c : cases) {
        const ScopedEnv zone("TZ", c.zone);
        ASSERT_EQ(OpenText(c.file, ReadFile(TestDataDir() + "/dxl/" + c.file)), LNNOERROR);
        LNDocument document = FirstDocument();
        LNDatetimes dateTime, date, time;
        ASSERT_EQ(document.GetItem("DateTime", &dateTime), LNNOERROR);
        ASSERT_EQ(document.GetItem("Date", &date), LNNOERROR);
        ASSERT_EQ(document.GetItem("Time", &time), LNNOERROR);
        EXPECT_EQ(dateTime[0].GetHour(), c.dateTimeHour) << c.zone << " " << c.file;
        EXPECT_EQ(dateTime[0].GetDay(), c.dateTimeDay);
        EXPECT_EQ(dateTime[0].IsDSTInEffect(), c.dateTimeDay == 20) << c.zone << " " << c.file;
        EXPECT_TRUE(date[0].HasDate());
        EXPECT_FALSE(date[0].HasTime());
        EXPECT_FALSE(time[0].HasDate());
        EXPECT_TRUE(time[0].HasTime());
    }
}

TEST_F(DxlInputTest, ErrorTextFitsTheBuffer) {
    char small[8];
    EXPECT_EQ(LNGetErrorMessageText(LNERR_NATIVE_NSF, small, sizeof small, 0), 7u);
    EXPECT_EQ(std::string(small), "This is");
    EXPECT_EQ(LNGetErrorMessageText(LNWARN_NOT_FOUND), "No documents found");
}

}  // namespace
}  // namespace qb::test
