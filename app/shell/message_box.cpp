#include "message_box.h"

#include <QMessageBox>

namespace mireldo {

namespace {

QMessageBox::Icon qtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Stop:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text, MessageIcon icon,
                                            MessageButtons buttons) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(QStringLiteral("Mireldo"));
    box->setText(text);
    box->setTextFormat(Qt::PlainText);
    box->setIcon(qtIcon(icon));
    switch (buttons) {
    case MessageButtons::Ok:
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    case MessageButtons::RetryCancel:
        box->setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Retry);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    }
    return box;
}

MessageAnswer answerFor(const QMessageBox& box, int standardButton) {
    switch (standardButton) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Retry:
        return MessageAnswer::Retry;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        // Closed without a button (window manager): what Esc would have answered.
        if (box.escapeButton() != nullptr) {
            const int escape = box.standardButton(box.escapeButton());
            if (escape != QMessageBox::NoButton) {
                return answerFor(box, escape);
            }
        }
        return MessageAnswer::Cancel;
    }
}

MessageAnswer WidgetMessages::showMessage(const QString& text, MessageIcon icon,
                                          MessageButtons buttons) {
    const auto box = makeMessageBox(parent_.data(), text, icon, buttons);
    return answerFor(*box, box->exec());
}

} // namespace mireldo
