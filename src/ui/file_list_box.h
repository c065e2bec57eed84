// CFileListBox: one of the main view's three file lists (Log, Instrument,
// Output). It lists what its CListProperties describe, keeps the properties'
// selection in step with what is selected on screen, and takes files dropped
// from the file manager.
//
// Listing a folder (with its subfolders, maybe thousands of them) and
// extracting a dropped instrument package run on a thread of their own, so
// that the window goes on answering meanwhile: the list shows what it showed
// until the new listing is in, then fills and signals listed(). A newer
// refresh or drop replaces one under way; a list that goes away stops its
// work first.
#pragma once

#include <QListWidget>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "background_job.h"
#include "list_properties.h"
#include "sortable_string_list.h"

namespace dravik {

class CFrontEnd;

class CFileListBox : public QListWidget {
    Q_OBJECT
  public:
    // Extracts an instrument package into the temporary directory and answers
    // the file name of the first entry extracted (empty when none was). It
    // runs on a worker thread: its messages go to `messages`, which the list
    // shows afterwards, and it should end soon once `stop` is requested.
    using PackageExtractor = std::function<std::string(
        const std::string& package_path, CFrontEnd& messages, std::stop_token stop)>;

    explicit CFileListBox(QWidget* parent = nullptr);

    void SetKind(FileListKind kind) noexcept { m_kind = kind; }
    FileListKind Kind() const noexcept { return m_kind; }
    // Where the files of a dropped instrument package are (ends with "/").
    void SetTemporaryDirectory(std::string directory) {
        m_temporary_directory = std::move(directory);
    }
    void SetProperties(CListProperties* properties) noexcept { m_properties = properties; }
    CListProperties* Properties() const noexcept { return m_properties; }
    void SetPackageExtractor(PackageExtractor extractor) { m_extractor = std::move(extractor); }

    // Several files may be selected only while the output is named
    // automatically; going back to one keeps the item under the caret.
    void SetMultiSelection(bool multi);
    bool IsMultiSelection() const noexcept { return m_multi; }

    // Lists the working directory (or, for instrument files taken from a
    // package, the temporary directory) anew and sorts on a worker thread;
    // then fills the list, synchronizes the selection and signals listed().
    // A directory that cannot be read shows an empty list.
    void Refresh();
    // A listing or a package extraction is under way.
    bool IsBusy() const noexcept { return m_listing.IsRunning() || m_extraction.IsRunning(); }
    // Brings the properties' selection and the list's in line: a selection
    // on screen is taken into the properties; with none, the remembered file
    // (or else the first file) is selected. While a listing is under way it
    // waits for it.
    void SynchronizeSelection();
    // The files shown, in list order, with their original names.
    const std::vector<CListedFile>& Files() const noexcept { return m_list.Files(); }

    // A local file dropped on the list (only the first one of a drop counts).
    // A package is extracted first: the list changes when that is done.
    void DropFile(const std::string& path);

  signals:
    // The user changed the selection and the properties follow it.
    void selectionSynchronized();
    // A dropped file changed the properties; the list is being refreshed.
    void listChanged();
    // A refresh is in: the list shows it and the selection is synchronized.
    void listed();

  protected:
    // Shows a refusal; a test records it instead.
    virtual void ShowMessage(const std::string& text);

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    struct CExtracted {
        std::string first;  // file name to select
        std::vector<std::string> messages;
    };
    void OnSelectionChanged();
    void SelectRow(int row);
    void Fill(CSortableStringList list);
    void StartExtraction(const std::string& path);
    void UsePackage(const std::string& path, const CExtracted& extracted);

    FileListKind m_kind = FileListKind::kLog;
    CListProperties* m_properties = nullptr;
    std::string m_temporary_directory;
    PackageExtractor m_extractor;
    bool m_multi = false;
    bool m_synchronizing = false;
    CSortableStringList m_list;
    // Declared last, so that they stop before anything they hand results to goes.
    CBackgroundJob<CSortableStringList> m_listing{this};
    CBackgroundJob<CExtracted> m_extraction{this};
};

}  // namespace dravik
