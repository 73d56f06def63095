#pragma once

#include <QString>

namespace tovari {

// The one seam over the platform's dynamic libraries: the plug-in host opens, names, binds and closes
// plug-in libraries only through this, so that tests can put a double in its place.
class SPILibrary {
public:
    using Handle = void*;

    virtual ~SPILibrary() = default;
    // A new reference to the library, or nullptr when it cannot be loaded. Opening the same file twice
    // gives two references; the library stays loaded until each is closed.
    virtual Handle Open(const QString& fileName) = 0;
    // The library's full path as the system reports it (at most 255 characters); empty when unknown.
    virtual QString ModulePath(Handle handle) = 0;
    // The exported entry point, or nullptr.
    virtual void* LookUp(Handle handle, const char* name) = 0;
    virtual void Close(Handle handle) = 0;
};

// Native shared objects through dlopen, dlinfo, dlsym and dlclose.
class TNativeSPILibrary final : public SPILibrary {
public:
    Handle Open(const QString& fileName) override;
    QString ModulePath(Handle handle) override;
    void* LookUp(Handle handle, const char* name) override;
    void Close(Handle handle) override;
};

}  // namespace tovari
