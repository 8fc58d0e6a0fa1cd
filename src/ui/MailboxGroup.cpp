// The mailbox group of the main window (see MailboxGroup.h).

#include "ui/MailboxGroup.h"

#include <QGridLayout>
#include <QHBoxLayout>

#include "ui/WindowThread.h"

namespace qb::ui {
namespace {

QString OrNone(const std::string& text) { return text.empty() ? QString("<none>") : Q(text); }

QLabel* Value(QWidget* parent, const char* name) {
    auto* label = new QLabel("<none>", parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

MailboxGroup::MailboxGroup(QWidget* parent)
    : QGroupBox("Lotus Notes mailbox (nsf file) options", parent),
      server(Value(this, "server")),
      fileName(Value(this, "fileName")),
      title(Value(this, "title")),
      selectMailbox(new QPushButton("Select Mailbox", this)),
      advanced(new QPushButton("Advanced", this)),
      addressBookCaption(new QLabel("Address Book:", this)),
      addressBook(Value(this, "addressBook")),
      chooseAddressBook(new QPushButton(">", this)) {
    selectMailbox->setObjectName("selectMailbox");
    advanced->setObjectName("advanced");
    chooseAddressBook->setObjectName("chooseAddressBook");
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("Server:", this), 0, 0);
    layout->addWidget(server, 0, 1);
    layout->addWidget(selectMailbox, 0, 2);
    layout->addWidget(new QLabel("Filename:", this), 1, 0);
    layout->addWidget(fileName, 1, 1);
    layout->addWidget(advanced, 1, 2);
    layout->addWidget(new QLabel("Title:", this), 2, 0);
    layout->addWidget(title, 2, 1, 1, 2);
    auto* boxes = new QHBoxLayout;
    for (Component c : kAllComponents) {
        auto* box = new QCheckBox(Q(ComponentCaption(c)), this);
        box->setObjectName(Q(ComponentName(c)));
        components[static_cast<int>(c)] = box;
        boxes->addWidget(box);
    }
    layout->addWidget(new QLabel("Components:", this), 3, 0);
    layout->addLayout(boxes, 3, 1, 1, 2);
    chooseAddressBook->setMaximumWidth(30);
    layout->addWidget(addressBookCaption, 4, 0);
    layout->addWidget(addressBook, 4, 1);
    layout->addWidget(chooseAddressBook, 4, 2);
    layout->setColumnStretch(1, 1);
}

void MailboxGroup::ShowMailbox(const std::string& serverText, const std::string& file, const std::string& titleText) {
    server->setText(OrNone(serverText));
    fileName->setText(OrNone(file));
    title->setText(titleText.empty() ? QString() : Q(titleText));
}

void MailboxGroup::ShowAddressBook(const std::string& shown) { addressBook->setText(OrNone(shown)); }

void MailboxGroup::UpdateAddressBook(std::int32_t contactsFormat) {
    const bool standard = contactsFormat != 1;
    const bool ticked = ComponentBox(Component::Contacts)->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{addressBookCaption, addressBook, chooseAddressBook}) {
        w->setVisible(standard);
        w->setEnabled(ticked);
    }
    chooseAddressBook->setEnabled(ticked && !selectionLocked);
}

std::vector<std::string> MailboxGroup::TickedComponents() const {
    std::vector<std::string> names;
    for (Component c : kAllComponents)
        if (ComponentBox(c)->isChecked()) names.emplace_back(ComponentName(c));
    return names;
}

void MailboxGroup::TickComponents(const std::vector<std::string>& names) {
    for (Component c : kAllComponents) ComponentBox(c)->setChecked(IsComponentSelected(names, c));
}

}  // namespace qb::ui
