#pragma once
// A message sink that keeps every box as "Title: text", with its buttons,
// and answers OK: the tests read what the user would have been shown.

#include <string>
#include <string_view>
#include <vector>

#include "shell/report/MessageSink.h"

namespace qb::test {

struct RecordedMessages : MessageSink {
    std::vector<std::string> shown;
    std::vector<MessageButtons> buttons;
    MessageResult ShowMessage(std::string_view text, std::string_view title, MessageIcon,
                              MessageButtons b) override {
        shown.push_back(std::string(title) + ": " + std::string(text));
        buttons.push_back(b);
        return MessageResult::Ok;
    }
};

}  // namespace qb::test
