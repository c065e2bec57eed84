#include "sortable_string_list.h"

#include <QCollatorSortKey>
#include <QString>
#include <algorithm>
#include <numeric>

#include "list_properties.h"

namespace dravik {

namespace {

template <typename T>
int Order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

QString DisplayName(const CListedFile& file) {
    return QString::fromStdString(file.name);
}

}  // namespace

CSortProperties::CSortProperties(int sort_type, int sort_direction, const QLocale& locale)
    : m_type(sort_type), m_descending(sort_direction == kSortDescending), m_collator(locale) {
    m_collator.setCaseSensitivity(Qt::CaseSensitive);
}

CSortProperties::CSortProperties(const CListProperties& properties, const QLocale& locale)
    : CSortProperties(properties.sort_type, properties.sort_direction, locale) {}

int CSortProperties::Compare(const CListedFile& a, const CListedFile& b) const {
    int order = 0;
    switch (m_type) {
        case kSortName:
            order = Order(m_collator.compare(DisplayName(a), DisplayName(b)), 0);
            break;
        case kSortDate:
            order = Order(a.modified_ns, b.modified_ns);
            break;
        case kSortSize:
            order = Order(a.size, b.size);
            break;
        default:
            return 0;
    }
    return m_descending ? -order : order;
}

void CSortableStringList::Sort(const CSortProperties& sort) {
    Sort(0, m_files.size(), sort);
}

void CSortableStringList::Sort(std::size_t first, std::size_t count, const CSortProperties& sort) {
    if (first >= m_files.size()) return;
    count = std::min(count, m_files.size() - first);
    if (count < 2) return;
    const auto begin = m_files.begin() + static_cast<std::ptrdiff_t>(first);
    const auto end = begin + static_cast<std::ptrdiff_t>(count);
    if (sort.SortType() != kSortName) {
        std::stable_sort(begin, end, [&sort](const CListedFile& a, const CListedFile& b) {
            return sort.Compare(a, b) < 0;
        });
        return;
    }
    // Collation keys are made once per name: comparing through the collator
    // would convert both names again at every one of the n log n steps.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(count);
    for (auto it = begin; it != end; ++it)
        keys.push_back(sort.Collator().sortKey(DisplayName(*it)));
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    const bool descending = sort.Descending();
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = keys[a].compare(keys[b]);
        return descending ? c > 0 : c < 0;
    });
    std::vector<CListedFile> sorted;
    sorted.reserve(count);
    for (std::size_t i : order)
        sorted.push_back(std::move(*(begin + static_cast<std::ptrdiff_t>(i))));
    std::move(sorted.begin(), sorted.end(), begin);
}

}  // namespace dravik
