// The firmware download of the main window: Enable, File, Start, one block per acknowledgement,
// the finishing step, Abort, Reset and the re-enable countdown.

#include "mainwindow.h"
#include "midilink/midisr.h"
#include "midilink/miditimer.h"
#include "rbframework/dialogs.h"
#include "rbframework/text.h"
#include "support/vosr.h"

#include <limits>
#include <new>

namespace korvane
{

namespace
{

constexpr int32_t enableDelayTicks = 10;

// The progress bar and the byte count are 32-bit: a larger image cannot be counted.
constexpr qint64 largestImage = std::numeric_limits<int32_t>::max();

QString tooLarge(const QString &path)
{
    return QStringLiteral("The file \"%1\" is too large to send: a firmware image must be smaller than "
                          "2 GiB (%2 bytes).")
        .arg(path)
        .arg(largestImage + 1);
}

} // namespace

void main::kenabsw_Action()
{
    const bool downloading = midisr::downfw;
    KReset().Enabled(true);
    kabort().Enabled(false);
    kenabsw().Enabled(false);
    kfactory().Enabled(false);
    kstart().Enabled(f != nullptr);
    const std::optional<midisr::FrameId> enable = midisr::download_enable();
    File2stream();
    if (downloading)
        startOver(enable);
    // File stays available when the image could not be reopened, so that another can be chosen;
    // the focus goes to it once it can take it.
    kfile().Enabled(true);
    kfile().SetFocus();
}

void main::startOver(std::optional<midisr::FrameId> enable)
{
    if (!enable || !f || !midisr::stream) {
        Abort();
        return;
    }
    // The download runs on: Start and Reset stay off, as Start left them.
    kstart().Enabled(false);
    KReset().Enabled(false);
    if (!takeImage())
        return;
    // The next block is the image's first, once the unit has handled the Enable: the answer to the
    // revision request sent after it tells.
    midisr::download.blockOut.reset();
}

void main::kfile_Action()
{
    desc().DeleteAllRows();
    f = vosr::openbinfile();
    // A download under way ends, whatever was chosen: the unit's image cannot be continued from
    // another file, nor from the one held without its first bytes.
    if (midisr::downfw)
        Abort();
    if (!f)
        return;
    if (f->Length() > largestImage) {
        rb::MsgBox(tooLarge(f->NativePath()));
        f = nullptr;
        return;
    }
    desc().AddRow(f->Name());
    File2stream();
}

void main::File2stream()
{
    if (!f)
        return;
    midisr::sentlen = 0;
    // The file held before is closed at once, not when its last reference goes.
    if (midisr::stream)
        midisr::stream->Close();
    midisr::stream = f->OpenAsBinaryFile(false);
    midisr::download.imageFile = f->NativePath();
    pbar().Value(0);
    if (!midisr::stream) {
        // Nothing can be sent from it: Start stays off.
        kstart().Enabled(false);
        rb::MsgBox(QStringLiteral("The firmware file \"%1\" cannot be opened.").arg(f->NativePath()));
        return;
    }
    pbar().Maximum(int(midisr::stream->Length()));
    KReset().Enabled(true);
    // Not onto an image that already holds blocks sent since the last Enable.
    kstart().Enabled(!midisr::download.imageBegun);
}

bool main::takeImage()
{
    rb::BinaryStream &file = rb::deref(midisr::stream);
    const QString &name = midisr::download.imageFile;
    file.Position(0);
    // One byte more than the largest image tells an image that has grown too large since File.
    QByteArray image;
    QString problem;
    try {
        image = file.Read(largestImage + 1);
        if (file.ReadError())
            problem = QStringLiteral("The firmware file \"%1\" cannot be read.").arg(name);
        else if (image.size() > largestImage)
            problem = tooLarge(name);
    } catch (const std::bad_alloc &) {
        // Where the memory the program may take is bounded (ulimit -v).
        problem =
            QStringLiteral("The firmware file \"%1\" is too large for the memory left to read it.").arg(name);
    }
    if (!problem.isEmpty()) {
        Abort();
        rb::MsgBox(problem);
        return false;
    }
    file.Close();
    midisr::stream = std::make_shared<rb::BinaryStream>(image);
    pbar().Maximum(int(image.size()));
    return true;
}

void main::kstart_Action()
{
    const miditimer::Hold starting;
    pbar().Visible(true);
    kabort().Enabled(true);
    kstart().Enabled(false);
    KReset().Enabled(false);
    kfile().Enabled(false);
    kclose().Enabled(false);
    unitCommandsAvailable(false);
    midisr::downfw = true;
    midisr::download.blockOut.reset();
    // Bytes typed by hand since the last Enable may already lie in the unit's image.
    if (midisr::download.imageBegun) {
        Abort();
        return;
    }
    if (!takeImage())
        return;
    // Nothing of this image has gone out yet: not the last run's count, nor its "Finished", while
    // the first block waits.
    DCount().Caption(QStringLiteral("0"));
    lcount().Caption(QStringLiteral("$0"));
    // Something sent before may still be acknowledged (Set, a hand-typed frame, the Enable whose
    // revision answer has not come yet): the first block waits until the answer to a revision
    // request shows that the unit has handled all of it.
    if (!midisr::unanswered.quiet() && !midisr::unanswered.quietOnAnswer() &&
        !midisr::cmd7e(midisr::cmdReadRevision)) {
        Abort();
        return;
    }
    midisr::sendDueBlock();
    // An empty image has already finished, and the finishing step hid the key.
    if (midisr::downfw)
        kabort().Visible(true);
}

void main::rxdatarq()
{
    rb::BinaryStream &image = rb::deref(midisr::stream);
    if (image.EOF()) {
        // The empty block completes the unit's image.
        if (midisr::binsend())
            Downdone();
        else
            Abort();
        return;
    }
    const std::optional<midisr::FrameId> block = midisr::binsend();
    if (!block) {
        // The unit never got it: nothing after it may follow.
        Abort();
        return;
    }
    midisr::download.blockOut = block;
    pbar().Value(int(image.Position()));
    lcount().Caption("$" + rb::Hex(pbar().Value()));
}

void main::Downdone()
{
    endDownload(QStringLiteral("Finished"));
    for (int i = 0; i < 3; ++i)
        rb::Beep();
}

void main::Abort()
{
    endDownload(QStringLiteral("Aborted"));
}

void main::endDownload(const QString &position)
{
    if (midisr::downfw)
        unitCommandsAvailable(true);
    midisr::downfw = false;
    midisr::download.blockOut.reset();
    kfile().Enabled(false);
    KReset().Enabled(true);
    kabort().Enabled(false);
    kstart().Enabled(false);
    kclose().Enabled(true);
    if (midisr::stream)
        midisr::stream->Close();
    pbar().Visible(false);
    lcount().Caption(position);
    kabort().Visible(false);
}

void main::unitCommandsAvailable(bool available)
{
    // During a countdown the revision Read comes back with Enable.
    kreadeprom().Enabled(available && enabdelay == 0);
    kreadip().Enabled(available);
    // Set only once an address has been read.
    ksetip().Enabled(available && ipaddr().Enabled());
}

void main::KReset_Action()
{
    Setenabdelay();
    Downdone();
    midisr::cmd7e(midisr::cmdReset);
    kclose().Enabled(true);
    kfactory().Enabled(true);
}

void main::kabort_action()
{
    Abort();
}
void main::Timer1_Action()
{
    Timer();
}

void main::Setenabdelay()
{
    kenabsw().Enabled(false);
    enabdelay = enableDelayTicks;
}

void main::Timer()
{
    if (enabdelay <= 0)
        return;
    --enabdelay;
    const bool back = enabdelay == 0;
    kenabsw().Enabled(back);
    kreadeprom().Enabled(back && !midisr::downfw);
}

} // namespace korvane
