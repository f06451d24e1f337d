// A bounded reader over bytes in memory: numbers in either byte order, a
// position that can be moved, and sticky failure.
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace morvane::formats {

enum class ByteOrder { LittleEndian, BigEndian };

// Every read is bounded by the bytes given. A read or a move past the end
// gives zero (or an empty view) and fails the reader for good: every later
// read gives zero too, so a caller reads all its fields and checks ok() once.
class ByteReader
{
public:
    explicit ByteReader(QByteArrayView bytes, ByteOrder order = ByteOrder::LittleEndian)
        : m_bytes(bytes), m_order(order)
    {
    }

    quint8 u8() { return quint8(take(1)); }
    quint16 u16() { return quint16(take(2)); }
    qint16 i16() { return qint16(quint16(take(2))); }
    quint32 u32() { return quint32(take(4)); }
    qint32 i32() { return qint32(quint32(take(4))); }

    // The next n bytes, or an empty view (and the reader failed) when fewer remain.
    QByteArrayView bytes(qint64 n)
    {
        if (!m_ok || n < 0 || n > remaining()) {
            m_ok = false;
            return {};
        }
        const QByteArrayView out = m_bytes.sliced(m_pos, qsizetype(n));
        m_pos += qsizetype(n);
        return out;
    }

    void skip(qint64 n) { bytes(n); }

    // Everything not read yet; the reader ends up at its end.
    QByteArrayView rest() { return bytes(remaining()); }

    // Moves to offset bytes from the start; the end itself is a valid place.
    void seek(qint64 offset)
    {
        if (!m_ok || offset < 0 || offset > m_bytes.size()) {
            m_ok = false;
            return;
        }
        m_pos = qsizetype(offset);
    }

    // A reader over the same bytes and byte order, at offset.
    ByteReader at(qint64 offset) const
    {
        ByteReader other = *this;
        other.seek(offset);
        return other;
    }

    void setByteOrder(ByteOrder order) { m_order = order; }
    ByteOrder byteOrder() const { return m_order; }

    qsizetype pos() const { return m_pos; }
    qsizetype remaining() const { return m_bytes.size() - m_pos; }
    qsizetype size() const { return m_bytes.size(); }
    bool ok() const { return m_ok; }

private:
    quint64 take(int n)
    {
        const QByteArrayView b = bytes(n);
        quint64 v = 0;
        if (m_order == ByteOrder::LittleEndian) {
            for (qsizetype i = b.size(); i > 0; --i)
                v = (v << 8) | quint8(b[i - 1]);
        } else {
            for (qsizetype i = 0; i < b.size(); ++i)
                v = (v << 8) | quint8(b[i]);
        }
        return v;
    }

    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
    ByteOrder m_order;
    bool m_ok = true;
};

} // namespace morvane::formats
