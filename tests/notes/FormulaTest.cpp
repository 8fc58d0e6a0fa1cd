#include <gtest/gtest.h>

#include <string>

#include "notes/api/LNFormula.h"
#include "notes/api/formula/FormulaStatus.h"
#include "notes/api/formula/MapFormulaDocument.h"
#include "notes/api/formula/NotesCollation.h"

using namespace qb::notes;

namespace {

constexpr const char* kCalendarFormula = R"(Form = "Appointment" & @IsAvailable(CalendarDateTime))";
constexpr const char* kTaskFormula =
    R"(Form = "Task" & !(ExcludeFromView = "T") & !(@IsAvailable(OrgRepeat) & !@IsResponseDoc))";
constexpr const char* kContactFormula = R"(Form = "Contact":"Person")";
constexpr const char* kGroupFormula = R"(Form = "Group")";

MapFormulaDocument WithForm(const std::string& form) {
    MapFormulaDocument doc;
    doc.SetText("Form", form);
    return doc;
}

bool Selects(const std::string& text, const FormulaDocument& doc) {
    LNFormula formula;
    EXPECT_EQ(formula.SetText(text), 0u) << formula.GetErrorText();
    return formula.Selects(doc);
}

bool Eval(const std::string& text) { return Selects(text, MapFormulaDocument()); }

LNSTATUS CompileStatus(const std::string& text, std::string* errorText = nullptr) {
    LNFormula formula;
    const LNSTATUS status = formula.SetText(text);
    if (errorText) *errorText = formula.GetErrorText();
    EXPECT_EQ(status != 0, !formula.IsCompiled());
    return status;
}

}  // namespace

TEST(FormulaComponents, CalendarNeedsAppointmentFormAndCalendarDateTime) {
    MapFormulaDocument doc = WithForm("Appointment");
    EXPECT_FALSE(Selects(kCalendarFormula, doc));
    doc.Set("CalendarDateTime", FormulaValue::Datetime({123}));
    EXPECT_TRUE(Selects(kCalendarFormula, doc));
    doc.SetText("calendardatetime", "");  // present though empty still counts as available
    EXPECT_TRUE(Selects(kCalendarFormula, doc));
    doc.SetText("Form", "Memo");
    EXPECT_FALSE(Selects(kCalendarFormula, doc));
    doc.SetText("Form", "appointment");  // = ignores case
    EXPECT_TRUE(Selects(kCalendarFormula, doc));
}

TEST(FormulaComponents, TaskExcludesHiddenAndRepeatParents) {
    MapFormulaDocument task = WithForm("Task");
    EXPECT_TRUE(Selects(kTaskFormula, task));
    task.SetText("ExcludeFromView", "T");
    EXPECT_FALSE(Selects(kTaskFormula, task));
    task.Set("ExcludeFromView", FormulaValue::TextList({"D", "T"}));
    EXPECT_FALSE(Selects(kTaskFormula, task));
    task.SetText("ExcludeFromView", "D");
    EXPECT_TRUE(Selects(kTaskFormula, task));

    task.Remove("ExcludeFromView");
    task.Set("OrgRepeat", FormulaValue::Text("1"));
    EXPECT_FALSE(Selects(kTaskFormula, task)) << "a repeating task's parent is not exported";
    task.SetResponse(true);
    EXPECT_TRUE(Selects(kTaskFormula, task)) << "its response documents are";
    EXPECT_FALSE(Selects(kTaskFormula, WithForm("Appointment")));
}

TEST(FormulaComponents, ContactsAcceptContactOrPersonAndGroupsOnlyGroup) {
    EXPECT_TRUE(Selects(kContactFormula, WithForm("Contact")));
    EXPECT_TRUE(Selects(kContactFormula, WithForm("Person")));
    EXPECT_FALSE(Selects(kContactFormula, WithForm("Group")));
    EXPECT_FALSE(Selects(kContactFormula, MapFormulaDocument()));
    EXPECT_TRUE(Selects(kGroupFormula, WithForm("Group")));
    EXPECT_FALSE(Selects(kGroupFormula, WithForm("Person")));
    MapFormulaDocument multi;
    multi.Set("Form", FormulaValue::TextList({"Memo", "Person"}));
    EXPECT_TRUE(Selects(kContactFormula, multi));
}

