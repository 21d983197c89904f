// FolderItem and its streams, on real files in a temporary folder.
#include "rbframework/folderitem.h"
#include "rbframework/testseam.h"
#include "tests/common/environment_variable.h"
#include "tests/common/unanswered_fifo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utility>

namespace
{

class Files : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        folder = std::make_shared<rb::FolderItem>(tmp.path());
        rb::testseam::reset();
    }

    rb::FolderItemPtr writeRaw(const QString &name, const QByteArray &bytes)
    {
        QFile f(tmp.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return folder->Child(name);
    }

    static QStringList readAll(const rb::FolderItem &item)
    {
        QStringList lines;
        auto in = item.OpenAsTextFile();
        if (!in)
            return {QStringLiteral("<nil>")};
        while (!in->EOF())
            lines.append(in->ReadLine());
        in->Close();
        return lines;
    }

    // The lengths SkipLine answers, line by line.
    static QList<qint64> skipAll(const rb::FolderItem &item)
    {
        QList<qint64> lengths;
        auto in = item.OpenAsTextFile();
        while (in && !in->EOF())
            lengths.append(in->SkipLine());
        return lengths;
    }
    // The byte length of each line.
    static QList<qint64> lengthsOf(const QStringList &lines)
    {
        QList<qint64> lengths;
        for (const QString &line : lines)
            lengths.append(qint64(line.toLatin1().size()));
        return lengths;
    }

    static QByteArray rawBytes(const rb::FolderItem &item)
    {
        QFile f(item.NativePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir tmp;
    rb::FolderItemPtr folder;
};

TEST_F(Files, TextStreamReadsBackWhatItWrote)
{
    const QStringList lines = {"Minport", "1: Unit In - ALSA", "", "basefont", "Ünïcode €", ""};
    auto item = folder->Child("korvane.ini");
    auto out = item->CreateTextFile();
    ASSERT_TRUE(out);
    for (const QString &l : lines)
        out->WriteLine(l);
    ASSERT_TRUE(out->Close());

    EXPECT_EQ(rawBytes(*item).count('\n'), lines.size());
    EXPECT_EQ(readAll(*item), lines);
}

TEST_F(Files, ReadLineAcceptsEveryEnding)
{
    const struct {
        const char *name;
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"LF", "a\nb\n", {"a", "b"}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"lone CR", "a\rb\r", {"a", "b"}},
        {"last line without ending", "a\nb", {"a", "b"}},
        {"CR LF, last without", "a\r\nb", {"a", "b"}},
        {"empty lines kept", "\n\r\n\nx", {"", "", "", "x"}},
        {"empty file", "", {}},
        {"NUL and control bytes",
         QByteArray("a\0b\x01\x1b\n\0\n", 8),
         {QString::fromLatin1("a\0b\x01\x1b", 5), QString(QChar(0))}},
        {"not UTF-8 read as Latin-1", "\xF0\x7E\xFF\n", {QString::fromLatin1("\xF0\x7E\xFF")}},
    };
    for (const auto &c : cases) {
        auto item = writeRaw("fixture.txt", c.bytes);
        EXPECT_EQ(readAll(*item), c.lines) << c.name;
        EXPECT_EQ(skipAll(*item), lengthsOf(c.lines)) << c.name;
    }
}

TEST_F(Files, ReadLineAcrossTheReadBuffer)
{
    const struct {
        const char *name;
        QByteArray first;
    } cases[] = {
        // The CR of a CR LF is the last byte of the first 64 KiB chunk, its LF the first of the next.
        {"CR LF across two chunks", QByteArray(64 * 1024 - 1, 'x')},
        {"a line of many chunks", QByteArray(5 * 64 * 1024 + 7, 'x')},
    };
    for (const auto &c : cases) {
        auto item = writeRaw("long.txt", c.first + "\r\n" + "y\r\n");
        const QStringList lines = {QString::fromLatin1(c.first), "y"};
        EXPECT_EQ(readAll(*item), lines) << c.name;
        EXPECT_EQ(skipAll(*item), lengthsOf(lines)) << c.name;
    }
}

TEST_F(Files, EofAndReadLineAfterTheEnd)
{
    auto item = writeRaw("one.txt", "only\n");
    auto in = item->OpenAsTextFile();
    ASSERT_TRUE(in);
    EXPECT_FALSE(in->EOF());
    EXPECT_EQ(in->ReadLine(), "only");
    EXPECT_TRUE(in->EOF());
    EXPECT_EQ(in->ReadLine(), "");
    in->Close();
    EXPECT_TRUE(in->EOF());
    EXPECT_EQ(in->ReadLine(), "");
}

TEST_F(Files, CreateTextFileReplacesTheOldContent)
{
    auto item = writeRaw("korvane.ini", QByteArray(1000, 'z') + "\n");
    auto out = item->CreateTextFile();
    ASSERT_TRUE(out);
    out->WriteLine("new");
    ASSERT_TRUE(out->Close());
    EXPECT_EQ(rawBytes(*item), "new\n");
}

TEST_F(Files, NilWhenItCannotOpen)
{
    auto missing = folder->Child("missing.bin");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->Exists());
    EXPECT_FALSE(missing->OpenAsTextFile());
    EXPECT_FALSE(missing->OpenAsBinaryFile(false));
    EXPECT_FALSE(missing->OpenAsBinaryFile(true));
    EXPECT_FALSE(missing->Exists()); // opening for writing does not create it

    EXPECT_FALSE(folder->OpenAsTextFile());
    EXPECT_FALSE(folder->OpenAsBinaryFile(true));
    EXPECT_FALSE(folder->CreateTextFile());

    auto inMissingFolder = folder->Child("no such folder")->Child("korvane.ini");
    EXPECT_FALSE(inMissingFolder->CreateTextFile());
}

