#include "graphcycletiming.h"

#include <limits>

void GraphCycleTiming::add(qint64 positionUs, qint64 atUs)
{
    answers.push_back({atUs, positionUs - atUs});
}

qint64 GraphCycleTiming::positionAt(qint64 nowUs)
{
    // The last answers stand however old, as the server's own word would.
    while (answers.size() > 2 && answers.front().atUs < nowUs - windowUs)
        answers.pop_front();
    if (answers.empty())
        return 0;
    qint64 least = std::numeric_limits<qint64>::max(), second = least;
    for (const Answer &answer : answers) {
        if (answer.aheadUs < least)
            second = least, least = answer.aheadUs;
        else if (answer.aheadUs < second)
            second = answer.aheadUs;
    }
    return nowUs + (answers.size() > 1 ? second : least);
}
