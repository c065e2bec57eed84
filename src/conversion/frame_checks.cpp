#include "conversion/frame_checks.h"

#include <algorithm>

#include "instrument/sensor.h"
#include "platform/frame_data.h"

namespace dravik {

namespace {

// Both check fields are read as numbers: a BU field unsigned, any other
// signed. The read of the check sum field only proves that the field lies
// inside the frame.
int ReadField(CSensor& sensor, const CFrameData& frame, std::uint32_t& value) {
    if (sensor.GetDataType() == kDataBU) return sensor.GetUnsignedValue(value, &frame);
    std::int32_t signed_value = 0;
    const int code = sensor.GetSignedValue(signed_value, &frame);
    value = static_cast<std::uint32_t>(signed_value);
    return code;
}

}  // namespace

bool CFrameCounterCheck::Check(std::uint32_t value) {
    bool error = false;
    if (resync) {
        expected = value;
        resync = false;
    } else if (value != expected) {
        resync = true;
        error = true;
    }
    // The expectation runs on from itself, not from the value read; after an
    // error the resync makes the next frame the reference anyway.
    expected = expected == 255 ? 0 : expected + 1;
    return error;
}

unsigned CheckSumResidual(std::span<const std::uint8_t> bytes, std::size_t offset) {
    unsigned sum = 0;
    const std::size_t end = std::min(bytes.size(), offset + 1);
    for (std::size_t i = 0; i < end; ++i) sum += bytes[i];
    return sum & 0xFFu;
}

void CFrameChecks::Start(CSensor* frame_counter, CSensor* check_sum, Log log) {
    *this = CFrameChecks{};
    m_frame_counter = frame_counter;
    m_check_sum = check_sum;
    m_log = std::move(log);
}

void CFrameChecks::Report(const char* what, unsigned index) {
    if (m_log) m_log(std::string(what) + " for frame index " + std::to_string(index) + ".\r\n");
}

bool CFrameChecks::Check(const CFrameData& frame, unsigned index) {
    m_counter_error_now = false;
    m_check_sum_error_now = false;
    std::uint32_t value = 0;
    if (m_frame_counter != nullptr) {
        if (ReadField(*m_frame_counter, frame, value) != 0) {
            Report("Frame counter sensor error", index);
            ++m_counter_errors;
            m_counter_error_now = true;
            return false;
        }
        if (m_counter.Check(value)) {
            Report("Frame counter error detected", index);
            ++m_counter_errors;
            m_counter_error_now = true;
        }
    }
    if (m_check_sum != nullptr) {
        if (ReadField(*m_check_sum, frame, value) != 0) {
            Report("Check sum sensor error", index);
            m_residual = 0;
            ++m_check_sum_errors;
            m_check_sum_error_now = true;
            return false;
        }
        m_residual = CheckSumResidual(frame.GetBytes(), m_check_sum->GetOffset());
        if (m_residual != 0) {
            Report("Check sum error detected", index);
            // The frame after a damaged one is taken as the new reference.
            m_counter.resync = true;
            ++m_check_sum_errors;
            m_check_sum_error_now = true;
        }
    }
    return true;
}

}  // namespace dravik
