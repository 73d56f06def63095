#pragma once

#include <QString>
#include <stdexcept>

namespace tovari {

// Base of the program's named failures; what() is the UTF-8 text of the message shown to the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// A file that cannot be opened or read.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be created or written.
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// A picture that cannot be read, is of an unknown kind, or is too large to hold.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// A graphic asked to take over a picture of a kind it cannot hold.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// The silent abort: a progress handler raises it to ask a running load to stop.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

}  // namespace tovari
