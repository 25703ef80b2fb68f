#pragma once

// The "Progress" dialog (template 120, modeless): a title, a bar, the percent text with an
// optional time estimate and "Cancel". While it exists its owner's top-level window is
// disabled. Long operations on the user-interface thread call setPosition()/step() and
// checkCancel(), which let the event loop run so that the dialog stays responsive.
//
// Threads: the user-interface thread only.

#include "progress_text.h"
#include "small_dialogs.h"

#include <QPointer>

#include <cstdint>

class QLabel;
class QProgressBar;

namespace mireldo::ui {

class CProgressDialog : public CIdDialog {
    Q_OBJECT

  public:
    /// Makes and shows the dialog over `owner`'s top-level window, disabling that window when
    /// it was enabled.
    CProgressDialog(QWidget* owner, const QString& title);
    /// Re-enables the owner's window if the dialog disabled it.
    ~CProgressDialog() override;

    void setRange(std::int64_t lower, std::int64_t upper);
    /// Lets pending events run, then shows `position` on the bar and in the text.
    void setPosition(std::int64_t position);
    /// Advances the position by the step (10).
    void step();
    std::int64_t position() const { return position_; }
    /// The time estimate: used when `total` is above 0.
    void setEstimate(const ProgressEstimate& estimate) { estimate_ = estimate; }
    /// Lets pending events run; returns whether Cancel was pressed since the last call and
    /// clears that.
    bool checkCancel();
    /// The percent text shown now.
    QString shownText() const;

  protected:
    void reject() override; // Esc and Cancel only set the flag

  private:
    QPointer<QWidget> ownerWindow_;
    bool disabledOwner_ = false;
    std::int64_t lower_ = 0;
    std::int64_t upper_ = 100;
    std::int64_t position_ = 0;
    ProgressEstimate estimate_;
    bool cancelled_ = false;
    QProgressBar* bar_ = nullptr;
    QLabel* text_ = nullptr;
};

} // namespace mireldo::ui
