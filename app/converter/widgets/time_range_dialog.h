#pragma once

// The "Time range" dialog: start and end as hours, minutes, seconds and tenths, and "Entire
// audio file", which disables the eight fields while it is checked. OK refuses an end before
// the start (equal times are accepted), whether or not "Entire audio file" is checked.
//
// Threads: the user-interface thread only.

#include "converter_choices.h"
#include "small_dialogs.h"

#include <optional>

namespace mireldo {
class UserMessages;
}

namespace mireldo::converter {

/// Control ids of the "Time range" dialog.
enum class RangeCtl : int {
    StartHours = 1059, ///< start fields 1059-1062, end fields 1063-1066
    EndHours = 1063,
    Entire = 1067,
    Ok = 1,
    Cancel = 2,
};

class CTimeRangeDialog : public ui::CIdDialog {
    Q_OBJECT

  public:
    /// A dialog telling `messages` when the end is before the start.
    explicit CTimeRangeDialog(UserMessages& messages, QWidget* parent = nullptr);

    /// Shows `fields`, or "Entire audio file" checked (fields empty) when there are none.
    void setRange(const std::optional<RangeFields>& fields);
    /// The eight numbers entered (an empty field is 0).
    RangeFields fields() const;
    bool entireFile() const;
    /// The row text of what was entered: "entire file" or the range text.
    QString rowText() const;

    using CIdDialog::control;
    QWidget* control(RangeCtl id) const { return control(static_cast<int>(id)); }

  private:
    void showEntire(bool entire);
    void confirm();

    UserMessages& messages_;
};

} // namespace mireldo::converter