TEST_F(Files, ANamedPipeAnswersNilAtOnceAndStaysAsItWas)
{
    korvanetest::UnansweredFifo pipe(tmp.filePath("pipe"));
    ASSERT_TRUE(QFile::link(tmp.filePath("pipe"), tmp.filePath("link")));
    for (const char *name : {"pipe", "link"}) {
        SCOPED_TRACE(name);
        auto item = folder->Child(name);
        EXPECT_TRUE(item->Exists());
        EXPECT_EQ(item->Length(), 0);
        EXPECT_FALSE(item->OpenAsTextFile());
        EXPECT_FALSE(item->OpenAsBinaryFile(false));
        EXPECT_FALSE(item->OpenAsBinaryFile(true));
        EXPECT_FALSE(item->CreateTextFile());
        EXPECT_NE(item->ReplaceContents("x\n"), std::nullopt);
    }
    EXPECT_FALSE(pipe.blockedSomeone());
    EXPECT_FALSE(QFileInfo(tmp.filePath("pipe")).isFile());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
              QStringList({"link", "pipe"}));
}

TEST_F(Files, ExistsTellsAMissingFileFromOneThatCannotBeTestedFor)
{
    writeRaw("file", "x");
    const struct {
        const char *what;
        rb::FolderItemPtr item;
        int error;
    } cases[] = {
        {"missing", folder->Child("missing"), 0},
        {"below a file, where nothing can be", folder->Child("file")->Child("below"), 0},
        {"a name longer than the system takes", folder->Child(QString(300, u'n')), ENAMETOOLONG},
    };
    for (const auto &c : cases) {
        EXPECT_FALSE(c.item->Exists()) << c.what;
        EXPECT_EQ(c.item->LastErrorCode(), c.error) << c.what;
    }
    EXPECT_TRUE(folder->Child("file")->Exists());
}

