#pragma once

// How engines without widgets talk to the user: a message with an icon and a set of buttons,
// answered with the button pressed. The main window implements it with message boxes; tests
// implement it with a fake that records what was asked.
//
// Threads: the user-interface thread only.

#include <QString>

namespace mireldo {

enum class MessageIcon {
    None,
    Stop, ///< a failure that ended an operation (the "stop" or "error" sign)
    Question,
    Exclamation, ///< a warning
    Information,
};

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };

/// The button that closed a message, numbered as the platform's message boxes number them.
enum class MessageAnswer { Ok = 1, Cancel = 2, Retry = 4, Yes = 6, No = 7 };

class UserMessages {
  public:
    virtual ~UserMessages() = default;

    /// Shows `text` and waits for the user's answer.
    virtual MessageAnswer showMessage(const QString& text, MessageIcon icon,
                                      MessageButtons buttons) = 0;

    /// Shows the string-table text `stringId`.
    MessageAnswer showString(int stringId, MessageIcon icon,
                             MessageButtons buttons = MessageButtons::Ok);
};

} // namespace mireldo
