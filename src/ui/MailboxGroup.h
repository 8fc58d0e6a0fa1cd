#pragma once
// The "Lotus Notes mailbox (nsf file) options" group of the main window: the
// chosen mailbox (server, file name, title), "Select Mailbox", "Advanced",
// the four component check boxes and the address book with its ">" button.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "shell/settings/Component.h"

namespace qb::ui {

class MailboxGroup : public QGroupBox {
public:
    explicit MailboxGroup(QWidget* parent);

    // "<none>" for an empty text.
    void ShowMailbox(const std::string& server, const std::string& file, const std::string& title);
    void ShowAddressBook(const std::string& shown);
    // Shows the address book controls only for the standard address book,
    // enabled only while "Contacts && Groups" is ticked; ">" stays disabled
    // while the database selection is locked.
    void UpdateAddressBook(std::int32_t contactsFormat);
    QCheckBox* ComponentBox(Component component) const { return components[static_cast<int>(component)]; }
    // The ticked components as the Components setting lists them.
    std::vector<std::string> TickedComponents() const;
    void TickComponents(const std::vector<std::string>& names);

    QLabel* server;
    QLabel* fileName;
    QLabel* title;
    QPushButton* selectMailbox;
    QPushButton* advanced;
    std::array<QCheckBox*, 4> components;  // Mail, Calendar, Tasks, Contacts && Groups
    QLabel* addressBookCaption;
    QLabel* addressBook;
    QPushButton* chooseAddressBook;
    bool selectionLocked = false;  // LockDbSelection: "Select Mailbox" and ">"
};

}  // namespace qb::ui
