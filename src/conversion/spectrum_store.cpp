#include "conversion/spectrum_store.h"

#include <algorithm>
#include <cstdlib>

namespace dravik {

void CSpectrumStore::Reset(std::size_t channels, std::size_t capacity) {
    m_channels = channels;
    m_capacity = std::max<std::size_t>(2, capacity + capacity % 2);
    m_kept = 0;
    m_spacing = 1;
    m_offered = 0;
    m_indices.assign(m_capacity, 0);
    m_rows.assign(m_capacity * m_channels, 0.0);
    m_newest_index = -1;
    m_newest.assign(m_channels, 0.0);
}

std::size_t CSpectrumStore::MemoryBytes() const noexcept {
    return m_indices.capacity() * sizeof(int) +
           (m_rows.capacity() + m_newest.capacity()) * sizeof(double);
}

void CSpectrumStore::DropEverySecond() {
    // Kept row k is the frame offered as number k * spacing: the even rows
    // are those a doubled spacing keeps.
    for (std::size_t k = 0; 2 * k < m_kept; ++k) {
        m_indices[k] = m_indices[2 * k];
        std::copy_n(m_rows.begin() + static_cast<std::ptrdiff_t>(2 * k * m_channels), m_channels,
                    m_rows.begin() + static_cast<std::ptrdiff_t>(k * m_channels));
    }
    m_kept = (m_kept + 1) / 2;
    m_spacing *= 2;
}

void CSpectrumStore::Offer(int frame_index, std::span<const double> values) {
    if (m_capacity == 0 || values.size() != m_channels) return;
    if (WantsNext() && m_kept == m_capacity) DropEverySecond();
    const bool keep = WantsNext();
    ++m_offered;
    m_newest_index = frame_index;
    std::copy(values.begin(), values.end(), m_newest.begin());
    if (!keep) return;
    m_indices[m_kept] = frame_index;
    std::copy(values.begin(), values.end(),
              m_rows.begin() + static_cast<std::ptrdiff_t>(m_kept * m_channels));
    ++m_kept;
}

std::size_t CSpectrumStore::NearestKept(int frame_index) const noexcept {
    std::size_t best = 0;
    for (std::size_t k = 1; k < m_kept; ++k) {
        if (std::abs(static_cast<long long>(m_indices[k]) - frame_index) <
            std::abs(static_cast<long long>(m_indices[best]) - frame_index)) {
            best = k;
        }
    }
    return best;
}

}  // namespace dravik
