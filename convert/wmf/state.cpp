#include "convert/wmf/state.h"

#include <cmath>

namespace morvane::wmf {

namespace {

double unitsPerInch(int mapMode)
{
    switch (mapMode) {
    case MapLoMetric: return 254.0;
    case MapHiMetric: return 2540.0;
    case MapLoEnglish: return 100.0;
    case MapHiEnglish: return 1000.0;
    case MapTwips: return 1440.0;
    default: return 0.0;
    }
}

} // namespace

QRgb colorFromRef(quint32 value, const QList<QRgb> &palette)
{
    if ((value >> 24) == 0x01) {
        const quint32 index = value & 0xFFFF;
        return index < quint32(palette.size()) ? palette[index] : qRgb(0, 0, 0);
    }
    return qRgb(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

QTransform logicalToDevice(const DeviceContext &dc, const QTransform &frame)
{
    double sx, sy;
    if (const double upi = unitsPerInch(dc.mapMode); upi > 0) {
        sx = 96.0 / upi;
        sy = -sx;
    } else {
        sx = dc.viewportExt.x() / dc.windowExt.x();
        sy = dc.viewportExt.y() / dc.windowExt.y();
        if (dc.mapMode == MapIsotropic) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
    }
    const double dx = dc.viewportOrg.x() - dc.windowOrg.x() * sx;
    const double dy = dc.viewportOrg.y() - dc.windowOrg.y() * sy;
    return QTransform(sx, 0, 0, sy, dx, dy) * frame;
}

bool ObjectTable::add(GdiObject object)
{
    if (!m_free.empty()) {
        const quint32 slot = *m_free.begin();
        m_free.erase(m_free.begin());
        m_slots[slot] = std::move(object);
        return true;
    }
    if (m_slots.size() >= MaxSlots)
        return false;
    m_slots.emplace_back(std::move(object));
    return true;
}

const GdiObject *ObjectTable::find(quint32 index) const
{
    if (index >= m_slots.size() || !m_slots[index])
        return nullptr;
    return &*m_slots[index];
}

void ObjectTable::remove(quint32 index)
{
    if (index >= m_slots.size() || !m_slots[index])
        return;
    m_slots[index].reset();
    m_free.insert(index);
}

} // namespace morvane::wmf
