#include "playlist_command.h"

#include "item_text.h"
#include "native_path.h"
#include "playlist_model.h"
#include "playlist_texts.h"

#include <QCoreApplication>

#include <sys/stat.h>

#include <algorithm>
#include <set>

namespace mireldo::cli {

namespace {

using playlist::PlaylistModel;

const char* const kUsage = "usage: mireldo-cli playlist [--list FILE] show | add PATH... | "
                           "remove N...\n";

// Texts and paths as bytes for the terminal: a path's bytes come back as the system gave them.
QByteArray local(const QString& text) {
    return platform::encodePath(text);
}

void waitUntilSettled(const PlaylistModel& model) {
    while (!model.isSettled()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

int show(PlaylistModel& model, Console console) {
    waitUntilSettled(model);
    for (int i = 0; i < model.count(); ++i) {
        const playlist::PlaylistItem& item = *model.item(i);
        std::fprintf(console.out, "%d. %s\n", i + 1, local(playlist::itemTitle(item)).constData());
        if (item.isLoaded()) {
            std::fprintf(console.out, "    %s   %s\n",
                         local(playlist::itemInfoLine(item)).constData(),
                         local(playlist::extensionText(item.path).trimmed()).constData());
        } else {
            std::fprintf(console.out, "    %s\n",
                         local(playlist::stateText(item.lengthOrState)).constData());
        }
    }
    if (model.count() == 0) {
        std::fprintf(console.out, "The list is empty.\n");
    }
    return kExitOk;
}

int add(PlaylistModel& model, const QStringList& paths, Console console) {
    int status = kExitOk;
    for (const QString& given : paths) {
        const auto st = platform::statPath(given);
        if (st && S_ISDIR(st->st_mode)) {
            std::fprintf(console.err, "mireldo-cli: %s is a folder\n", local(given).constData());
            status = kExitFailed;
            continue;
        }
        if (st && !S_ISREG(st->st_mode)) {
            std::fprintf(console.err, "mireldo-cli: %s is not a regular file\n",
                         local(given).constData());
            status = kExitFailed;
            continue;
        }
        const QString path = platform::absolutePath(given);
        const int index = model.addPath(path);
        if (index == model.capacity()) {
            std::fprintf(console.err,
                         "Too many items. You can add a maximum of %d items into the list.\n",
                         model.capacity());
            status = kExitFailed;
            break;
        }
        if (index < 0) {
            std::fprintf(console.err, "mireldo-cli: %s: the path is too long for the list\n",
                         local(path).constData());
            status = kExitFailed;
            continue;
        }
        model.setModified();
        std::fprintf(console.out, "%d. %s\n", index + 1, local(path).constData());
    }
    if (!model.save()) {
        std::fprintf(console.err, "mireldo-cli: cannot write %s\n",
                     local(model.listPath()).constData());
        return kExitFailed;
    }
    return status;
}

int remove(PlaylistModel& model, const QStringList& numbers, Console console) {
    std::set<int, std::greater<>> rows;
    for (const QString& word : numbers) {
        bool ok = false;
        const int n = word.toInt(&ok);
        if (!ok || n < 1 || n > model.count()) {
            std::fprintf(console.err, "mireldo-cli: no item %s (the list has %d)\n",
                         local(word).constData(), model.count());
            return kExitUsage;
        }
        rows.insert(n);
    }
    // From the bottom up, so the numbers the user gave keep naming the same items.
    for (int n : rows) {
        model.removeItem(n - 1);
    }
    if (!model.save()) {
        std::fprintf(console.err, "mireldo-cli: cannot write %s\n",
                     local(model.listPath()).constData());
        return kExitFailed;
    }
    std::fprintf(console.out, "Removed %zu item(s); %d left.\n", rows.size(), model.count());
    return kExitOk;
}

} // namespace

int runPlaylist(const QStringList& args, Console console) {
    QStringList rest = args;
    QString listPath;
    if (!rest.isEmpty() && rest.front() == QStringLiteral("--list")) {
        if (rest.size() < 2) {
            std::fputs(kUsage, console.err);
            return kExitUsage;
        }
        listPath = platform::absolutePath(rest[1]);
        rest = rest.mid(2);
    }
    if (rest.isEmpty()) {
        std::fputs(kUsage, console.err);
        return kExitUsage;
    }
    const QString action = rest.takeFirst();
    const bool known = action == QStringLiteral("show") || action == QStringLiteral("add") ||
                       action == QStringLiteral("remove");
    if (!known || (action == QStringLiteral("show") && !rest.isEmpty()) ||
        (action != QStringLiteral("show") && rest.isEmpty())) {
        std::fputs(kUsage, console.err);
        return kExitUsage;
    }
    const bool reading = action == QStringLiteral("show");
    if (listPath.isEmpty()) {
        listPath = playlist::defaultListFilePath(!reading);
    }

    PlaylistModel model(playlist::kPlaylistCapacity, playlist::ModelPictures::plain());
    // Another command line holds the list only for a moment; the window holds it for good.
    constexpr int kWaitForWriterMs = 500;
    if (!model.initialise(listPath,
                          reading ? playlist::ListAccess::Read : playlist::ListAccess::Write,
                          kWaitForWriterMs)) {
        std::fprintf(console.err, "mireldo-cli: the loader thread could not be started\n");
        return kExitFailed;
    }
    if (reading) {
        // show only reads: a file that is not a readable list is reported and left alone.
        const playlist::ListFileState state = model.listFileState();
        if (state == playlist::ListFileState::Refused ||
            state == playlist::ListFileState::Unreadable) {
            std::fprintf(console.err, "mireldo-cli: %s is not a list file this version can read\n",
                         local(listPath).constData());
            return kExitFailed;
        }
        return show(model, console);
    }
    switch (model.listStatus()) {
    case playlist::ListStatus::Busy:
        std::fprintf(console.err, "mireldo-cli: %s\n",
                     local(playlist::texts::listOwnedByWindow(listPath)).constData());
        return kExitFailed;
    case playlist::ListStatus::Kept:
        std::fprintf(console.err, "mireldo-cli: %s\n", local(model.listNotice()).constData());
        return kExitFailed;
    default:
        break;
    }
    if (!model.listNotice().isEmpty()) {
        std::fprintf(console.err, "mireldo-cli: %s\n", local(model.listNotice()).constData());
    }
    if (action == QStringLiteral("add")) {
        return add(model, rest, console);
    }
    return remove(model, rest, console);
}

} // namespace mireldo::cli
