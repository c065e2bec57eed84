// The rules that correct a sensor definition line (its data type, gain ranges
// and field length must fit its fit type and data type) and the rules of the
// frame kind that decide whether the sensor is kept, or is the definition of a
// FIELD delimiter or of the TERMINATOR of a variable frame.
#include "instrument/instrument_loader.h"

#include "platform/text.h"

namespace dravik {

void CInstrumentLoader::ApplyConsistencyRules(CSensor& sensor, bool variable_field) {
    if (sensor.GetFitType() != kFitNone && sensor.GetFieldLength() == 0 &&
        !m_inst.m_variable_frame) {
        Diagnose(kDiagFieldLength, LoadAction::kFitSetToNone);
        sensor.SetFitType(kFitNone);
    }
    const int fit = sensor.GetFitType();
    auto set_type = [&](int data_type, LoadAction action) {
        Diagnose(kDiagDataType, action);
        sensor.SetDataType(data_type);
    };
    auto dt = [&] { return sensor.GetDataType(); };
    if (variable_field && dt() != kDataAI && dt() != kDataAF && dt() != kDataAS) {
        if (fit == kFitOptic1)
            set_type(kDataAI, LoadAction::kDataSetToAI);
        else
            set_type(kDataAS, LoadAction::kDataSetToAS);
    }

    std::uint32_t gains = sensor.GetGainRanges();
    auto set_gains = [&](std::uint32_t value, LoadAction action) {
        Diagnose(kDiagGainRanges, action);
        sensor.SetGainRanges(value);
    };
    switch (fit) {
        case kFitNone:
        case kFitCount:
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        case kFitDelimiter:
            if (dt() != kDataAS) set_type(kDataAS, LoadAction::kDataSetToAS);
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        case kFitOptic1:
            if (dt() != kDataBU && dt() != kDataBS && dt() != kDataAI)
                set_type(kDataBU, LoadAction::kDataSetToBU);
            if (gains > 4)
                set_gains(4, LoadAction::kGainRangesSetTo4);
            else if (gains == 0)
                set_gains(1, LoadAction::kGainRangesSetTo1);
            break;
        case kFitOptic2:
        case kFitOptic3:
        case kFitPolyF:
        case kFitPolyU:
            if (dt() == kDataAS) set_type(kDataAF, LoadAction::kDataSetToAF);
            if (gains != 1) set_gains(1, LoadAction::kGainRangesSetTo1);
            break;
        case kFitDDMM:
        case kFitHHMMSS:
            if (dt() != kDataBF && dt() != kDataBD && dt() != kDataAF)
                set_type(kDataAF, LoadAction::kDataSetToAF);
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        case kFitDDMMYY:
            if (dt() != kDataBU && dt() != kDataBS && dt() != kDataAI)
                set_type(kDataAI, LoadAction::kDataSetToAI);
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        case kFitTime2:
            if (dt() == kDataAS) set_type(kDataAF, LoadAction::kDataSetToAF);
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        default:
            break;
    }

    // Only the sensor's own length changes: the offsets of later fields keep
    // counting the declared length.
    const std::uint32_t length = sensor.GetFieldLength();
    auto set_length = [&](std::uint32_t value, LoadAction action) {
        Diagnose(kDiagFieldLength, action);
        sensor.SetFieldLength(value);
    };
    switch (dt()) {
        case kDataBU:
        case kDataBS:
            if (length > 4) set_length(4, LoadAction::kFieldLengthSetTo4);
            break;
        case kDataBF:
            if (length != 4) set_length(4, LoadAction::kFieldLengthSetTo4);
            break;
        case kDataBD:
            if (length != 8) set_length(8, LoadAction::kFieldLengthSetTo8);
            break;
        case kDataHU:
        case kDataHS:
            if (length > 8) set_length(8, LoadAction::kFieldLengthSetTo8);
            break;
        default:
            break;
    }
}

bool CInstrumentLoader::ApplyFrameKindRules(CSensor& sensor, bool variable_field,
                                            std::uint32_t declared_length) {
    const bool delimiter = sensor.GetFitType() == kFitDelimiter;
    if (!m_inst.m_variable_frame) {
        if (!delimiter) return true;
        Diagnose(kDiagDelimiterFitUse, LoadAction::kSensorIgnored);
        return false;
    }
    if (m_terminator_defined) {
        Diagnose(kDiagAfterTerminator, LoadAction::kSensorIgnored);
        return false;
    }
    if (m_field_pending) {
        if (variable_field && delimiter) {
            Diagnose(kDiagDelimiterFitUse, LoadAction::kSensorIgnored);
            return false;
        }
        if (variable_field) {
            m_field_pending = false;
            return true;
        }
        if (declared_length == 0) return true;
        Diagnose(kDiagNotVariableField, LoadAction::kSensorIgnored);
        return false;
    }
    if (!delimiter) {
        if (declared_length == 0) return true;
        Diagnose(kDiagDelimiterLine, LoadAction::kSensorIgnored);
        return false;
    }
    if (EqualsIgnoreCase(sensor.GetType(), "FIELD")) {
        if (declared_length != 1) Diagnose(kDiagFieldLength, LoadAction::kFieldLengthSetTo1);
        const std::string delimiter_text = CSensor::DecodeEscapes(sensor.GetUnits(), "\\x");
        if (delimiter_text.size() == 1) {
            m_inst.m_field_delimiters += delimiter_text;
        } else {
            Diagnose(kDiagFieldDelimiterLength, LoadAction::kFieldDelimiterSetToComma);
            m_inst.m_field_delimiters += ',';
        }
        m_field_pending = true;
        return false;
    }
    if (EqualsIgnoreCase(sensor.GetType(), "TERMINATOR")) {
        std::string terminator = CSensor::DecodeEscapes(sensor.GetUnits(), "\\x");
        if (terminator.empty() || terminator.size() != declared_length) {
            Diagnose(kDiagTerminatorLength, LoadAction::kTerminatorSetToCrLf);
            terminator = "\r\n";
        }
        m_inst.m_terminator = std::move(terminator);
        m_terminator_defined = true;
        int index = 0;
        for (auto& s : m_inst.m_sensors) {
            if (s->IsVariable())
                s->SetVariableField(m_inst.m_field_delimiters, m_inst.m_terminator, index++);
        }
        return false;
    }
    Diagnose(kDiagDelimiterLine, LoadAction::kSensorIgnored);
    return false;
}

}  // namespace dravik
