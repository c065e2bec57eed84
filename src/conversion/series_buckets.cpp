#include "conversion/series_buckets.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dravik {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

void CSeriesBuckets::Reset(std::size_t columns, std::size_t capacity) {
    m_columns = columns;
    m_capacity = std::max<std::size_t>(2, capacity + capacity % 2);
    m_used = 0;
    m_width = 1;
    m_frames = 0;
    m_buckets.assign(m_capacity, CBucket{});
    m_cells.assign(m_capacity * m_columns, CCell{});
}

std::size_t CSeriesBuckets::MemoryBytes() const noexcept {
    return m_buckets.capacity() * sizeof(CBucket) + m_cells.capacity() * sizeof(CCell);
}

void CSeriesBuckets::StartBucket() {
    if (m_used == m_capacity) MergePairs();
    m_buckets[m_used] = CBucket{0, 0.0, kMarkNone};
    CCell* cell = &m_cells[m_used * m_columns];
    std::fill(cell, cell + m_columns, CCell{kInfinity, 0.0, -kInfinity, 0.0});
    ++m_used;
}

void CSeriesBuckets::MergePairs() {
    for (std::size_t to = 0; to < m_capacity / 2; ++to) {
        const CBucket& a = m_buckets[2 * to];
        const CBucket& b = m_buckets[2 * to + 1];
        CBucket merged{a.frames + b.frames, a.marks != kMarkNone ? a.mark_x : b.mark_x,
                       static_cast<std::uint8_t>(a.marks | b.marks)};
        m_buckets[to] = merged;
        const CCell* first = &m_cells[2 * to * m_columns];
        const CCell* second = first + m_columns;
        CCell* out = &m_cells[to * m_columns];
        for (std::size_t c = 0; c < m_columns; ++c) {
            // The earlier frame wins a tie, so that a value met again later
            // keeps its first place.
            CCell cell = first[c];
            if (second[c].low < cell.low) {
                cell.low = second[c].low;
                cell.low_x = second[c].low_x;
            }
            if (second[c].high > cell.high) {
                cell.high = second[c].high;
                cell.high_x = second[c].high_x;
            }
            out[c] = cell;
        }
    }
    m_used = m_capacity / 2;
    m_width *= 2;
}

void CSeriesBuckets::Add(double x, const double* values, std::uint8_t marks,
                         std::span<const std::uint32_t> columns) {
    if (m_capacity == 0) return;
    if (m_used == 0 || m_buckets[m_used - 1].frames >= m_width) StartBucket();
    CBucket& bucket = m_buckets[m_used - 1];
    ++bucket.frames;
    ++m_frames;
    if (marks != kMarkNone && bucket.marks == kMarkNone) bucket.mark_x = x;
    bucket.marks |= marks;
    CCell* const cells = &m_cells[(m_used - 1) * m_columns];
    for (const std::uint32_t c : columns) {
        if (c >= m_columns || std::isnan(values[c])) continue;
        const double v = values[c];
        CCell* const cell = cells + c;
        if (v < cell->low) {
            cell->low = v;
            cell->low_x = x;
        }
        if (v > cell->high) {
            cell->high = v;
            cell->high_x = x;
        }
    }
}

void CSeriesBuckets::AppendPoints(std::size_t column, std::vector<CSeriesPoint>& out) const {
    if (column >= m_columns) return;
    for (std::size_t b = 0; b < m_used; ++b) {
        const CCell& cell = m_cells[b * m_columns + column];
        if (cell.low > cell.high) continue;  // no value in this bucket
        if (cell.low_x == cell.high_x) {
            out.push_back({cell.low_x, cell.low});
            if (cell.high != cell.low) out.push_back({cell.high_x, cell.high});
        } else if (cell.low_x < cell.high_x) {
            out.push_back({cell.low_x, cell.low});
            out.push_back({cell.high_x, cell.high});
        } else {
            out.push_back({cell.high_x, cell.high});
            out.push_back({cell.low_x, cell.low});
        }
    }
}

void CSeriesBuckets::AppendMarks(std::vector<CSeriesMark>& out) const {
    for (std::size_t b = 0; b < m_used; ++b) {
        if (m_buckets[b].marks != kMarkNone) out.push_back({m_buckets[b].mark_x, m_buckets[b].marks});
    }
}

}  // namespace dravik
