// "Contacts and Groups Settings" (see ContactsFormatDialog.h).

#include "ui/ContactsFormatDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace qb::ui {

ContactsFormatDialog::ContactsFormatDialog(ExportSettings& settings, QWidget* parent)
    : QDialog(parent), format(new QComboBox(this)) {
    setObjectName("contactsFormatDialog");
    setWindowTitle("Contacts and Groups Settings");
    auto* group = new QGroupBox("Contacts", this);
    auto* text = new QLabel("Please modify the Personal Address Book format if required othwerise click OK.", group);
    text->setWordWrap(true);
    format->setObjectName("contactsFormat");
    format->addItems({"Personal Address Book (Standard)", "Mailbox (iNotes)"});
    format->setCurrentIndex(settings.ContactsFormat == 1 ? 1 : 0);
    connect(format, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [&settings](int index) { settings.ContactsFormat = index == 1 ? 1 : 0; });
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(text);
    groupLayout->addWidget(format);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

}  // namespace qb::ui
