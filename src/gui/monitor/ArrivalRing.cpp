#include "gui/monitor/ArrivalRing.h"

void ArrivalRing::add(MonitoredArrival arrival)
{
    if (arrival.bytes.size() > m_capacity) {
        arrival.offset += arrival.bytes.size() - m_capacity;
        arrival.bytes = arrival.bytes.right(m_capacity);
    }
    m_size += arrival.bytes.size();
    m_arrivals.push_back(std::move(arrival));
    while (m_size > m_capacity) {
        MonitoredArrival &oldest = m_arrivals.front();
        const qsizetype excess = m_size - m_capacity;
        if (excess >= oldest.bytes.size()) {
            m_size -= oldest.bytes.size();
            m_arrivals.pop_front();
        } else {
            oldest.bytes = oldest.bytes.right(oldest.bytes.size() - excess);
            oldest.offset += excess;
            m_size -= excess;
        }
    }
}