TEST(FormulaComponents, AllAndSelectKeyword) {
    EXPECT_TRUE(Eval("@All"));
    EXPECT_TRUE(Eval("SELECT @All"));
    EXPECT_TRUE(Eval("select @all;"));
    EXPECT_TRUE(Selects(R"(SELECT form = "Memo" | Form = "Reply")", WithForm("Reply")));
    EXPECT_TRUE(Eval("@true") && !Eval("@False") && Eval("@All()"));
}

TEST(FormulaLists, PairWiseComparisonRepeatsTheShorterListsLastElement) {
    EXPECT_FALSE(Eval(R"("A":"B":"C" = "B":"C":"A")"));
    EXPECT_TRUE(Eval(R"("A":"B":"C" = "B":"C")"));
    EXPECT_TRUE(Eval(R"("B":"B":"C" = "B":"C")"));
    EXPECT_FALSE(Eval("1:2:3 = 2:3:1"));
    EXPECT_TRUE(Eval("2:3:3 = 2:3"));
    EXPECT_FALSE(Eval("2:3:3 = 3:1"));
}

TEST(FormulaLists, PermutedComparisonPairsEveryElement) {
    EXPECT_TRUE(Eval(R"("A":"B":"C" *= "B":"C":"A")"));
    EXPECT_FALSE(Eval(R"("B":"B":"C" *= "D":"E")"));
    EXPECT_TRUE(Eval("1:2:3 *= 2:3:1"));
    EXPECT_FALSE(Eval("1:2:3 *= 4:5"));
    EXPECT_TRUE(Eval("1:5 *> 4"));
}

TEST(FormulaLists, EqualAndNotEqualCanBothHold) {
    EXPECT_TRUE(Eval(R"("a":"b" = "a")"));
    EXPECT_TRUE(Eval(R"("a":"b" != "a")"));
    EXPECT_FALSE(Eval(R"("a":"a" != "A")"));
    EXPECT_TRUE(Eval(R"("x" <> "y")") && Eval(R"("x" >< "y")") && Eval(R"("x" =! "y")"));
}

