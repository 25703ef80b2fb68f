#include "progress_dialog.h"

#include "textured_button.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <limits>

namespace mireldo::ui {

namespace {

constexpr int kStep = 10;

int toBarValue(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

} // namespace

CProgressDialog::CProgressDialog(QWidget* owner, const QString& title)
    : CIdDialog(owner != nullptr ? owner->window() : nullptr) {
    ownerWindow_ = owner != nullptr ? owner->window() : nullptr;
    setWindowTitle(QStringLiteral("Progress"));
    setModal(false);
    setFixedSize(320, 110);
    auto* caption = add(1146, new QLabel(title, this));
    caption->setGeometry(14, 10, 292, 18);
    bar_ = add(1003, new QProgressBar(this));
    bar_->setGeometry(14, 34, 292, 16);
    bar_->setTextVisible(false);
    bar_->setRange(toBarValue(lower_), toBarValue(upper_));
    bar_->setValue(toBarValue(position_));
    text_ = add(1004, new QLabel(this));
    text_->setGeometry(14, 56, 292, 18);
    auto* cancel = add(2, new CTexturedButton(QStringLiteral("Cancel"), this));
    cancel->setGeometry(122, 80, 75, 23);
    cancel->setUpTexture();
    connect(cancel, &QPushButton::clicked, this, &CProgressDialog::reject);

    if (ownerWindow_ != nullptr && ownerWindow_->isEnabled()) {
        ownerWindow_->setEnabled(false);
        disabledOwner_ = true;
    }
    // A dialog is a window of its own; the owner being disabled must not disable it.
    setEnabled(true);
    show();
}

CProgressDialog::~CProgressDialog() {
    if (disabledOwner_ && ownerWindow_ != nullptr) {
        ownerWindow_->setEnabled(true);
    }
}

void CProgressDialog::setRange(std::int64_t lower, std::int64_t upper) {
    lower_ = lower;
    upper_ = upper;
    bar_->setRange(toBarValue(std::min(lower, upper)), toBarValue(std::max(lower, upper)));
}

void CProgressDialog::setPosition(std::int64_t position) {
    QCoreApplication::processEvents();
    position_ = position;
    bar_->setValue(
        toBarValue(std::clamp(position, std::min(lower_, upper_), std::max(lower_, upper_))));
    const QString text = progressText(percentOf(position_, lower_, upper_), estimate_);
    if (ProgressTextThrottle::shouldReplace(text_->text(), text, ProgressTextThrottle::nowMs())) {
        text_->setText(text);
    }
}

void CProgressDialog::step() {
    setPosition(position_ + kStep);
}

bool CProgressDialog::checkCancel() {
    QCoreApplication::processEvents();
    const bool cancelled = cancelled_;
    cancelled_ = false;
    return cancelled;
}

QString CProgressDialog::shownText() const {
    return text_->text();
}

void CProgressDialog::reject() {
    // The dialog stays until its owner destroys it.
    cancelled_ = true;
}

} // namespace mireldo::ui
