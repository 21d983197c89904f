// The record of the frames sent to the unit and not yet answered, which attributes each of the unit's
// answers to the frame it answers, and what the unit's image holds since its last enable-update frame.

#include "midisr.h"

#include <algorithm>
#include <deque>

namespace korvane::midisr
{

std::optional<FrameId> awaited;
bool imagebegun = false;
int64_t imagebytes = 0;

namespace
{

// At most this many unanswered frames are kept: the record grows only by the user's commands and one
// block at a time, but a unit that never answers must not make it grow without end. Beyond it, the
// oldest is taken as never answered.
constexpr std::size_t unansweredLimit = 64;

struct Unanswered {
    FrameId id;
    AnswerKind expects;
};

std::deque<Unanswered> unanswered; // oldest first
FrameId lastid = 0;

AnswerKind answerTo(uint8_t command)
{
    switch (command) {
    case cmdReadRevision:
        return AnswerKind::Revision;
    case cmdReadAddress:
        return AnswerKind::Address;
    default:
        return AnswerKind::Acknowledgement;
    }
}

// Forgets the frames up to and including this one; the awaited frame among them awaits no more.
// Answers whether it was this one.
bool forget(FrameId last)
{
    while (!unanswered.empty() && unanswered.front().id <= last)
        unanswered.pop_front();
    if (!awaited || *awaited > last)
        return false;
    const bool answered = *awaited == last;
    awaited.reset();
    return answered;
}

} // namespace

std::optional<FrameId> framesent(const rb::MemoryBlock &m)
{
    // A frame for the unit: F0 7E <device byte> <command> <length> ... F7, ending at the first F7,
    // where the unit stops reading.
    const qsizetype end = m.bytes().indexOf(char(sysexEnd), 1);
    if (end < 5 || m.Byte(0) != sysexStart || m.Byte(1) != unitMessage || m.Byte(2) != midiidbyte)
        return std::nullopt;
    const uint8_t command = uint8_t(m.Byte(3));
    if (command == cmdEnableUpdate) {
        imagebegun = false;
        imagebytes = 0;
    } else if (command == cmdFirmwareBlock) {
        imagebegun = true;
        imagebytes += m.Byte(4);
    }
    if (unanswered.size() >= unansweredLimit)
        forget(unanswered.front().id);
    unanswered.push_back({++lastid, answerTo(command)});
    return lastid;
}

bool settle(AnswerKind kind)
{
    const auto it = std::find_if(unanswered.begin(), unanswered.end(),
                                 [kind](const Unanswered &u) { return u.expects == kind; });
    if (it == unanswered.end())
        return false;
    return forget(it->id);
}

void forgetsent()
{
    unanswered.clear();
    lastid = 0;
    awaited.reset();
    imagebegun = false;
    imagebytes = 0;
}

} // namespace korvane::midisr