TEST_F(Files, BinaryStreamReadsBytesSignedAndUnsigned)
{
    auto item = writeRaw("fw.bin", QByteArray("\xF0\x01\x7F", 3));
    auto bin = item->OpenAsBinaryFile(false);
    ASSERT_TRUE(bin);
    EXPECT_EQ(bin->Length(), 3);
    EXPECT_EQ(bin->ReadInt8(), -16);
    EXPECT_EQ(bin->Position(), 1);
    EXPECT_EQ(bin->ReadUInt8(), 1);
    EXPECT_FALSE(bin->EOF());
    EXPECT_EQ(bin->ReadInt8(), 127);
    EXPECT_TRUE(bin->EOF());
    EXPECT_EQ(bin->ReadInt8(), 0);
    bin->Position(0);
    EXPECT_EQ(bin->ReadUInt8(), 0xF0);
    bin->Position(-5);
    EXPECT_EQ(bin->Position(), 0);
    bin->Close();
    EXPECT_TRUE(bin->EOF());
    EXPECT_EQ(bin->ReadInt8(), 0);
    EXPECT_EQ(bin->Length(), 0);

    auto rw = item->OpenAsBinaryFile(true);
    ASSERT_TRUE(rw);
    rw->Close();
    EXPECT_EQ(rawBytes(*item), QByteArray("\xF0\x01\x7F", 3)); // opening for writing keeps the bytes
}

TEST_F(Files, ChildNameAndRename)
{
    for (const char *bad : {"", ".", "..", "a/b", "/etc"})
        EXPECT_FALSE(folder->Child(bad)) << bad;
    EXPECT_FALSE(folder->Child(QString("a") + QChar(0) + "b"));

    auto unit = folder->Child("unit");
    EXPECT_EQ(unit->Name(), "unit");
    EXPECT_EQ(unit->Parent()->NativePath(), QDir::cleanPath(tmp.path()));
    unit->Name("unit.vot"); // not on disk: only the item changes
    EXPECT_EQ(unit->NativePath(), tmp.filePath("unit.vot"));
    EXPECT_FALSE(unit->Exists());

    auto existing = writeRaw("fw", "x");
    existing->Name("fw.bin");
    EXPECT_TRUE(QFile::exists(tmp.filePath("fw.bin")));
    EXPECT_FALSE(QFile::exists(tmp.filePath("fw")));
    EXPECT_EQ(existing->Name(), "fw.bin");

    writeRaw("taken", "t");
    existing->Name("taken"); // the rename fails: the item keeps naming its file
    EXPECT_EQ(existing->Name(), "fw.bin");
    EXPECT_EQ(rawBytes(*existing), "x");
    existing->Name("../escape");
    EXPECT_EQ(existing->Name(), "fw.bin");

    EXPECT_FALSE(rb::Volume(0)->Parent());
    EXPECT_EQ(rb::Volume(0)->Child("Documents")->NativePath(), "/Documents");
}

TEST(FolderItemPaths, KeepWhatTheSystemReadsInThem)
{
    const struct {
        QByteArray given, kept;
    } cases[] = {
        {"/a//b/./c/", "/a/b/c"},                   // parts that name nothing of their own go
        {"/a/link/../cfg", "/a/link/../cfg"},       // after a link, ".." is not the link's folder
        {"/caf\xE9/unit.vot", "/caf\xE9/unit.vot"}, // no UTF-8 text
    };
    for (const auto &c : cases)
        EXPECT_EQ(rb::FolderItem::FromNativePath(c.given)->NativePathBytes(), c.kept) << c.given.constData();
    EXPECT_EQ(rb::FolderItem::FromNativePath("/a/link/..")->Parent()->NativePathBytes(), "/a/link/../..");
    EXPECT_EQ(rb::FolderItem::FromNativePath("/caf\xE9")->Child("unit.vot")->NativePathBytes(),
              "/caf\xE9/unit.vot");
    EXPECT_EQ(rb::FolderItem::FromNativePath("/caf\xE9")->Name(), QString::fromUtf8("caf\uFFFD")) << "shown";
}

