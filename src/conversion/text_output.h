// The delimited text table: an optional heading block, the column heading
// and units lines, then one row per frame with its time tag cells; in a
// header conversion one name and value line per header record. Written in
// text mode, every "\n" reaching the disk as CR LF.
#pragma once

#include <string>

#include "conversion/conversion_output.h"
#include "conversion/output_text_file.h"
#include "conversion/row_writer.h"

namespace dravik {

// The heading lines of the table, ending with "\n" (a single "\n" when there
// are neither extra headings nor columns; nothing for a header conversion
// without extra headings).
std::string TextHeadings(const COutputColumns& columns);

class CTextOutput final : public CConversionOutput {
  public:
    int Open(const std::string& path, std::span<const CFileIdentity> refused) override;
    int WriteHeadings(const COutputColumns& columns) override;
    COutputResult WriteFrame(const CFrameRecord& record) override;
    int WriteHeaderRecord(const CFrameData& frame) override;
    int Finish(const CConversionStatus& status, bool complete) override;
    std::string GetSystemErrorText() const override { return m_file.GetSystemErrorText(); }

  private:
    COutputTextFile m_file;
    CRowWriter m_rows;
    bool m_time_tags = false;
};

}  // namespace dravik
