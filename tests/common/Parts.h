#pragma once

#include <QObject>
#include <QString>

#include <stdexcept>

namespace tovari::test {

// A part of a window, found among its children by type, and by object name where one type has several.
template <class T>
T& PartOf(const QObject& window, const QString& name = {})
{
    T* part = window.findChild<T*>(name);
    if (!part)
        throw std::logic_error("no such part: " + std::string(T::staticMetaObject.className()) + ' ' +
                               name.toStdString());
    return *part;
}

}  // namespace tovari::test
