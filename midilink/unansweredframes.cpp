#include "unansweredframes.h"

#include <algorithm>

namespace korvane
{

UnansweredFrames::Id UnansweredFrames::sent(Frame frame)
{
    if (entries_.size() >= limit) {
        switch (entries_.front().frame) {
        case Frame::RevisionRequest:
            ++revisionsLetGo_;
            break;
        case Frame::AddressRequest:
            ++addressesLetGo_;
            break;
        case Frame::Block:
        case Frame::Command:
            unsettledLetGo_ = true;
            break;
        }
        entries_.pop_front();
    }
    entries_.push_back({++lastId_, frame});
    return lastId_;
}

std::optional<UnansweredFrames::Id> UnansweredFrames::acknowledged()
{
    if (unsettledLetGo_)
        return std::nullopt;
    // Requests are never acknowledged: the first frame that may be is the one answered, when it is
    // certain to be.
    const auto it = std::find_if(entries_.begin(), entries_.end(), mayBeAcknowledged);
    if (it == entries_.end() || it->frame != Frame::Block)
        return std::nullopt;
    const Id block = it->id;
    settleUpTo(it);
    return block;
}

void UnansweredFrames::requestAnswered(Frame request)
{
    std::size_t &letGo = request == Frame::RevisionRequest ? revisionsLetGo_ : addressesLetGo_;
    if (letGo > 0) {
        --letGo;
        return;
    }
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [request](const Entry &e) { return e.frame == request; });
    if (it != entries_.end())
        settleUpTo(it);
}

bool UnansweredFrames::quiet() const
{
    return !unsettledLetGo_ && std::none_of(entries_.begin(), entries_.end(), mayBeAcknowledged);
}

bool UnansweredFrames::quietOnAnswer() const
{
    const auto last = std::find_if(entries_.rbegin(), entries_.rend(), mayBeAcknowledged);
    return std::any_of(entries_.rbegin(), last, [](const Entry &e) { return !mayBeAcknowledged(e); });
}

void UnansweredFrames::clear()
{
    *this = UnansweredFrames();
}

void UnansweredFrames::settleUpTo(std::deque<Entry>::iterator last)
{
    entries_.erase(entries_.begin(), last + 1);
    revisionsLetGo_ = 0;
    addressesLetGo_ = 0;
    unsettledLetGo_ = false;
}

} // namespace korvane
