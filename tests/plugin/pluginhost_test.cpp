// The framework's plug-in host itself: loading, objects, strings, exceptions.

#include "tessel_client.h"

using namespace tesseltest;

namespace
{
class Host : public NoLeaks
{
};
} // namespace

TEST_F(Host, LoadFailuresNameThePathAndTheCause)
{
    const QString missing = QStringLiteral("/nonexistent/plugins/libnothing.so");
    QString e = host().load(missing);
    EXPECT_TRUE(e.contains(missing)) << e.toStdString();
    EXPECT_TRUE(e.contains(QStringLiteral("no such file"))) << e.toStdString();

    const QString noEntry = QStringLiteral(KORVANE_NO_ENTRY_LIBRARY);
    e = host().load(noEntry);
    EXPECT_TRUE(e.contains(noEntry)) << e.toStdString();
    EXPECT_TRUE(e.contains(QStringLiteral("REALPluginMain"))) << e.toStdString();

    const QString notALibrary = QStringLiteral(__FILE__);
    e = host().load(notALibrary);
    EXPECT_TRUE(e.contains(notALibrary)) << e.toStdString();
    EXPECT_TRUE(e.contains(QStringLiteral("not an ELF file"))) << e.toStdString();
}

TEST_F(Host, LoadingTheSamePlugInAgainDoesNotStartItTwice)
{
    EXPECT_EQ(host().load(QStringLiteral(KORVANE_TESSEL_PATH)).toStdString(), "");
    EXPECT_EQ(host().registeredClasses().size(), 4u);
    EXPECT_EQ(host().pluginVersions().size(), 1u);
}

TEST_F(Host, ObjectsAreZeroFilledAndCounted)
{
    const int before = host().liveObjects();
    REALobject o = host().newObject(QStringLiteral("PortMidiStreamTSL"));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(REALGetInstanceData(o)) % 16, 0u);
    const auto *bytes = static_cast<const unsigned char *>(REALGetInstanceData(o));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(host().className(o), QStringLiteral("PortMidiStreamTSL"));
    EXPECT_EQ(host().referenceCount(o), 1);
    host().lockObject(o);
    EXPECT_EQ(host().referenceCount(o), 2);
    host().releaseObject(o);
    EXPECT_EQ(host().liveObjects(), before + 1);
    host().releaseObject(o);
    EXPECT_EQ(host().liveObjects(), before);
    host().releaseObject(nullptr);

    EXPECT_EQ(host().newObject(QStringLiteral("NoSuchClass")), nullptr);
    REALobject list = host().newObject(QStringLiteral("PortMidiTSL")); // no instance data at all
    ASSERT_NE(list, nullptr);
    host().releaseObject(list);
}

TEST_F(Host, StringsKeepTheirBytesAndTag)
{
    const QByteArray bytes("\x00\x7F\x80\xF7\xFF", 5);
    REALstring s = host().makeString(bytes);
    EXPECT_EQ(rb::PluginHost::stringBytes(s), bytes);
    EXPECT_EQ(rb::PluginHost::stringEncoding(s), RB_ENCODING_ASCII);
    EXPECT_EQ(rb::PluginHost::toQString(s), QString::fromLatin1(bytes));
    host().lockString(s);
    host().releaseString(s);
    EXPECT_EQ(host().takeString(s), QString::fromLatin1(bytes));

    REALstring fromText = host().makeString(QString::fromLatin1("Caf\xe9"));
    EXPECT_EQ(rb::PluginHost::stringBytes(fromText), QByteArray("Caf\xe9"));
    host().releaseString(fromText);

    EXPECT_EQ(rb::PluginHost::toQString(nullptr), QString());
    EXPECT_EQ(host().takeString(nullptr), QString());
}

TEST_F(Host, CallingAnUnboundEntryIsAClearError)
{
    EXPECT_THROW(host().invoke<void()>(nullptr), rb::RuntimeException);
}
