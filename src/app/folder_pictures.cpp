#include "app/folder_pictures.h"

#include "app/picture_paths.h"

#include <QFile>
#include <algorithm>
#include <dirent.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace pelisto {
namespace {

struct Walk {
    bool subfolders;
    const std::function<bool(const QString&)>& isPicture;
    int limit;
    NaturalNames names;
    std::set<std::pair<dev_t, ino_t>> visited; // a folder mounted inside itself is seen once
    FolderPictures found;
};

struct Entry {
    QByteArray name;
    QString shown;
};

// Natural order of the names as Qt shows them; their bytes break ties.
void Sort(std::vector<Entry>& entries, const NaturalNames& names) {
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const int c = names.Compare(a.shown, b.shown);
        return c != 0 ? c < 0 : a.name < b.name;
    });
}

void Visit(Walk& walk, const QByteArray& folder) {
    struct stat self {};
    if (::stat(folder.constData(), &self) != 0 ||
        !walk.visited.insert({self.st_dev, self.st_ino}).second) {
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.constData()), ::closedir);
    if (!dir) {
        return;
    }
    std::vector<Entry> files;
    std::vector<Entry> folders;
    while (const dirent* e = ::readdir(dir.get())) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        if (name.startsWith('.')) {
            ++walk.found.skipped;
            continue;
        }
        const QByteArray path = folder + '/' + name;
        struct stat link {};
        struct stat target {};
        if (::lstat(path.constData(), &link) != 0) {
            continue;
        }
        const bool isLink = S_ISLNK(link.st_mode);
        if (isLink && ::stat(path.constData(), &target) != 0) {
            continue; // a dangling link names no picture
        }
        const mode_t mode = isLink ? target.st_mode : link.st_mode;
        if (S_ISDIR(mode)) {
            if (!isLink) {
                folders.push_back({name, QFile::decodeName(name)});
            }
        } else if (S_ISREG(mode)) {
            files.push_back({name, QFile::decodeName(name)});
        }
    }
    Sort(files, walk.names);
    for (const Entry& f : files) {
        if (!walk.isPicture(f.shown)) {
            ++walk.found.skipped;
            continue;
        }
        if (static_cast<int>(walk.found.files.size()) >= walk.limit) {
            walk.found.capped = true;
            return;
        }
        walk.found.files.push_back(folder + '/' + f.name);
    }
    if (!walk.subfolders) {
        return;
    }
    Sort(folders, walk.names);
    for (const Entry& f : folders) {
        Visit(walk, folder + '/' + f.name);
        if (walk.found.capped) {
            return;
        }
    }
}

} // namespace

FolderPictures PicturesInFolder(const QByteArray& folder, bool subfolders,
                                const std::function<bool(const QString&)>& isPicture, int limit) {
    Walk walk{subfolders, isPicture, limit, {}, {}, {}};
    QByteArray start = folder;
    while (start.size() > 1 && start.endsWith('/')) {
        start.chop(1);
    }
    Visit(walk, start);
    return std::move(walk.found);
}

} // namespace pelisto
