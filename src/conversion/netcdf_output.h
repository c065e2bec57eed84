// A NetCDF-4 file of a conversion's values, following the CF conventions
// (CF-1.10), for xarray, ODV, Panoply, MATLAB and other tools that read
// NetCDF: the dimension "frame" (unlimited) with the frames' indexes as its
// coordinate; the logger's time tags as "time(frame)"; one variable per
// output sensor (netcdf_plan.h), a spectral type as one 2-D variable over its
// wavelengths; with frame checks, flags of the frames with errors; and the
// conversion's counts as global attributes.
//
// Values are kept for a chunk of frames and written chunk by chunk while
// the conversion runs (counts and times shuffled and deflated, see
// netcdf_plan.h), so memory stays small
// however long the log. Written under OUT.part and renamed at the end
// (part_file.h). A header conversion has no frames to store and is refused
// before it starts (kNetcdfHeaderRefusal).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/conversion_output.h"
#include "conversion/netcdf_file.h"
#include "conversion/netcdf_plan.h"
#include "conversion/part_file.h"
#include "instrument/column_values.h"

namespace dravik {

class CNetcdfOutput final : public CConversionOutput {
  public:
    // Values kept in memory before a chunk is written, at most.
    static constexpr std::size_t kChunkBudget = 8 * 1024 * 1024;
    static constexpr std::size_t kMaxChunkFrames = 1024;
    // Variables a file may hold. Every variable costs the library tens of
    // kilobytes and time whatever its values: 10000 take about 400 MiB, while
    // 200000 would take gigabytes and minutes before the first frame.
    static constexpr std::size_t kMaxVariables = 10000;

    int Open(const std::string& path, std::span<const CFileIdentity> refused) override;
    int WriteHeadings(const COutputColumns& columns) override;
    COutputResult WriteFrame(const CFrameRecord& record) override;
    int WriteHeaderRecord(const CFrameData& frame) override;
    int Finish(const CConversionStatus& status, bool complete) override;
    std::string GetFailureText(int cause) const override;
    std::string GetSystemErrorText() const override;

  private:
    // One variable of the plan, with its id and its values of the chunk.
    struct CSlot {
        int id = -1;
        int wavelength_id = -1;    // a spectral type's coordinate
        int coefficients_id = -1;  // and its channels' coefficients
        std::vector<double> numbers;     // frames x channels
        std::vector<std::string> texts;  // per frame
    };
    void Define(const COutputColumns& columns);
    void DefineVariable(const CNetcdfVariable& v, CSlot& slot, int frame_dimension);
    void DescribeFile(const COutputColumns& columns);
    void WriteCoordinates();
    int WriteChunk();

    CPartFile m_part;
    CNetcdfFile m_file;
    CNetcdfPlan m_plan;
    std::vector<CSlot> m_slots;  // one per variable of the plan
    CColumnValues m_values;
    std::size_t m_chunk_frames = 1;
    std::size_t m_rows = 0;     // frames of the chunk being filled
    std::uint64_t m_written = 0;  // frames in the file
    // The frame coordinate, the time and the flags of the chunk.
    int m_frame_id = -1, m_time_id = -1, m_counter_flag_id = -1, m_check_sum_flag_id = -1;
    std::vector<int> m_frames;
    std::vector<double> m_times;
    std::vector<signed char> m_counter_flags, m_check_sum_flags;
    std::vector<const char*> m_text_pointers;
    std::vector<CSensor*> m_sensors;
    std::string m_refusal;  // why the output could not be opened
};

}  // namespace dravik