TEST(FormulaText, ComparisonIgnoresCaseAndFollowsNotesOrder) {
    EXPECT_TRUE(Eval(R"("Appointment" = "APPOINTMENT")"));
    EXPECT_TRUE(Eval(R"("new york" < "New Boston")") == false);
    EXPECT_TRUE(Eval(R"("apple" < "Banana")"));
    EXPECT_TRUE(Eval(R"("9" < "a")"));
    EXPECT_TRUE(Eval(R"("-" < "0")") && Eval(R"("'" < "-")"));
    EXPECT_TRUE(Eval(R"("z" < "#")"));
    EXPECT_TRUE(Eval(R"("ab" > "a")") && Eval(R"("a" >= "A")") && Eval(R"("A" <= "a")"));
    EXPECT_EQ(CompareNotesText("Ärger", "ärger"), 0);
    EXPECT_LT(CompareNotesText("zebra", "Äpfel"), 0);
    EXPECT_NE(CompareNotesText("a\xff", "a\xfe"), 0);  // invalid UTF-8 still orders
}

TEST(FormulaText, MembershipAndSubstringFunctionsRespectCase) {
    EXPECT_TRUE(Eval(R"(@IsMember("computer"; "printer":"computer":"monitor"))"));
    EXPECT_FALSE(Eval(R"(@IsMember("computer":"Notes"; "Notes":"printer"))"));
    EXPECT_FALSE(Eval(R"(@IsMember("Computer"; "computer"))"));
    EXPECT_TRUE(Eval(R"(@IsNotMember("Computer"; "computer"))"));
    EXPECT_FALSE(Eval(R"(@IsNotMember("a":"x"; "x":"y"))"));
    EXPECT_TRUE(Eval(R"(@Contains("Meeting notes"; "note"))"));
    EXPECT_FALSE(Eval(R"(@Contains("Meeting notes"; "Note"))"));
    EXPECT_TRUE(Eval(R"(@Contains("abc":"xyz"; "q":"y"))"));
    EXPECT_TRUE(Eval(R"f(@Begins("($Inbox)"; "($"))f") && !Eval(R"(@Begins("a"; "ab"))"));
    EXPECT_TRUE(Eval(R"(@Ends("report.exe"; ".exe"))") && !Eval(R"(@Ends("e"; ".exe"))"));
    EXPECT_TRUE(Eval(R"(@LowerCase("ÄBC") = "äbc" & @UpperCase("x":"y") = "Y")"));
    EXPECT_TRUE(Eval(R"(@IsMember("äbc"; @LowerCase("ÄBC")))"));
}

TEST(FormulaItems, NamesIgnoreCaseAndMissingItemsReadAsEmptyText) {
    MapFormulaDocument doc;
    doc.SetText("Subject", "Hello");
    EXPECT_TRUE(Selects(R"(SUBJECT = "hello")", doc));
    EXPECT_TRUE(Selects(R"(Missing = "")", doc));
    EXPECT_TRUE(Selects("@IsUnavailable(Missing) & @IsAvailable(subject)", doc));
    EXPECT_TRUE(Selects(R"(!Subject = "x")", doc)) << "! binds looser than =";
    EXPECT_TRUE(Selects(R"(@IsAvailable($FolderRefs) | !@IsAvailable($FolderRefs))", doc));
    doc.Set("Count", FormulaValue::NumberList({1, 5}));
    EXPECT_TRUE(Selects("Count = 5 & Count > 4 & Count < 2 & -Count = -1", doc));
}

TEST(FormulaTypes, MismatchedTypesFailTheNoteInsteadOfMatching) {
    MapFormulaDocument doc;
    doc.Set("Priority", FormulaValue::Number(2));
    doc.Set("Due", FormulaValue::Datetime({500}));
    LNFormula formula;
    ASSERT_EQ(formula.SetText(R"(Priority = "2")"), 0u);
    const FormulaResult result = formula.Evaluate(doc);
    EXPECT_EQ(result.status, kFormulaErrDataType);
    EXPECT_EQ(result.errorText, "Incorrect data type for operator or @Function: Number expected");
    EXPECT_FALSE(result.IsTrue());
    // A type error in any operand fails the note, whatever the order.
    EXPECT_FALSE(Selects(R"(@True | Priority = "2")", doc));
    EXPECT_FALSE(Selects(R"(Priority != "2")", doc));
    EXPECT_FALSE(Selects(R"(!(Priority = "x"))", doc));
    EXPECT_FALSE(Selects(R"(@Contains(Priority; "2"))", doc));
    EXPECT_FALSE(Selects(R"("a" & @True)", doc));
    EXPECT_FALSE(Selects(R"(Due = 500)", doc));
    EXPECT_TRUE(Selects(R"(Due = Due & Due *>= Due)", doc));
    EXPECT_FALSE(Selects(R"(Form)", WithForm("x"))) << "a text result selects nothing";
    EXPECT_FALSE(Selects(R"(Priority : "x" = "x")", doc));
    EXPECT_FALSE(Selects(R"(Due < "")", doc)) << "only = and != accept the empty text";
}

TEST(FormulaTypes, EmptyTextTestsForNoValueWhateverTheType) {
    MapFormulaDocument sent;
    sent.Set("PostedDate", FormulaValue::Datetime({100}));
    const char* sentView = R"(SELECT DeliveredDate = "" & PostedDate != "")";
    EXPECT_TRUE(Selects(sentView, sent));
    sent.Set("DeliveredDate", FormulaValue::Datetime({200}));
    EXPECT_FALSE(Selects(sentView, sent));
    sent.SetText("DeliveredDate", "");  // a blank date field is stored as empty text
    EXPECT_TRUE(Selects(sentView, sent));
    sent.Set("Size", FormulaValue::NumberList({0, 1}));
    EXPECT_TRUE(Selects(R"("" != Size & !(Size = ""))", sent));
}

TEST(FormulaErrors, UnsupportedLanguageIsRefusedWithPosition) {
    std::string text;
    EXPECT_EQ(CompileStatus("@Now > 1", &text), kFormulaErrUnknownFunction);
    EXPECT_EQ(text, "Unknown or unsupported @Function: @Now (line 1, column 1)");
    EXPECT_EQ(CompileStatus("Form = \"Memo\" &\n  @Foo(Bar)", &text), kFormulaErrUnknownFunction);
    EXPECT_NE(text.find("line 2, column 3"), std::string::npos) << text;
    EXPECT_EQ(CompileStatus("x := 1"), kFormulaErrUnsupported);
    EXPECT_EQ(CompileStatus("a + b = 1"), kFormulaErrUnsupported);
    EXPECT_EQ(CompileStatus("FIELD x := 1"), kFormulaErrUnsupported);
    EXPECT_EQ(CompileStatus("[1/1/90] = x"), kFormulaErrUnsupported);
    EXPECT_EQ(CompileStatus("SELECT @All; @True"), kFormulaErrUnsupported);
    EXPECT_EQ(CompileStatus("\"abc"), kFormulaErrUnterminatedString);
    EXPECT_EQ(CompileStatus("{abc"), kFormulaErrUnterminatedString);
    EXPECT_EQ(CompileStatus(""), kFormulaErrEmpty);
    EXPECT_EQ(CompileStatus("   SELECT "), kFormulaErrSyntax);
    EXPECT_EQ(CompileStatus("Form = "), kFormulaErrSyntax);
    EXPECT_EQ(CompileStatus("(Form = \"a\""), kFormulaErrSyntax);
    EXPECT_EQ(CompileStatus("Form = \"a\")"), kFormulaErrSyntax);
    EXPECT_EQ(CompileStatus("Form \"a\""), kFormulaErrSyntax);
    EXPECT_EQ(CompileStatus("a # b"), kFormulaErrSyntax);
    EXPECT_EQ(CompileStatus("@IsMember(\"a\")"), kFormulaErrArgumentCount);
    EXPECT_EQ(CompileStatus("@All(1)"), kFormulaErrArgumentCount);
    EXPECT_EQ(CompileStatus("@IsAvailable(\"Form\")"), kFormulaErrSyntax);
    EXPECT_EQ(CompileStatus("\"a\" : 1"), kFormulaErrDataType);
    EXPECT_EQ(CompileStatus("1e999 = 1"), kFormulaErrSyntax);
    EXPECT_EQ(CompileStatus(std::string(500, '(') + "1" + std::string(500, ')')), kFormulaErrTooComplex);
    EXPECT_EQ(CompileStatus(std::string(500, '!') + "1"), kFormulaErrTooComplex);
    std::string chain = "@True";
    for (int i = 0; i < 5000; ++i) chain += " & @True";
    EXPECT_EQ(CompileStatus(chain), 0u) << "a long run of one operator is not nesting";
}

TEST(FormulaErrors, LNFormulaStatesAndLiterals) {
    LNFormula formula;
    EXPECT_FALSE(formula.IsCompiled());
    EXPECT_EQ(formula.GetCompileStatus(), kFormulaErrNotCompiled);
    EXPECT_EQ(formula.Evaluate(MapFormulaDocument()).status, kFormulaErrNotCompiled);
    EXPECT_EQ(formula.SetText("@Bogus"), kFormulaErrUnknownFunction);
    EXPECT_FALSE(formula.Selects(MapFormulaDocument()));
    EXPECT_EQ(formula.SetText(R"("say \"hi\"" = {say "hi"})"), 0u);
    EXPECT_TRUE(formula.Selects(MapFormulaDocument()));
    EXPECT_EQ(formula.GetText(), R"("say \"hi\"" = {say "hi"})");
    EXPECT_TRUE(formula.GetErrorText().empty());
    EXPECT_EQ(formula.Init(), 0u);
    EXPECT_FALSE(formula.IsCompiled());
    EXPECT_TRUE(Eval("1.5e1 = 15 & .5 = 0.5 & -1 < 0"));
    EXPECT_STREQ(FormulaStatusText(kFormulaErrDataType), "Incorrect data type for operator or @Function");
}
