#pragma once
// Bytes received and not yet framed, with a fixed capacity and a mark where the
// line last went silent. redim(lower, upper) sizes it as the component's arrays
// are sized (capacity upper - lower + 1) and discards its contents.
#include <QByteArray>
#include <QByteArrayView>
#include <algorithm>

namespace buslink {

class ReceiveBuffer {
public:
    void redim(int lower, int upper)
    {
        lowest = lower;
        room = std::max(0, upper - lower + 1);
        clear();
    }
    int lowerBound() const { return lowest; }
    int upperBound() const { return lowest + room - 1; }
    int capacity() const { return room; }

    const QByteArray& bytes() const { return held; }
    int size() const { return int(held.size()); }
    bool isEmpty() const { return held.isEmpty(); }

    // Appends what fits; returns how many bytes were taken.
    int append(QByteArrayView more)
    {
        const int taken = int(std::min<qsizetype>(more.size(), room - held.size()));
        held.append(more.first(taken));
        return taken;
    }
    // Takes the first n bytes out; the silence mark moves with the bytes.
    void drop(int n)
    {
        n = std::clamp(n, 0, size());
        held.remove(0, n);
        silentAfter = silentAfter > n ? silentAfter - n : 0;
    }
    void clear()
    {
        held.clear();
        silentAfter = 0;
    }

    // The line went quiet after the bytes held now.
    void markSilence() { silentAfter = size(); }
    // How many of the first bytes the last silence ended (0: none).
    int silentBytes() const { return silentAfter; }
    // What the silence ended is settled; the bytes still held wait for more.
    void forgetSilence() { silentAfter = 0; }

private:
    QByteArray held;
    int lowest = 0;
    int room = 0;
    int silentAfter = 0;
};

} // namespace buslink
