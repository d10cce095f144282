#pragma once
// Message boxes that ask a known question, so that a batch front end can
// answer them from its options. A user interface that answers them
// implements ButtonQuestionAnswerer too; any other shows a plain message.

#include <string>

#include "base/user_interface.h"

namespace gorvale {

enum class ButtonQuestion { ElevationLimit };

class ButtonQuestionAnswerer {
public:
    virtual ~ButtonQuestionAnswerer() = default;
    virtual Answer question(ButtonQuestion id, const std::string& text, const std::string& caption, MessageKind kind,
                            Buttons buttons) = 0;
};

inline Answer AskButtonQuestion(UserInterface& ui, ButtonQuestion id, const std::string& text,
                                const std::string& caption, MessageKind kind, Buttons buttons) {
    if (auto* answerer = dynamic_cast<ButtonQuestionAnswerer*>(&ui))
        return answerer->question(id, text, caption, kind, buttons);
    return ui.message(text, caption, kind, buttons);
}

}  // namespace gorvale
