// The spectra a quick look keeps of a conversion: the newest frame's, and
// those of at most a fixed number of frames spread evenly over the whole
// conversion, so that any stretch of a long log can still be looked at once
// it has been converted. One frame's spectra are the values of every spectral
// channel of the instrument, one row. Every frame is offered or skipped;
// while the store is full only every second kept frame stays and the spacing
// doubles.
// No Qt, no threads, no allocation after Reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace dravik {

class CSpectrumStore {
  public:
    // Rows of `channels` values; at most `capacity` kept rows (at least 2,
    // an odd number is made even). Forgets every frame.
    void Reset(std::size_t channels, std::size_t capacity);

    // Whether the next frame offered will be kept.
    bool WantsNext() const noexcept { return m_offered % m_spacing == 0; }
    // The next frame, with its index in the log and one value per channel
    // (any other count offers nothing). It becomes the newest.
    void Offer(int frame_index, std::span<const double> values);
    // The next frame goes by unseen: one the store does not want, whose
    // values were never read. The newest stays what it was.
    void Skip() noexcept {
        if (!WantsNext()) ++m_offered;
    }

    std::size_t Channels() const noexcept { return m_channels; }
    std::size_t Capacity() const noexcept { return m_capacity; }
    std::size_t Kept() const noexcept { return m_kept; }
    std::uint64_t Spacing() const noexcept { return m_spacing; }
    std::size_t MemoryBytes() const noexcept;

    int KeptIndex(std::size_t k) const noexcept { return m_indices[k]; }
    std::span<const double> KeptRow(std::size_t k) const noexcept {
        return {m_rows.data() + k * m_channels, m_channels};
    }
    // The kept frame nearest to the log's frame `frame_index` (the first
    // on a tie); 0 when nothing is kept.
    std::size_t NearestKept(int frame_index) const noexcept;
    // The newest frame (index -1 before the first) and its row.
    int NewestIndex() const noexcept { return m_newest_index; }
    std::span<const double> NewestRow() const noexcept { return m_newest; }

  private:
    void DropEverySecond();

    std::size_t m_channels = 0;
    std::size_t m_capacity = 0;
    std::size_t m_kept = 0;
    std::uint64_t m_spacing = 1;
    std::uint64_t m_offered = 0;
    std::vector<int> m_indices;
    std::vector<double> m_rows;
    int m_newest_index = -1;
    std::vector<double> m_newest;
};

}  // namespace dravik
