#pragma once
// "Contacts and Groups Settings": where the contacts are kept, asked when
// "Contacts && Groups" is ticked. Choosing an entry sets ContactsFormat at
// once (0: the personal address book, 1: the mailbox); OK only closes.

#include <QDialog>

#include "shell/settings/ExportSettings.h"

class QComboBox;

namespace qb::ui {

class ContactsFormatDialog : public QDialog {
public:
    ContactsFormatDialog(ExportSettings& settings, QWidget* parent);

    QComboBox* format;
};

}  // namespace qb::ui
