#pragma once
// An environment variable given back as it was (or unset again) when the owner ends.

#include <QByteArray>
#include <QtGlobal>

namespace korvanetest
{

class EnvironmentVariable
{
  public:
    explicit EnvironmentVariable(const char *name)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name))
    {
    }
    ~EnvironmentVariable()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    EnvironmentVariable(const EnvironmentVariable &) = delete;
    EnvironmentVariable &operator=(const EnvironmentVariable &) = delete;

  private:
    const char *name_;
    bool had_;
    QByteArray old_;
};

} // namespace korvanetest
