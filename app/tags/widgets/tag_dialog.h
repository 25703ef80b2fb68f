#pragma once

// The tag dialog: "Mp3 Tag Information" (template 152) and "WMA Tag Information" (template
// 1098), one shape with the seven fields, the genre drop list, the file name and Update and
// Cancel. The dialog only shows and collects fields; the caller reads and writes the file.
//
// Threads: the user-interface thread only.

#include "tag_fields.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLineEdit;

namespace mireldo::tags {

/// Control ids of the tag dialogs' templates.
enum class TagCtl : int {
    Title = 1076,
    Artist = 1077,
    Album = 1078,
    Track = 1079,
    Year = 1080,
    Comments = 1081,
    Genre = 1082,
    FileName = 1083,
};

/// Character limits of the edit fields; 0 means none.
struct TagLimits {
    int title = 0;
    int artist = 0;
    int album = 0;
    int year = 0;
    int comment = 0;
};

/// Limits of an ID3v1 tag's slots.
inline constexpr TagLimits kId3v1Limits{30, 30, 30, 4, 28};
/// Limits of the WMA dialog.
inline constexpr TagLimits kWmaLimits{128, 256, 256, 4, 512};

class CTagDialog : public QDialog {
    Q_OBJECT
  public:
    /// A dialog with caption string `captionId` showing `fields` and `fileName`.
    CTagDialog(int captionId, const TagLimits& limits, QWidget* parent = nullptr);

    /// Shows `fields` and selects the genre as the drop list's rules say.
    void setFields(const TagFields& fields, const QString& fileName);
    /// What the user entered, the genre taken from the drop list (an untouched list keeps the
    /// genre as it was).
    TagFields fields() const;

    /// Called on Update with the entered fields; returning false keeps the dialog open (the
    /// WMA dialog stays open when its write fails). Unset, Update accepts.
    void setUpdateHandler(std::function<bool(const TagFields&)> handler) {
        updateHandler_ = std::move(handler);
    }

    /// The edit or drop list of `id` (for tests and screenshots).
    QWidget* control(TagCtl id) const;

  private:
    void update();

    QLineEdit* title_ = nullptr;
    QLineEdit* artist_ = nullptr;
    QLineEdit* album_ = nullptr;
    QLineEdit* track_ = nullptr;
    QLineEdit* year_ = nullptr;
    QLineEdit* comments_ = nullptr;
    QComboBox* genre_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    TagFields shown_;
    GenreChoice choice_{TagFields{}};
    std::function<bool(const TagFields&)> updateHandler_;
};

} // namespace mireldo::tags
