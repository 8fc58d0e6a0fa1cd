#include "notes/sample/SampleDocument.h"

#include "text/TextCase.h"

namespace qb::notes::sample {
namespace {

bool SameName(const std::string& a, const std::string& b) { return text::EqualsIgnoreCase(a, b); }

std::string PlainText(const std::vector<RichParagraph>& paragraphs) {
    std::string text;
    for (const RichParagraph& paragraph : paragraphs) {
        if (!text.empty()) text += '\n';
        for (const RichRun& run : paragraph.runs)
            if (run.kind == RichRun::Kind::Text) text += run.text;
    }
    return text;
}

FormulaValue ValueOf(const SampleItem& item) {
    switch (item.kind) {
    case ItemKind::Text:
    case ItemKind::TextList: return FormulaValue::TextList(item.texts);
    case ItemKind::Number: return FormulaValue::NumberList(item.numbers);
    case ItemKind::Datetime: {
        std::vector<FormulaDatetime> times;
        for (const SampleTime& time : item.times) times.push_back(time.ForFormula());
        return FormulaValue::DatetimeList(std::move(times));
    }
    case ItemKind::RichText: return FormulaValue::Text(PlainText(item.paragraphs));
    case ItemKind::Rfc822Text: return FormulaValue::Text(item.texts.empty() ? "" : item.texts[0]);
    case ItemKind::Rfc822Date: return FormulaValue::Datetime(item.times.at(0).ForFormula());
    default: return FormulaValue();
    }
}

}  // namespace

SampleItem& SampleDocument::Add(std::string name, ItemKind kind) {
    SampleItem& item = items.emplace_back();
    item.name = std::move(name);
    item.kind = kind;
    return item;
}

SampleItem& SampleDocument::AddText(std::string name, std::string value) {
    SampleItem& item = Add(std::move(name), ItemKind::Text);
    item.texts = {std::move(value)};
    item.summary = true;
    return item;
}

SampleItem& SampleDocument::AddTextList(std::string name, std::vector<std::string> values) {
    SampleItem& item = Add(std::move(name), ItemKind::TextList);
    item.texts = std::move(values);
    item.summary = true;
    return item;
}

SampleItem& SampleDocument::AddNumber(std::string name, double value) {
    SampleItem& item = Add(std::move(name), ItemKind::Number);
    item.numbers = {value};
    item.summary = true;
    return item;
}

SampleItem& SampleDocument::AddTimes(std::string name, std::vector<SampleTime> values) {
    SampleItem& item = Add(std::move(name), ItemKind::Datetime);
    item.times = std::move(values);
    item.summary = true;
    return item;
}

const SampleItem* SampleDocument::Find(const std::string& name) const {
    for (const SampleItem& item : items)
        if (SameName(item.name, name)) return &item;
    return nullptr;
}

MapFormulaDocument SampleDocument::ForFormula() const {
    MapFormulaDocument doc;
    if (!form.empty()) doc.SetText("Form", form);
    // Several items of one name (MIME parts) read as the first, as Notes does.
    for (auto it = items.rbegin(); it != items.rend(); ++it) doc.Set(it->name, ValueOf(*it));
    doc.SetResponse(Find("$REF") != nullptr);
    return doc;
}

}  // namespace qb::notes::sample
