#pragma once
// Small makers of the widgets every window uses: the OK and Cancel buttons
// of a dialog, and a captioned widget with the object name tests find it by.

#include <QDialog>
#include <QDialogButtonBox>

namespace qb::ui {

inline QDialogButtonBox* OkCancelButtons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

template <class Widget>
Widget* NamedWidget(const char* caption, const char* name, QWidget* parent) {
    auto* widget = new Widget(caption, parent);
    widget->setObjectName(name);
    return widget;
}

}  // namespace qb::ui
