#include "convert/memorybudget.h"

#include <QFile>

#include <algorithm>
#include <utility>

#include <unistd.h>

namespace morvane::convert {

MemoryBudget::Reservation::Reservation(Reservation &&other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr)), m_bytes(std::exchange(other.m_bytes, 0))
{
}

MemoryBudget::Reservation &MemoryBudget::Reservation::operator=(Reservation &&other) noexcept
{
    if (this != &other) {
        release();
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

void MemoryBudget::Reservation::release()
{
    if (MemoryBudget *budget = std::exchange(m_budget, nullptr))
        budget->give(std::exchange(m_bytes, 0));
}

MemoryBudget::MemoryBudget(qint64 bytes) : m_limit(std::max<qint64>(bytes, 0)) {}

MemoryBudget::Reservation MemoryBudget::reserve(qint64 bytes)
{
    bytes = std::max<qint64>(bytes, 0);
    std::unique_lock lock(m_mutex);
    const quint64 ticket = m_nextTicket++;
    m_changed.wait(lock, [&] {
        return ticket == m_serving && (m_holders == 0 || bytes <= m_limit - m_held);
    });
    ++m_serving;
    m_held += bytes;
    m_mostHeld = std::max(m_mostHeld, ++m_holders);
    lock.unlock();
    m_changed.notify_all(); // the next ticket may fit as well
    return Reservation(this, bytes);
}

void MemoryBudget::give(qint64 bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_held -= bytes;
        --m_holders;
    }
    m_changed.notify_all();
}

int MemoryBudget::mostHeld() const
{
    const std::lock_guard lock(m_mutex);
    return m_mostHeld;
}

int MemoryBudget::waiting() const
{
    const std::lock_guard lock(m_mutex);
    return int(m_nextTicket - m_serving);
}

MemoryBudget &MemoryBudget::shared()
{
    static MemoryBudget budget(usableMemory() / 4);
    return budget;
}

qint64 usableMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageBytes = ::sysconf(_SC_PAGESIZE);
    qint64 bytes = pages > 0 && pageBytes > 0 ? qint64(pages) * pageBytes : qint64(1) << 32;
    // The limit of this process's control group: cgroup v2 ("0::/path" in
    // /proc/self/cgroup; "max" when there is none), or v1's memory controller,
    // as a container sees it mounted.
    QString group;
    QFile groups(QStringLiteral("/proc/self/cgroup"));
    if (groups.open(QIODevice::ReadOnly)) {
        for (QByteArray line = groups.readLine(); !line.isEmpty(); line = groups.readLine()) {
            if (line.startsWith("0::"))
                group = QString::fromUtf8(line.sliced(3).trimmed());
        }
    }
    const QString limits[] = {
        QStringLiteral("/sys/fs/cgroup") + group + QStringLiteral("/memory.max"),
        QStringLiteral("/sys/fs/cgroup/memory/memory.limit_in_bytes"),
    };
    for (const QString &path : limits) {
        QFile limit(path);
        if (!limit.open(QIODevice::ReadOnly))
            continue;
        bool ok = false;
        const qint64 groupBytes = limit.readLine().trimmed().toLongLong(&ok);
        if (ok && groupBytes > 0)
            bytes = std::min(bytes, groupBytes);
    }
    return bytes;
}

} // namespace morvane::convert
