// Sorting of the file lists by name (in the user's language), modification
// time or size, either way round. Files that compare equal keep the order the
// directory listing gave them.
#pragma once

#include <QCollator>
#include <QLocale>
#include <cstddef>
#include <vector>

#include "frontend/file_listing.h"

namespace dravik {

struct CListProperties;

// The comparison a list is sorted with: its Sort Type and Sort Direction.
class CSortProperties {
  public:
    CSortProperties(int sort_type, int sort_direction, const QLocale& locale = QLocale());
    explicit CSortProperties(const CListProperties& properties, const QLocale& locale = QLocale());

    int SortType() const noexcept { return m_type; }
    bool Descending() const noexcept { return m_descending; }
    // 1 when `a` belongs after `b`, -1 before, 0 when their keys are equal
    // (always 0 for an unknown sort type). Names compare case-sensitively
    // by the rules of the locale.
    int Compare(const CListedFile& a, const CListedFile& b) const;
    const QCollator& Collator() const noexcept { return m_collator; }

  private:
    int m_type;
    bool m_descending;
    QCollator m_collator;
};

class CSortableStringList {
  public:
    CSortableStringList() = default;
    explicit CSortableStringList(std::vector<CListedFile> files) : m_files(std::move(files)) {}

    const std::vector<CListedFile>& Files() const noexcept { return m_files; }
    std::vector<CListedFile>& Files() noexcept { return m_files; }

    // Each file moves before every file ahead of it that compares greater,
    // and never past an equal one: the order of an insertion sort, reached
    // in n log n steps so that a folder of many thousand files sorts at once.
    void Sort(const CSortProperties& sort);
    // The same over `count` files from index `first` (clipped to the list).
    void Sort(std::size_t first, std::size_t count, const CSortProperties& sort);

  private:
    std::vector<CListedFile> m_files;
};

}  // namespace dravik