TEST_F(Files, LaunchIsRecordedUnderTest)
{
    auto pdf = writeRaw("manual.pdf", "%PDF");
    EXPECT_TRUE(pdf->Launch(true));
    rb::testseam::failLaunches(true);
    EXPECT_FALSE(pdf->Launch(true)) << "the system could not open it";
    EXPECT_EQ(rb::testseam::launchedDocuments(), QStringList({pdf->NativePath(), pdf->NativePath()}));
}

TEST_F(Files, ApplicationDataIsTheXdgConfigFolderAndIsCreated)
{
    korvanetest::EnvironmentVariable xdg("XDG_CONFIG_HOME"), home("HOME");

    const QString config = tmp.filePath("xdg/config");
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    auto data = rb::SpecialFolder::ApplicationData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->NativePath(), config);
    EXPECT_TRUE(data->Directory());

    // Unset, empty or relative: the home folder's .config.
    qputenv("HOME", tmp.filePath("home").toUtf8());
    for (const char *value : {static_cast<const char *>(nullptr), "", "relative/dir"}) {
        if (value)
            qputenv("XDG_CONFIG_HOME", value);
        else
            qunsetenv("XDG_CONFIG_HOME");
        data = rb::SpecialFolder::ApplicationData();
        EXPECT_EQ(data->NativePath(), tmp.filePath("home/.config")) << (value ? value : "unset");
        EXPECT_TRUE(data->Directory());
    }
}

// The folder the system names: the variables' bytes as they are, also where they are no UTF-8
// text, and ".." as the system reads it, after a link the parent of the link's target.
TEST_F(Files, ApplicationDataIsTheFolderTheSystemNames)
{
    korvanetest::EnvironmentVariable xdg("XDG_CONFIG_HOME"), home("HOME");
    const QByteArray base = QFile::encodeName(tmp.path());
    ASSERT_TRUE(QDir().mkpath(tmp.filePath("real/deep")));
    ASSERT_TRUE(QFile::link("real/deep", tmp.filePath("link")));
    const struct {
        const char *what;
        QByteArray xdg, home; // empty: unset
        QByteArray folder;    // where the system finds the folder
    } cases[] = {
        {"XDG_CONFIG_HOME in Latin-1", base + "/caf\xE9", "", base + "/caf\xE9"},
        {"HOME in Latin-1", "", base + "/h\xF6me", base + "/h\xF6me/.config"},
        {"a parent after a link", base + "/link/../cfg", "", base + "/real/cfg"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto &[name, value] : {std::pair{"XDG_CONFIG_HOME", c.xdg}, std::pair{"HOME", c.home}}) {
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
        const rb::FolderItemPtr data = rb::SpecialFolder::ApplicationData();
        ASSERT_TRUE(data);
        EXPECT_TRUE(data->Directory());
        const rb::TextOutputStreamPtr out = data->Child("korvane.ini")->CreateTextFile();
        ASSERT_TRUE(out);
        out->WriteLine("found");
        EXPECT_TRUE(out->Close());
        const QByteArray file = c.folder + "/korvane.ini";
        EXPECT_EQ(::access(file.constData(), F_OK), 0) << file.constData();
        // Removed here: QTemporaryDir reads names as text, and cannot remove one that is no UTF-8.
        ::remove(file.constData());
        ::rmdir(c.folder.constData());
    }
    ::rmdir((base + "/h\xF6me").constData());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"link", "real"}))
        << "no other folder was made";
}

TEST(Folders, VolumeAndProgramFolder)
{
    ASSERT_TRUE(rb::Volume(0));
    EXPECT_EQ(rb::Volume(0)->NativePath(), "/");
    EXPECT_FALSE(rb::Volume(1));
    EXPECT_FALSE(rb::Volume(-1));
    EXPECT_EQ(rb::GetFolderItem("")->NativePath(), QCoreApplication::applicationDirPath());
    EXPECT_EQ(rb::GetFolderItem("plugins")->NativePath(),
              QCoreApplication::applicationDirPath() + "/plugins");
}

} // namespace
