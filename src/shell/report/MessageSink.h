#pragma once
// Message boxes as the core asks for them; shown by the user-facing layer.

#include <string_view>

namespace qb {

enum class MessageIcon { None, Error, Warning, Information, Question, Exclamation };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MessageResult ShowMessage(std::string_view text, std::string_view title, MessageIcon icon,
                                      MessageButtons buttons = MessageButtons::Ok) = 0;
};

}  // namespace qb
