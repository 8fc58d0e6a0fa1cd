// Message boxes for the core (see WindowMessages.h).

#include "ui/WindowMessages.h"

#include <QMessageBox>

#include "ui/WindowThread.h"

namespace qb::ui {
namespace {

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error: return QMessageBox::Critical;
        case MessageIcon::Warning:
        case MessageIcon::Exclamation: return QMessageBox::Warning;
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Question: return QMessageBox::Question;
        case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MessageButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

MessageResult FromQt(int answer) {
    switch (answer) {
        case QMessageBox::Ok: return MessageResult::Ok;
        case QMessageBox::Yes: return MessageResult::Yes;
        case QMessageBox::No: return MessageResult::No;
        default: return MessageResult::Cancel;
    }
}

}  // namespace

MessageResult WindowMessages::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon,
                                          MessageButtons buttons) {
    int answer = QMessageBox::Cancel;
    const QString qtText = Q(text);
    const QString qtTitle = Q(title);
    CallOnWindowThread(window_, [&] {
        QMessageBox box(ToQt(icon), qtTitle, qtText, ToQt(buttons), window_);
        answer = box.exec();
    });
    return FromQt(answer);
}

}  // namespace qb::ui
