#pragma once
// One Notes group document into one Outlook distribution list of the
// contacts folder: its name and every member through address translation,
// so that members become one-off SMTP entries. A failure ends that document
// only.

#include <cstdint>

#include "convert/ContactConverter.h"
#include "outlook/DistListRecord.h"

namespace qb {

// The name of a list whose group has none.
inline constexpr const char* kInvalidGroupName = "invalid_group_name";

class GroupConverter : public DocumentConverter {
public:
    explicit GroupConverter(AddressBookContext context) : context_(std::move(context)) {}

    // True when the list was saved.
    bool Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) override;

    std::int32_t stepCode() const { return step_; }

protected:
    virtual HRESULT SaveDistList(DistListRecord& record) { return record.SaveDistList(0); }

private:
    bool ConvertSteps(const FolderHandle& folder, LNDocument& document);
    void Step(std::int32_t value) { step_ = value; }

    AddressBookContext context_;
    std::int32_t step_ = 0;
};

}  // namespace qb
