#pragma once
// The core's message boxes as Qt message boxes, from any thread: a call
// from the export worker waits until the user has answered on the window's
// thread.

#include <QWidget>

#include "shell/report/MessageSink.h"

namespace qb::ui {

class WindowMessages : public MessageSink {
public:
    explicit WindowMessages(QWidget* window) : window_(window) {}
    MessageResult ShowMessage(std::string_view text, std::string_view title, MessageIcon icon,
                              MessageButtons buttons = MessageButtons::Ok) override;

private:
    QWidget* window_;
};

}  // namespace qb::ui
