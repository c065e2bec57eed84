#include "file_list_box.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "conversion/recording_front_end.h"
#include "exclamation_box.h"
#include "platform/text.h"

namespace dravik {

namespace {

// The first local file of a drag, or nothing: remote places and folders are
// not files to convert.
std::optional<QString> FirstLocalFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return std::nullopt;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).isDir()) return std::nullopt;
        return path;
    }
    return std::nullopt;
}

}  // namespace

CFileListBox::CFileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    connect(this, &QListWidget::itemSelectionChanged, this, &CFileListBox::OnSelectionChanged);
}

void CFileListBox::SetMultiSelection(bool multi) {
    if (multi == m_multi) return;
    m_multi = multi;
    setSelectionMode(multi ? QAbstractItemView::ExtendedSelection
                           : QAbstractItemView::SingleSelection);
    SynchronizeSelection();
}

void CFileListBox::Refresh() {
    if (!m_properties) return;
    const CListProperties& p = *m_properties;
    // Instrument files taken from a package are whatever it held.
    const bool package = m_kind == FileListKind::kInstrument && p.use_working_directory == 0;
    setCursor(Qt::BusyCursor);
    m_listing.Start(
        [directory = package ? m_temporary_directory : p.working_directory,
         filter = package ? std::string("*.*") : p.file_filter,
         recursive = !package && p.recursive != 0, sort_type = p.sort_type,
         sort_direction = p.sort_direction](std::stop_token stop) {
            CSortableStringList list(ListFiles(directory, filter, recursive, stop));
            if (!stop.stop_requested()) list.Sort(CSortProperties(sort_type, sort_direction));
            return list;
        },
        [this](CSortableStringList list) { Fill(std::move(list)); });
}

void CFileListBox::Fill(CSortableStringList list) {
    m_list = std::move(list);
    QStringList names;
    names.reserve(static_cast<qsizetype>(m_list.Files().size()));
    for (const CListedFile& f : m_list.Files()) names.append(QString::fromStdString(f.name));
    m_synchronizing = true;
    clear();
    addItems(names);
    m_synchronizing = false;
    SynchronizeSelection();
    if (!IsBusy()) unsetCursor();
    emit listed();
}

void CFileListBox::SelectRow(int row) {
    selectionModel()->setCurrentIndex(model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    scrollToItem(item(row));
}

void CFileListBox::SynchronizeSelection() {
    // What the list shows while a listing is under way is about to go: the
    // remembered file waits for the new listing, which synchronizes then.
    if (!m_properties || m_synchronizing || m_listing.IsRunning()) return;
    CListProperties& p = *m_properties;
    m_synchronizing = true;
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    const std::vector<CListedFile>& files = m_list.Files();

    p.selected_names.clear();
    if (!rows.empty()) {
        if (m_multi) {
            p.selected_count = static_cast<int>(rows.size());
            p.file_selected = files[static_cast<std::size_t>(rows.front())].name;
            for (int row : rows)
                p.selected_names.push_back(files[static_cast<std::size_t>(row)].name);
        } else {
            // One file at a time: whatever else is selected gives way to the
            // item under the caret.
            const int caret = currentRow();
            clearSelection();
            p.selected_count = 0;
            if (caret >= 0 && caret < count()) {
                SelectRow(caret);
                p.file_selected = files[static_cast<std::size_t>(caret)].name;
            } else {
                p.file_selected.clear();
            }
        }
    } else {
        clearSelection();
        p.selected_count = 0;
        if (files.empty()) {
            p.file_selected.clear();
        } else if (!p.file_selected.empty()) {
            // The remembered name matches in either case, but names differing
            // only in case are different files here: an exact match wins, and
            // the properties take the name as it is on disk, so that the file
            // converted is the one shown selected.
            const QString remembered = QString::fromStdString(p.file_selected);
            int found = -1;
            for (int row = 0; row < count(); ++row) {
                const int order = item(row)->text().compare(remembered, Qt::CaseInsensitive);
                if (order == 0 && files[static_cast<std::size_t>(row)].name == p.file_selected) {
                    found = row;
                    break;
                }
                if (order == 0 && found < 0) found = row;
            }
            if (found >= 0) {
                SelectRow(found);
                p.file_selected = files[static_cast<std::size_t>(found)].name;
            }
        } else {
            p.file_selected = files.front().name;
            SelectRow(0);
        }
    }
    m_synchronizing = false;
}

void CFileListBox::OnSelectionChanged() {
    if (m_synchronizing || !m_properties) return;
    SynchronizeSelection();
    emit selectionSynchronized();
}

void CFileListBox::DropFile(const std::string& path) {
    if (!m_properties) return;
    CListProperties& p = *m_properties;
    const std::size_t slash = path.find_last_of('/');
    const std::string directory =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    const std::string lower = AsciiLower(extension);

    if (m_kind == FileListKind::kInstrument) {
        if (lower == "zpk") {
            StartExtraction(path);
            return;
        }
        if (lower != "cal" && lower != "tdf") {
            ShowMessage(FillMessage(
                "The file extension for %s \r\nis not an Instrument Package/Calibration/TDF file.",
                {path}));
            return;
        }
        // The file dropped last wins over a package still being extracted.
        m_extraction.Stop();
        p.use_working_directory = 1;
    }
    p.working_directory = directory;
    p.file_selected = name;
    p.file_filter = extension.empty() ? "*.*" : "*." + extension;
    // The refreshed list has no selection of its own, so the dropped file
    // (now the remembered one) is selected.
    Refresh();
    emit listChanged();
}

void CFileListBox::StartExtraction(const std::string& path) {
    setCursor(Qt::BusyCursor);
    m_extraction.Start(
        [extractor = m_extractor, path](std::stop_token stop) {
            CRecordingFrontEnd messages;
            CExtracted extracted;
            if (extractor) extracted.first = extractor(path, messages, std::move(stop));
            extracted.messages = std::move(messages.messages);
            return extracted;
        },
        [this, path](const CExtracted& extracted) { UsePackage(path, extracted); });
}

void CFileListBox::UsePackage(const std::string& path, const CExtracted& extracted) {
    const unsigned generation = m_extraction.Generation();
    for (const std::string& message : extracted.messages) {
        ShowMessage(message);
        // A file dropped while the message was shown replaces this package.
        if (m_extraction.Generation() != generation) return;
    }
    CListProperties& p = *m_properties;
    p.use_working_directory = 0;
    p.instrument_package_file = path;
    p.file_selected = extracted.first;
    Refresh();
    emit listChanged();
}

void CFileListBox::ShowMessage(const std::string& text) {
    ShowExclamation(this, text);
}

void CFileListBox::dragEnterEvent(QDragEnterEvent* event) {
    if (FirstLocalFile(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CFileListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (FirstLocalFile(event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CFileListBox::dropEvent(QDropEvent* event) {
    const std::optional<QString> path = FirstLocalFile(event->mimeData());
    if (!path) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    DropFile(path->toStdString());
}

}  // namespace dravik
