#pragma once

// Message boxes of the application: the caption is the program's name, the icon and the
// buttons those the caller names, the first button the default one (Cancel, where offered,
// also answers Esc).
//
// Threads: the user-interface thread only.

#include "user_messages.h"

#include <QPointer>

#include <memory>

class QMessageBox;
class QWidget;

namespace mireldo {

/// A message box set up for `text`, `icon` and `buttons`, not yet shown.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                                            MessageButtons buttons);

/// The answer that a button of a box made by makeMessageBox() stands for.
MessageAnswer answerFor(const QMessageBox& box, int standardButton);

/// UserMessages shown as modal message boxes over a window.
class WidgetMessages final : public UserMessages {
  public:
    explicit WidgetMessages(QWidget* parent) : parent_(parent) {}
    MessageAnswer showMessage(const QString& text, MessageIcon icon,
                              MessageButtons buttons) override;

  private:
    QPointer<QWidget> parent_;
};

} // namespace mireldo
