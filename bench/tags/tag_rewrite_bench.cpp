// Times one title rewrite of an MP3 three ways, each on a fresh copy of the same file (the copy
// is made before the clock starts): our tag engine (which syncs what it writes), TagLib's save
// (with and without an fsync after it), and cp of the file followed by sync of the copy. Two
// cases: the title grows by 1,024 characters (the tag body grows and the file is rewritten) and
// the title keeps its length (written in place). Prints the median of each and the ratios.
//
// Usage: tag_rewrite_bench FILE.mp3 [runs]

#include "mp3_tag_file.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using mireldo::tags::TagStatus;

namespace {

double seconds(const std::function<bool()>& work) {
    const auto start = std::chrono::steady_clock::now();
    if (!work()) {
        std::fprintf(stderr, "a timed step failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool fsyncPath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

struct Case {
    const char* name;
    std::string title;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.mp3 [runs]\n", argv[0]);
        return 2;
    }
    const std::string source = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string work = source + ".work.mp3";
    const std::string copy = source + ".cp.mp3";

    const auto read = mireldo::tags::readMp3Tag(QString::fromStdString(source));
    if (read.status != TagStatus::Ok) {
        std::fprintf(stderr, "cannot read the tag of %s\n", source.c_str());
        return 1;
    }
    const QString oldTitle = read.tag.fields.title;
    QString same = oldTitle;
    std::reverse(same.begin(), same.end());
    if (same == oldTitle) {
        same[0] = same[0] == QLatin1Char('x') ? QLatin1Char('y') : QLatin1Char('x');
    }
    const std::vector<Case> cases = {
        {"grow by 1 KB", (oldTitle + QString(1024, QLatin1Char('g'))).toStdString()},
        {"same size (in place)", same.toStdString()},
    };
    const auto fresh = [&] {
        fs::copy_file(source, work, fs::copy_options::overwrite_existing);
        fsyncPath(work);
        fs::remove(copy);
        ::sync();
    };

    std::printf("file: %s (%.1f MB), %d runs each, medians\n", source.c_str(),
                static_cast<double>(fs::file_size(source)) / 1e6, runs);
    for (const Case& c : cases) {
        std::vector<double> ours, taglib, taglibSync, cpSync;
        for (int i = 0; i < runs; ++i) {
            fresh();
            ours.push_back(seconds([&] {
                auto fields = read.tag.fields;
                fields.title = QString::fromStdString(c.title);
                return mireldo::tags::writeMp3Tag(QString::fromStdString(work), fields) ==
                       TagStatus::Ok;
            }));
            fresh();
            taglib.push_back(seconds([&] {
                TagLib::MPEG::File f(work.c_str(), false);
                f.ID3v2Tag(true)->setTitle(TagLib::String(c.title, TagLib::String::UTF8));
                return f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                              TagLib::ID3v2::v3);
            }));
            fresh();
            taglibSync.push_back(seconds([&] {
                {
                    TagLib::MPEG::File f(work.c_str(), false);
                    f.ID3v2Tag(true)->setTitle(TagLib::String(c.title, TagLib::String::UTF8));
                    if (!f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone,
                                TagLib::ID3v2::v3)) {
                        return false;
                    }
                }
                return fsyncPath(work);
            }));
            fresh();
            cpSync.push_back(seconds([&] {
                return std::system(
                           ("cp " + quote(source) + " " + quote(copy) + " && sync " + quote(copy))
                               .c_str()) == 0;
            }));
        }
        const double o = median(ours), t = median(taglib), ts = median(taglibSync),
                     cs = median(cpSync);
        std::printf("%-22s ours %8.2f ms | cp+sync %8.2f ms | TagLib save %8.2f ms | "
                    "TagLib save+fsync %8.2f ms\n",
                    c.name, o * 1e3, cs * 1e3, t * 1e3, ts * 1e3);
        std::printf("%-22s ours/cp+sync %.2fx | ours/TagLib %.2fx | ours/(TagLib+fsync) %.2fx\n",
                    "", o / cs, o / t, o / ts);
    }
    fs::remove(work);
    fs::remove(copy);
    return 0;
}
