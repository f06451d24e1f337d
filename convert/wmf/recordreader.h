// A bounds-checked little-endian reader over the bytes of one record.
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace morvane::wmf {

// Reads past the end give zero and leave the reader failed for good, so a
// handler can read all its fields and check ok() once.
class RecordReader
{
public:
    explicit RecordReader(QByteArrayView bytes) : m_bytes(bytes) {}

    quint8 u8() { return quint8(take(1)); }
    quint16 u16() { return quint16(take(2)); }
    qint16 i16() { return qint16(quint16(take(2))); }
    quint32 u32() { return quint32(take(4)); }
    qint32 i32() { return qint32(quint32(take(4))); }

    // The next n bytes, or an empty view (and the reader failed) when fewer remain.
    QByteArrayView bytes(qsizetype n)
    {
        if (!m_ok || n < 0 || n > remaining()) {
            m_ok = false;
            return {};
        }
        const QByteArrayView out = m_bytes.sliced(m_pos, n);
        m_pos += n;
        return out;
    }

    void skip(qsizetype n) { bytes(n); }

    // Everything not read yet; the reader ends up at its end.
    QByteArrayView rest() { return bytes(remaining()); }

    qsizetype remaining() const { return m_bytes.size() - m_pos; }
    qsizetype size() const { return m_bytes.size(); }
    bool ok() const { return m_ok; }

private:
    quint64 take(int n)
    {
        const QByteArrayView b = bytes(n);
        quint64 v = 0;
        for (qsizetype i = b.size(); i > 0; --i)
            v = (v << 8) | quint8(b[i - 1]);
        return v;
    }

    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

} // namespace morvane::wmf
