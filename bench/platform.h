#pragma once
// The benchmarks run on the platform the user's programs run on: the one QT_QPA_PLATFORM names,
// else the display there is (X11 or Wayland), so that drawing on it is counted. Only where there is
// no display do they fall back to Qt's offscreen platform. Call before the application is made.

#include <QGuiApplication>
#include <QtGlobal>

namespace bench
{

inline void chooseQtPlatform()
{
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The platform the application runs on, as Qt names it ("xcb", "wayland", "offscreen").
inline QByteArray qtPlatform()
{
    return QGuiApplication::platformName().toLocal8Bit();
}

} // namespace bench
