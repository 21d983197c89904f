// The helper module: hex text, splitting, key captions and the file choosers through the scripted
// dialogs.
#include "rbframework/exceptions.h"
#include "rbframework/testseam.h"
#include "support/vosr.h"
#include "tests/common/qstring_print.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace vosr = korvane::vosr;

namespace
{

TEST(Vosr, Byte2hex)
{
    const struct {
        uint8_t value;
        const char *hex;
    } cases[] = {{0, "00"}, {10, "0A"}, {0x7E, "7E"}, {0xF0, "F0"}, {255, "FF"}};
    for (const auto &c : cases)
        EXPECT_EQ(vosr::byte2hex(c.value), QString::fromLatin1(c.hex)) << int(c.value);
}

TEST(Vosr, Mb2hexStaysInsideTheBlock)
{
    const rb::MemoryBlock mb(QByteArray("\xF0\x7E\x7F", 3));
    const struct {
        int32_t count;
        const char *hex;
    } cases[] = {{3, "F0 7E 7F "}, {2, "F0 7E "},    {0, ""},
                 {-5, ""},         {4, "F0 7E 7F "}, {1 << 30, "F0 7E 7F "}};
    for (const auto &c : cases)
        EXPECT_EQ(vosr::mb2hex(mb, c.count), QString::fromLatin1(c.hex)) << c.count;

    EXPECT_EQ(vosr::mb2hex(rb::MemoryBlock(0), 4), QString());
    EXPECT_EQ(vosr::mb2hex(std::make_shared<rb::MemoryBlock>(QByteArray("\x00\xff", 2)), 2),
              QStringLiteral("00 FF "));
    EXPECT_THROW(vosr::mb2hex(rb::MemoryBlockPtr(), 1), rb::NilObjectException);
}

struct SplitCase {
    const char *text;
    const char *head;
    const char *rest;
};

TEST(Vosr, Splitspace2)
{
    const SplitCase cases[] = {
        {"F0 7E F7", "F0", "7E F7"}, {"F7", "F7", ""}, {"", "", ""},
        {"A  B", "A", " B"},         {" A", "", "A"},  {"A ", "A", ""},
    };
    for (const auto &c : cases) {
        QString s = QString::fromLatin1(c.text);
        EXPECT_EQ(vosr::splitspace2(s), QString::fromLatin1(c.head)) << c.text;
        EXPECT_EQ(s, QString::fromLatin1(c.rest)) << c.text;
    }
}

TEST(Vosr, Splitdot)
{
    const SplitCase cases[] = {
        {" 192 .168.0.1", "192", "168.0.1"},
        {" 1 ", " 1 ", ""},
        {"..", "", "."},
        {"", "", ""},
        {"10. 0", "10", " 0"},
    };
    for (const auto &c : cases) {
        QString s = QString::fromLatin1(c.text);
        EXPECT_EQ(vosr::splitdot(s), QString::fromLatin1(c.head)) << c.text;
        EXPECT_EQ(s, QString::fromLatin1(c.rest)) << c.text;
    }
}

TEST(Vosr, Cmd2caption)
{
    const struct {
        int32_t cmd;
        const char *caption;
    } cases[] = {
        {1, "[]"},      {2, "||"},          {3, ">"},     {4, "<"},      {5, ">>"},    {6, "<<"},
        {11, "Goto"},   {18, "On"},         {19, "Off"},  {20, "Rhs"},   {21, "Auto"}, {22, "Man"},
        {23, "Rvw"},    {128, "-"},         {129, "+"},   {130, "||<"},  {131, "|<"},  {132, ">|"},
        {133, "M. In"}, {134, "M.Out"},     {135, ">||"}, {136, "Loop"}, {137, "10>"}, {138, "<10"},
        {142, "^"},     {143, "v"},         {7, "???"},   {0, "???"},    {-1, "???"},  {139, "???"},
        {144, "???"},   {128 + 256, "???"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vosr::cmd2caption(c.cmd), QString::fromLatin1(c.caption)) << c.cmd;
}

class Choosers : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        rb::testseam::reset();
    }

    rb::FolderItemPtr item(const QString &name) const
    {
        return std::make_shared<rb::FolderItem>(tmp.filePath(name));
    }

