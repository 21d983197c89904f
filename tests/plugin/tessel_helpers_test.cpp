// The plug-in's shared helpers, run against the framework host's own callbacks: strings from bytes,
// raising exceptions, borrowing a string's bytes, zeroed memory.

#include "plugin/tessel.h"
#include "rbframework/pluginhost.h"

#include <gtest/gtest.h>

namespace
{

rb::PluginHost &host()
{
    return rb::pluginHost();
}

class Helpers : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        tessel::setResolver(rb::PluginHost::resolver());
        tessel::setHostVersion(2019.0);
        objects_ = host().liveObjects();
        strings_ = host().liveStrings();
    }
    void TearDown() override
    {
        host().clearPending();
        EXPECT_EQ(host().liveObjects(), objects_);
        EXPECT_EQ(host().liveStrings(), strings_);
    }
    int objects_ = 0, strings_ = 0;
};

} // namespace

TEST_F(Helpers, BuildUnicodeStringTakesTheBytesAsTheyStand)
{
    EXPECT_EQ(tessel::REALBuildUnicodeString("CoreMIDI", 0, RB_ENCODING_ASCII), nullptr);
    EXPECT_EQ(tessel::REALBuildUnicodeString("CoreMIDI", -3, RB_ENCODING_ASCII), nullptr);
    EXPECT_EQ(tessel::REALBuildUnicodeString(nullptr, 4, RB_ENCODING_ASCII), nullptr);

    REALstring s = tessel::REALBuildUnicodeString("CoreMIDI", 8, RB_ENCODING_ASCII);
    EXPECT_EQ(rb::PluginHost::stringBytes(s), QByteArray("CoreMIDI"));
    EXPECT_EQ(rb::PluginHost::stringEncoding(s), 0x0600u);
    host().releaseString(s);

    const QByteArray high("Gr\xFC\xDF \x80\xFF", 7);
    s = tessel::REALBuildUnicodeString(high.constData(), int32_t(high.size()), RB_ENCODING_ASCII);
    EXPECT_EQ(rb::PluginHost::stringBytes(s), high) << "nothing converted or checked";
    EXPECT_EQ(rb::PluginHost::stringEncoding(s), RB_ENCODING_ASCII);
    host().releaseString(s);

    EXPECT_EQ(tessel::asciiString(""), nullptr);
    EXPECT_EQ(tessel::asciiString(nullptr), nullptr);
}

TEST_F(Helpers, RaiseExceptionOfAnUnknownClassRaisesNilObjectException)
{
    tessel::RaiseException("NoSuchException", "it went wrong");
    ASSERT_TRUE(host().hasPending());
    try {
        host().raisePending();
        FAIL() << "nothing raised";
    } catch (const rb::NilObjectException &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("it went wrong"));
    }
}

TEST_F(Helpers, RaiseExceptionKeepsTheClassAndAnEmptyMessage)
{
    tessel::RaiseException("OutOfBoundsException", "");
    EXPECT_THROW(
        {
            try {
                host().raisePending();
            } catch (const rb::OutOfBoundsException &e) {
                EXPECT_EQ(e.Message(), QString());
                throw;
            }
        },
        rb::OutOfBoundsException);
    tessel::RaiseException("RuntimeException", "plain");
    try {
        host().raisePending();
        FAIL();
    } catch (const rb::NilObjectException &) {
        FAIL() << "not a NilObjectException";
    } catch (const rb::RuntimeException &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("plain"));
    }
}

TEST_F(Helpers, RbDataBorrowsTheRawBytesOnOldAndNewHosts)
{
    const QByteArray bytes("\xF0\x00\xF7\x80", 4); // an embedded zero byte and high bytes
    REALstring s = host().makeString(bytes);
    for (double version : {2019.0, 2013.0, 2012.5}) {
        SCOPED_TRACE(version);
        tessel::setHostVersion(version);
        {
            tessel::rbData d(s);
            ASSERT_EQ(d.size(), 4);
            EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(d.data()), d.size()), bytes);
        }
        tessel::rbData none(nullptr);
        EXPECT_EQ(none.data(), nullptr);
        EXPECT_EQ(none.size(), 0);
    }
    host().releaseString(s);
}

TEST_F(Helpers, AllocateClearMemory)
{
    EXPECT_EQ(tessel::AllocateClearMemory(-1), nullptr);
    EXPECT_EQ(tessel::AllocateClearMemory(int64_t(UINT32_MAX) + 1), nullptr);
    auto *p = static_cast<unsigned char *>(tessel::AllocateClearMemory(64));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(p[i], 0);
    p[3] = 9;
    tessel::ClearMemory(p, 64);
    EXPECT_EQ(p[3], 0);
    tessel::FreeMemoryNow(p);
    void *empty = tessel::AllocateClearMemory(0);
    tessel::FreeMemoryNow(empty);
}
