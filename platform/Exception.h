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

}  // namespace tovari