    void touch(const QString &name, const QByteArray &bytes = "x") const
    {
        QFile f(tmp.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    const rb::testseam::ShownDialog &onlyDialog() const
    {
        EXPECT_EQ(rb::testseam::shownDialogs().size(), 1u);
        return rb::testseam::shownDialogs().back();
    }

    QTemporaryDir tmp;
};

TEST_F(Choosers, DialogsAreSetUpForTheirFiles)
{
    const QString documents = QStringLiteral("/Documents");
    const struct {
        const char *name;
        std::function<void()> run;
        bool saving;
        QString title, filter, initial, suggested;
    } cases[] = {
        {"bin", [] { vosr::openbinfile(); }, false, "Select a Bin file", "binary (*.bin)", documents, ""},
        {"pdf", [] { vosr::openpdffile(); }, false, "Select a pdf file", "PDFfile (*.pdf)",
         QCoreApplication::applicationDirPath(), ""},
        {"save vot", [] { vosr::saveasvotfile(); }, true, "Select a VRQ-1 file", "votxt (*.vot)", documents,
         "VRQ1.vot"},
        {"open vot", [] { vosr::openvotfile(); }, false, "Select a VRQ-1 file", "votxt (*.vot)", documents,
         "vrq1.vot"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        rb::testseam::reset();
        c.run(); // nothing queued: cancelled
        const rb::testseam::ShownDialog &d = onlyDialog();
        EXPECT_EQ(d.saving, c.saving);
        EXPECT_EQ(d.title, c.title);
        EXPECT_EQ(d.filter, c.filter);
        EXPECT_EQ(d.initialDirectory, c.initial);
        EXPECT_EQ(d.suggestedFileName, c.suggested);
    }
    EXPECT_TRUE(rb::testseam::launchedDocuments().isEmpty());
}

TEST_F(Choosers, OpenChoosersAnswerTheChosenItemOrNil)
{
    for (auto choose : {vosr::openbinfile, vosr::openvotfile}) {
        rb::testseam::reset();
        rb::FolderItemPtr chosen = item(QStringLiteral("image.bin"));
        rb::testseam::answerNextDialog(chosen);
        EXPECT_EQ(choose(), chosen) << "returned as chosen, existing or not";
        rb::testseam::answerNextDialog(nullptr);
        EXPECT_EQ(choose(), nullptr);
    }
}

TEST_F(Choosers, SaveAppendsVotWhereTheNameLacksIt)
{
    const struct {
        const char *chosen;
        const char *name;
    } cases[] = {{"unit", "unit.vot"},
                 {"unit.VOT", "unit.VOT"},
                 {"a.vot.txt", "a.vot.txt"},
                 {"unit.txt", "unit.txt.vot"}};
    for (const auto &c : cases) {
        rb::testseam::answerNextDialog(item(QString::fromLatin1(c.chosen)));
        rb::FolderItemPtr got = vosr::saveasvotfile();
        ASSERT_NE(got, nullptr) << c.chosen;
        EXPECT_EQ(got->Name(), QString::fromLatin1(c.name));
        EXPECT_EQ(got->NativePath(), tmp.filePath(QString::fromLatin1(c.name)));
    }
    rb::testseam::answerNextDialog(nullptr);
    EXPECT_EQ(vosr::saveasvotfile(), nullptr);
}

// The caller empties the item it gets; an existing file under the typed name must stay as it was.
TEST_F(Choosers, SaveLeavesAnExistingFileOfTheTypedNameAlone)
{
    touch(QStringLiteral("unit"), "keep me");
    rb::testseam::answerNextDialog(item(QStringLiteral("unit")));
    rb::FolderItemPtr got = vosr::saveasvotfile();
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->Name(), QStringLiteral("unit.vot"));
    QFile kept(tmp.filePath(QStringLiteral("unit")));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("unit.vot"))));
}

TEST_F(Choosers, PdfIsLaunchedOnlyWhenItExists)
{
    touch(QStringLiteral("manual.pdf"));
    rb::testseam::answerNextDialog(item(QStringLiteral("missing.pdf")));
    vosr::openpdffile();
    rb::testseam::answerNextDialog(nullptr);
    vosr::openpdffile();
    EXPECT_TRUE(rb::testseam::launchedDocuments().isEmpty());

    rb::testseam::answerNextDialog(item(QStringLiteral("manual.pdf")));
    vosr::openpdffile();
    EXPECT_EQ(rb::testseam::launchedDocuments(), QStringList{tmp.filePath(QStringLiteral("manual.pdf"))});
}

} // namespace
