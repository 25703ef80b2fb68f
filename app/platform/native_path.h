#pragma once

// Paths are bytes on Linux: a file name need not be valid UTF-8 (a Latin-1 "lat\xe9.wav" from
// an old disk is a valid name). Qt's own conversions (QFile::encodeName/decodeName, QDir,
// QFileInfo, the command-line arguments) replace such bytes with U+FFFD, after which the file
// can no longer be named. These helpers convert without loss instead: valid UTF-8 decodes as
// usual and every byte that is not part of a valid sequence becomes one code unit in
// U+DC80..U+DCFF (the byte's value + 0xDC00), which encodes back to the same byte. Every system
// call the playlist makes on a path goes through encodePath(); every name it gets from the
// system comes through decodePath().
//
// Threads: any thread; nothing here keeps state except what the functions' results hold.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>
#include <sys/stat.h>
#include <vector>

namespace mireldo::platform {

/// The text of path bytes `bytes`: UTF-8, with each byte that is not part of a valid UTF-8
/// sequence (including encoded surrogates and overlong forms) as U+DC80..U+DCFF.
QString decodePath(QByteArrayView bytes);

/// The bytes of `path`: UTF-8, with each lone U+DC80..U+DCFF as the byte it stands for.
/// decodePath(encodePath(s)) == s for every s decodePath() made, and encodePath(decodePath(b))
/// == b for all bytes b.
QByteArray encodePath(const QString& path);

/// The arguments of main() as text, each decoded with decodePath().
QStringList argumentsOf(int argc, char** argv);

/// `path` made absolute against the current folder (as the system names it) and cleaned of
/// "." and ".." parts and doubled separators, without following links.
QString absolutePath(const QString& path);

/// The names in folder `folder` (not "." and ".."), in the order the system lists them.
/// Nullopt when the folder cannot be read.
std::optional<QStringList> folderEntries(const QString& folder);

/// stat() of `path` (links followed); nullopt when it fails (errno tells why).
std::optional<struct stat> statPath(const QString& path);

/// The system's text for error number `err`.
QString systemError(int err);

} // namespace mireldo::platform
