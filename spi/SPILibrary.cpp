#include "spi/SPILibrary.h"

#include "platform/FileName.h"

#include <dlfcn.h>
#include <link.h>

namespace tovari {

SPILibrary::Handle TNativeSPILibrary::Open(const QString& fileName)
{
    QByteArray path = NativePath(fileName);
    // A bare name would send dlopen through the system's library path; the host means a file.
    if (!path.contains('/'))
        path.prepend("./");
    // Every symbol resolved now: a plug-in with a missing dependency fails here, not in the middle of a call.
    return dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
}

QString TNativeSPILibrary::ModulePath(Handle handle)
{
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return QString();
    // Whole, however long: two plug-ins in a deep folder must not come to share a name.
    return FromNativePath(QByteArray(map->l_name));
}

void* TNativeSPILibrary::LookUp(Handle handle, const char* name)
{
    return dlsym(handle, name);
}

void TNativeSPILibrary::Close(Handle handle)
{
    dlclose(handle);
}

}  // namespace tovari
