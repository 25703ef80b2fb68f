#pragma once

// The seven fields the tag dialogs edit, the genre list they choose from, and the clean-up an
// Update applies before anything is written.
//
// Threads: any thread; plain values and constant data.

#include <QString>
#include <QStringList>

#include <span>

namespace mireldo::tags {

/// The editable fields of one file's tag, as the dialogs show them.
struct TagFields {
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    int track = 0;
    /// Genre as text (ID3v2 and WMA); empty when the tag gives only a position (ID3v1).
    QString genreText;
    /// Position in the genre list (the ID3v1 genre number).
    int genrePosition = 12;

    bool operator==(const TagFields&) const = default;
};

/// Number of entries of the genre list.
inline constexpr int kGenreCount = 148;
/// The entry selected when a position is beyond the list ("Other").
inline constexpr int kGenreOther = 12;
/// Largest track number a tag keeps.
inline constexpr int kMaxTrack = 254;

/// The genre list in position order; the position is the ID3v1 genre number.
std::span<const char* const> genreNames();
/// The genre name at `position` (empty outside the list).
QString genreName(int position);

/// Character limits of the ID3v1 fields (the fixed-width slots of its 128 bytes).
inline constexpr int kV1TextLimit = 30;
inline constexpr int kV1YearLimit = 4;
inline constexpr int kV1CommentLimit = 28;

/// `text` without white space at its end.
QString trimTrailing(const QString& text);

/// The clean-up an Update applies to what the user entered: trailing white space removed from
/// the five texts and the track number clamped to 0..254 (a negative number, read as unsigned,
/// becomes 254). With `id3v1` the texts are also cut to that tag's slots (30, 30, 30, 4, 28).
TagFields normalizedForUpdate(TagFields fields, bool id3v1);

/// The leading decimal number of `text` (0 when it starts with none); stops growing at
/// 999,999,999 so that no text overflows it.
int leadingNumber(const QString& text);

/// What the genre drop list shows for a tag, and which genre an Update stores.
///
/// A genre text found in the list (ignoring case) selects that entry; a text not found is shown
/// as it is, as one extra entry after the list, and stays selected; without a text the position
/// is selected, and a position beyond the list selects "Other".
class GenreChoice {
  public:
    explicit GenreChoice(const TagFields& fields);

    /// The rows of the drop list: the 148 genres, then the extra entry if there is one.
    QStringList entries() const;
    /// The row selected when the dialog opens.
    int initialRow() const { return initialRow_; }
    /// Puts the genre of `row` into `fields`. The row the dialog opened with leaves the stored
    /// genre as it was, so that an Update that did not touch the genre does not change it.
    void apply(int row, TagFields& fields) const;

  private:
    QString extra_;
    int initialRow_ = kGenreOther;
};

} // namespace mireldo::tags
