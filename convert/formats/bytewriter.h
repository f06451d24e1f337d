// Writing little-endian numbers into a buffer sized beforehand.
#pragma once

#include <QtGlobal>

namespace morvane::formats {

// The caller sizes the buffer for everything written; nothing is checked.
class ByteWriter
{
public:
    explicit ByteWriter(char *out) : m_out(out) {}

    void u8(quint32 v) { put(v, 1); }
    void u16(quint32 v) { put(v, 2); }
    void u32(quint32 v) { put(v, 4); }
    void zeros(qint64 n)
    {
        for (qint64 i = 0; i < n; ++i)
            *m_out++ = 0;
    }
    void skip(qint64 n) { m_out += n; }
    char *position() const { return m_out; }

private:
    void put(quint32 v, int n)
    {
        for (int i = 0; i < n; ++i)
            *m_out++ = char((v >> (8 * i)) & 0xFF);
    }

    char *m_out;
};

} // namespace morvane::formats
