// Builds metafiles record by record for the tests. Function numbers are
// written out here rather than taken from the player, so that a wrong number
// on either side shows.
#pragma once

#include "support/bitmaps.h"

#include <QList>
#include <QPoint>

#include <algorithm>
#include <array>

namespace wmftest {

using namespace fixtures;

class WmfBuilder
{
public:
    // A metafile whose placeable header gives the box at inch units per inch.
    static WmfBuilder placeable(int left, int top, int right, int bottom, int inch = 96)
    {
        WmfBuilder b;
        b.m_placeable = true;
        b.m_box = {left, top, right, bottom};
        b.m_inch = inch;
        return b;
    }
    // A metafile with the standard header only.
    static WmfBuilder standard() { return WmfBuilder(); }

    WmfBuilder &objects(int count)
    {
        m_objects = count;
        return *this;
    }

    WmfBuilder &add(quint16 function, const QByteArray &params = {})
    {
        const quint32 size = quint32(3 + params.size() / 2);
        put32(m_records, size);
        put16(m_records, function);
        m_records.append(params);
        m_maxRecord = std::max(m_maxRecord, size);
        return *this;
    }
    // Bytes appended as they are, for records that do not hold together.
    WmfBuilder &raw(const QByteArray &bytes)
    {
        m_records.append(bytes);
        return *this;
    }

    WmfBuilder &windowOrg(int x, int y) { return add(0x020B, words({y, x})); }
    WmfBuilder &windowExt(int x, int y) { return add(0x020C, words({y, x})); }
    WmfBuilder &mapMode(int mode) { return add(0x0103, words({mode})); }
    WmfBuilder &pen(int style, int width, QRgb c) { return add(0x02FA, words({style, width, 0}) + colorRef(c)); }
    WmfBuilder &nullPen() { return pen(5, 0, 0); }
    WmfBuilder &brush(int style, QRgb c, int hatch = 0) { return add(0x02FC, words({style}) + colorRef(c) + words({hatch})); }
    WmfBuilder &select(int index) { return add(0x012D, words({index})); }
    WmfBuilder &remove(int index) { return add(0x01F0, words({index})); }
    WmfBuilder &saveDc() { return add(0x001E); }
    WmfBuilder &restoreDc(int level) { return add(0x0127, words({level})); }
    WmfBuilder &fillMode(int mode) { return add(0x0106, words({mode})); }
    WmfBuilder &rectangle(int l, int t, int r, int b) { return add(0x041B, words({b, r, t, l})); }
    WmfBuilder &ellipse(int l, int t, int r, int b) { return add(0x0418, words({b, r, t, l})); }
    WmfBuilder &intersectClip(int l, int t, int r, int b) { return add(0x0416, words({b, r, t, l})); }
    WmfBuilder &excludeClip(int l, int t, int r, int b) { return add(0x0415, words({b, r, t, l})); }
    WmfBuilder &textColor(QRgb c) { return add(0x0209, colorRef(c)); }
    WmfBuilder &bkMode(int mode) { return add(0x0102, words({mode})); }
    WmfBuilder &polygon(const QList<QPoint> &points, quint16 function = 0x0324)
    {
        QByteArray params = words({int(points.size())});
        for (const QPoint &p : points)
            params += words({p.x(), p.y()});
        return add(function, params);
    }
    WmfBuilder &font(int height, const QByteArray &face, int escapement = 0)
    {
        QByteArray params = words({height, 0, escapement, 0, 400}) + QByteArray(8, '\0') + face;
        params.append('\0');
        if (params.size() % 2)
            params.append('\0');
        return add(0x02FB, params);
    }
    WmfBuilder &textOut(int x, int y, const QByteArray &text)
    {
        QByteArray padded = text;
        if (padded.size() % 2)
            padded.append('\0');
        return add(0x0521, words({int(text.size())}) + padded + words({y, x}));
    }
    // One bitmap drawn one to one at (x, y).
    WmfBuilder &stretchDib(int x, int y, int w, int h, const QByteArray &dib, quint32 rop = 0x00CC0020)
    {
        return add(0x0F43, dword(rop) + words({0, h, w, 0, 0, h, w, y, x}) + dib);
    }

    QByteArray build(bool withEof = true) const
    {
        QByteArray records = m_records;
        if (withEof) {
            put32(records, 3);
            put16(records, 0);
        }
        QByteArray out;
        if (m_placeable) {
            const quint32 head[10] = {0xCDD7, 0x9AC6, 0, quint32(m_box[0]) & 0xFFFF, quint32(m_box[1]) & 0xFFFF,
                                      quint32(m_box[2]) & 0xFFFF, quint32(m_box[3]) & 0xFFFF, quint32(m_inch), 0, 0};
            quint32 sum = 0;
            for (const quint32 w : head) {
                put16(out, w);
                sum ^= w;
            }
            put16(out, sum);
        }
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x0300);
        put32(out, quint32(9 + records.size() / 2));
        put16(out, quint32(m_objects));
        put32(out, std::max<quint32>(m_maxRecord, 3));
        put16(out, 0);
        return out + records;
    }

private:
    bool m_placeable = false;
    std::array<int, 4> m_box = {0, 0, 0, 0};
    int m_inch = 96;
    int m_objects = 16;
    quint32 m_maxRecord = 0;
    QByteArray m_records;
};

} // namespace wmftest
