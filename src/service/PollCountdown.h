#pragma once

#include <QString>

#include <optional>

// One minute's tick of the poll timer. With the counter at or above the poll
// interval it is time to poll (nothing is returned and the counter is left
// for the caller to reset after the poll); otherwise the counter goes up by
// one and the countdown text comes back. With interval P and the counter at
// 0 the ticks show P - 1 ... 0 and the next one polls: a poll every P + 1
// ticks. An interval of 0 or less polls on every tick.
namespace PollCountdown {

// The countdown text with the counter at `minutesElapsed`: the whole minutes
// left before the tick that polls, never below 0.
inline QString remainingText(qint32 minutesElapsed, qint32 interval)
{
    const qint64 left = qint64(interval) - minutesElapsed;
    return QString::number(left > 0 ? left : 0) +
           QStringLiteral(" Minutes Remaining Until Next Poll");
}

inline std::optional<QString> tick(qint32 &minutesElapsed, qint32 interval)
{
    if (minutesElapsed >= interval)
        return std::nullopt;
    ++minutesElapsed;
    return remainingText(minutesElapsed, interval);
}

// Ticks from the end of one poll to the next: P + 1 for an interval P above 0,
// else 1. In 64 bits: the largest interval gives 2^31.
inline qint64 ticksPerPoll(qint32 interval)
{
    return interval > 0 ? qint64(interval) + 1 : 1;
}

} // namespace PollCountdown
