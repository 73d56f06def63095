#include "platform/DirEnum.h"

#include "platform/FileName.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace tovari {

TDirEnum::TDirEnum(const QString& folder)
{
    if (!folder.isEmpty())
        dir_ = ::opendir(NativePath(folder).constData());
}

TDirEnum::~TDirEnum()
{
    if (dir_)
        ::closedir(dir_);
}

bool TDirEnum::Next(Entry& entry)
{
    if (!dir_)
        return false;
    const dirent* d = ::readdir(dir_);
    if (!d)
        return false;
    entry.name = FromNativePath(QByteArray(d->d_name));
    entry.hidden = d->d_name[0] == '.';
    bool directory = d->d_type == DT_DIR;
    if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
        // A link counts as what it points to; fstatat follows it.
        struct stat st {};
        directory = ::fstatat(::dirfd(dir_), d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    entry.directory = directory;
    return true;
}

}  // namespace tovari
