// Scripted dialogs, message boxes and beeps: what the program showed and what it got back.
#include "rbframework/dialogs.h"
#include "rbframework/testseam.h"

#include <gtest/gtest.h>

namespace
{

class Dialogs : public ::testing::Test
{
  protected:
    void SetUp() override { rb::testseam::reset(); }
    void TearDown() override { rb::testseam::reset(); }
};

TEST(FileTypeText, UsableAsAQtNameFilter)
{
    const struct {
        const char *name, *extensions, *expected;
    } cases[] = {
        {"binary", "bin", "binary (*.bin)"},
        {"votxt", "vot", "votxt (*.vot)"},
        {"images", "png;.JPG; gif", "images (*.png *.JPG *.gif)"},
        {"anything", "", "anything (*)"},
        {"", "pdf", "*.pdf"},
        {"odd (name)", "bin", "odd name (*.bin)"},
    };
    for (const auto &c : cases) {
        rb::FileType t;
        t.Name = c.name;
        t.MacType = "BIN ";
        t.Extensions = c.extensions;
        EXPECT_EQ(t.Operator_Convert(), c.expected) << c.name;
    }
}

TEST_F(Dialogs, ScriptedFileDialogsRecordTheirSettingsAndAnswerInOrder)
{
    auto chosen = std::make_shared<rb::FolderItem>("/tmp/fw.bin");
    rb::testseam::answerNextDialog(chosen);
    rb::testseam::answerNextDialog(nullptr);

    rb::FileType bin;
    bin.Name = "binary";
    bin.Extensions = "bin";
    rb::OpenDialog open;
    open.InitialDirectory = rb::Volume(0)->Child("Documents");
    open.Title = "Select a Bin file";
    open.Filter = bin;
    EXPECT_EQ(open.ShowModal(), chosen);

    rb::SaveAsDialog save;
    save.SuggestedFileName = "VRQ1.vot";
    save.Title = "Select a VRQ-1 file";
    EXPECT_EQ(save.ShowModal(), nullptr); // queued cancel
    EXPECT_EQ(open.ShowModal(), nullptr); // nothing queued: cancelled, never blocks

    const auto &shown = rb::testseam::shownDialogs();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_FALSE(shown[0].saving);
    EXPECT_EQ(shown[0].title, "Select a Bin file");
    EXPECT_EQ(shown[0].filter, "binary (*.bin)");
    EXPECT_EQ(shown[0].initialDirectory, "/Documents");
    EXPECT_EQ(shown[0].suggestedFileName, "");
    EXPECT_TRUE(shown[1].saving);
    EXPECT_EQ(shown[1].suggestedFileName, "VRQ1.vot");
    EXPECT_EQ(shown[1].initialDirectory, ""); // none given
}

TEST_F(Dialogs, MsgBoxRecordsTheTextAndAnswersTheQueuedButtonOrTheDefault)
{
    QStringList seenByHook;
    rb::testseam::onMsgBox([&](const QString &m) { seenByHook.append(m); });
    rb::testseam::answerNextMsgBox(2);
    EXPECT_EQ(rb::MsgBox("bad input port -10000"), 2);
    EXPECT_EQ(rb::MsgBox("config file missing"), rb::MsgBoxAnswer::OK);
    EXPECT_EQ(rb::MsgBox("replace?", rb::MsgBoxButtons::YesNo), rb::MsgBoxAnswer::Yes);
    EXPECT_EQ(rb::MsgBox("replace?", rb::MsgBoxButtons::YesNo + rb::MsgBoxButtons::SecondDefault),
              rb::MsgBoxAnswer::No);
    EXPECT_EQ(rb::testseam::shownMessages(),
              QStringList({"bad input port -10000", "config file missing", "replace?", "replace?"}));
    EXPECT_EQ(seenByHook, rb::testseam::shownMessages());
}

TEST_F(Dialogs, HookMayShowAnotherMessageOrReplaceItself)
{
    rb::testseam::onMsgBox([](const QString &m) {
        rb::testseam::onMsgBox({});
        rb::MsgBox("inner after " + m);
    });
    rb::MsgBox("outer");
    EXPECT_EQ(rb::testseam::shownMessages(), QStringList({"outer", "inner after outer"}));
}

TEST_F(Dialogs, BeepsAreCountedAndResetForgetsEverything)
{
    rb::Beep();
    rb::Beep();
    rb::Beep();
    EXPECT_EQ(rb::testseam::beepCount(), 3);

    rb::testseam::answerNextMsgBox(7);
    rb::testseam::answerNextDialog(rb::Volume(0));
    rb::testseam::reset();
    EXPECT_EQ(rb::testseam::beepCount(), 0);
    EXPECT_EQ(rb::MsgBox("m"), 1);
    rb::OpenDialog d;
    EXPECT_EQ(d.ShowModal(), nullptr);
    EXPECT_EQ(rb::testseam::shownMessages().size(), 1); // scripting stays on after reset
}

} // namespace
