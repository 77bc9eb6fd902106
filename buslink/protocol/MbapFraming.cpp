#include "MbapFraming.h"

namespace buslink {

namespace {

int wordAt(QByteArrayView b, int i) { return quint8(b[i]) * 256 + quint8(b[i + 1]); }

} // namespace

QByteArray MbapFrame(quint16 transactionId, QByteArrayView unitBytes)
{
    QByteArray adu;
    adu.reserve(6 + unitBytes.size());
    const int length = int(unitBytes.size());
    const char header[6] = {char(transactionId >> 8), char(transactionId & 0xFF), 0, 0,
                            char((length >> 8) & 0xFF), char(length & 0xFF)};
    adu.append(header, 6);
    adu.append(unitBytes.data(), unitBytes.size());
    return adu;
}

MbapCut CutMbapFrame(QByteArrayView stream)
{
    MbapCut cut;
    if (stream.size() >= 4 && wordAt(stream, 2) != 0) {
        cut.status = MbapCut::Invalid;
        cut.problem = QStringLiteral("protocol id %1, not 0").arg(wordAt(stream, 2));
        return cut;
    }
    if (stream.size() < 6) return cut;
    const int length = wordAt(stream, 4);
    if (length < kMinMbapLengthField || length > kMaxMbapLengthField) {
        cut.status = MbapCut::Invalid;
        cut.problem = QStringLiteral("length %1, not %2 to %3").arg(length).arg(kMinMbapLengthField).arg(kMaxMbapLengthField);
        return cut;
    }
    if (stream.size() < 6 + length) return cut;
    cut.status = MbapCut::Frame;
    cut.length = 6 + length;
    cut.transactionId = quint16(wordAt(stream, 0));
    cut.unitBytes = QByteArray(stream.data() + 6, length);
    return cut;
}

} // namespace buslink
