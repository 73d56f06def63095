#pragma once

#include <QString>

#include <dirent.h>

namespace tovari {

// One pass over a folder's entries, in the order the file system gives them. Closed when destroyed,
// whatever ends the pass.
class TDirEnum {
public:
    struct Entry {
        QString name;       // lossless, see FromNativePath
        bool directory = false;  // also a link to a folder, and "." and ".."
        bool hidden = false;     // the name starts with "."
    };

    explicit TDirEnum(const QString& folder);
    ~TDirEnum();
    TDirEnum(const TDirEnum&) = delete;
    TDirEnum& operator=(const TDirEnum&) = delete;

    // False when the folder could not be opened.
    bool IsOpen() const { return dir_ != nullptr; }
    // Reads the next entry; false at the end or on a read error.
    bool Next(Entry& entry);

private:
    DIR* dir_ = nullptr;
};

}  // namespace tovari
