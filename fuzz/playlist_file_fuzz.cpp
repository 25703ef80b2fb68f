// libFuzzer target for the playlist's list-file reader: any bytes are parsed; whatever entries
// come out must survive being written and read again unchanged.

#include "list_file.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using mireldo::playlist::ListEntry;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString folder = QStringLiteral("/fuzz/lists");
    std::vector<ListEntry> first;
    mireldo::playlist::parseListFile(std::span(data, size), folder,
                                     [&](ListEntry e) { first.push_back(std::move(e)); });
    if (first.size() > 0xFFFF) {
        __builtin_trap(); // the header's count bounds the entries
    }
    const QByteArray rebuilt = mireldo::playlist::buildListFile(first, 0);
    std::vector<ListEntry> second;
    const bool ok = mireldo::playlist::parseListFile(
        std::span(reinterpret_cast<const std::uint8_t*>(rebuilt.constData()),
                  static_cast<std::size_t>(rebuilt.size())),
        folder, [&](ListEntry e) { second.push_back(std::move(e)); });
    if (!ok || second.size() != first.size()) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < first.size(); ++i) {
        if (first[i].path != second[i].path || first[i].kind != second[i].kind) {
            __builtin_trap();
        }
    }
    return 0;
}
