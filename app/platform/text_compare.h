#pragma once

// Comparisons that ignore case the way the program's names need it: extensions (".MP3" is
// ".mp3") and paths. Only the ASCII letters A-Z and a-z are folded; every other character,
// accented letters included, must match exactly. The result never depends on the locale.
//
// Threads: any thread; pure functions.

#include <QString>
#include <QStringView>

namespace mireldo::platform {

/// `c` with A-Z mapped to a-z.
constexpr char16_t asciiToLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

/// `c` with a-z mapped to A-Z.
constexpr char16_t asciiToUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

/// `text` with A-Z mapped to a-z.
QString asciiToLower(QStringView text);

/// True when `a` and `b` are equal once A-Z are folded to a-z.
bool equalsIgnoreCase(QStringView a, QStringView b);

/// <0, 0 or >0 as `a` sorts before, with or after `b` once A-Z are folded to a-z
/// (UTF-16 code unit order otherwise).
int compareIgnoreCase(QStringView a, QStringView b);

/// True when `text` ends with `suffix`, ignoring ASCII case.
bool endsWithIgnoreCase(QStringView text, QStringView suffix);

/// The text from the last '.' of `path` to its end, the dot included (".mp3" for
/// "/a/b.mp3"); empty when there is no '.'. The dot may lie in a folder name: "/v1.2/take"
/// gives ".2/take", which matches no known extension.
QStringView extensionOf(QStringView path);

} // namespace mireldo::platform
