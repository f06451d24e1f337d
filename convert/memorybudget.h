// How much memory the pictures being converted at once may take together.
#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <mutex>

namespace morvane::convert {

// Bytes shared among workers: a worker reserves what its picture needs
// before loading it and gives it back once the copy is written. A
// reservation waits until it fits beside those held, or until none is held,
// so one picture always goes ahead however large; reservations are granted
// in the order they were asked for.
class MemoryBudget
{
public:
    class Reservation
    {
    public:
        Reservation() = default;
        Reservation(Reservation &&other) noexcept;
        Reservation &operator=(Reservation &&other) noexcept;
        Reservation(const Reservation &) = delete;
        Reservation &operator=(const Reservation &) = delete;
        ~Reservation() { release(); }

        // Gives the bytes back; a released reservation holds nothing.
        void release();

    private:
        friend class MemoryBudget;
        Reservation(MemoryBudget *budget, qint64 bytes) : m_budget(budget), m_bytes(bytes) {}

        MemoryBudget *m_budget = nullptr;
        qint64 m_bytes = 0;
    };

    explicit MemoryBudget(qint64 bytes);
    MemoryBudget(const MemoryBudget &) = delete;
    MemoryBudget &operator=(const MemoryBudget &) = delete;

    // Waits for its turn and for bytes to fit (see above), then holds them.
    [[nodiscard]] Reservation reserve(qint64 bytes);

    qint64 bytes() const { return m_limit; }
    // The most reservations held at once so far.
    int mostHeld() const;
    // Reservations asked for and not granted yet.
    int waiting() const;

    // The budget of the process's runs: a quarter of the memory this process
    // may use (the machine's, or its control group's limit when lower).
    static MemoryBudget &shared();

private:
    void give(qint64 bytes);

    const qint64 m_limit;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    qint64 m_held = 0;
    int m_holders = 0;
    int m_mostHeld = 0;
    quint64 m_nextTicket = 0; // the next one asking gets this
    quint64 m_serving = 0;    // the ticket whose turn it is
};

// Bytes of memory this process may use: physical memory, or the control
// group's limit when that is lower.
qint64 usableMemory();

} // namespace morvane::convert
