#include "WholeSecondClock.h"

#include <chrono>

namespace buslink {

namespace {
std::function<qint64()>& source()
{
    static std::function<qint64()> replaced;
    return replaced;
}
} // namespace

qint64 WholeSecondClock::nowMilliseconds()
{
    if (source()) return source()();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 WholeSecondClock::nowSeconds()
{
    return nowMilliseconds() / 1000;
}

void WholeSecondClock::setSourceForTests(std::function<qint64()> milliseconds)
{
    source() = std::move(milliseconds);
}

ManualClock::ManualClock()
{
    WholeSecondClock::setSourceForTests([this] { return now; });
}

ManualClock::~ManualClock()
{
    WholeSecondClock::setSourceForTests({});
}

} // namespace buslink
