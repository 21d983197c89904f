#pragma once
// The framework's runtime exceptions. Program code throws and catches these; every event handler
// is entered through rb::dispatch, which hands what escapes to the application's handler.

#include <QString>
#include <exception>
#include <string>

namespace rb
{

class RuntimeException : public std::exception
{
  public:
    explicit RuntimeException(QString message = {})
        : message_(std::move(message)), what_(message_.toStdString())
    {
    }
    const QString &Message() const { return message_; }
    const char *what() const noexcept override { return what_.c_str(); }

  private:
    QString message_;
    std::string what_;
};

// Raised on a member call through a nil object, or by a plug-in that raises it.
class NilObjectException : public RuntimeException
{
  public:
    using RuntimeException::RuntimeException;
};

// Raised on an index or offset outside a container.
class OutOfBoundsException : public RuntimeException
{
  public:
    using RuntimeException::RuntimeException;
};

// Dereferences a framework object reference, raising NilObjectException when it is nil.
template <typename Ptr> auto &deref(const Ptr &p)
{
    if (!p)
        throw NilObjectException();
    return *p;
}

} // namespace rb
