// CFileListBox: one of the main view's three file lists (Log, Instrument,
// Output). It lists what its CListProperties describe, keeps the properties'
// selection in step with what is selected on screen, and takes files dropped
// from the file manager.
#pragma once

#include <QListWidget>
#include <functional>
#include <string>

#include "list_properties.h"
#include "sortable_string_list.h"

namespace dravik {

class CFileListBox : public QListWidget {
    Q_OBJECT
  public:
    // Extracts an instrument package into the temporary directory and answers
    // the name of the first entry extracted (empty when none was).
    using PackageExtractor = std::function<std::string(const std::string& package_path)>;

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
    // package, the temporary directory) anew, sorts, fills the list and
    // synchronizes the selection. A directory that cannot be read shows an
    // empty list.
    void Refresh();
    // Brings the properties' selection and the list's in line: a selection
    // on screen is taken into the properties; with none, the remembered file
    // (or else the first file) is selected.
    void SynchronizeSelection();
    // The files shown, in list order, with their original names.
    const std::vector<CListedFile>& Files() const noexcept { return m_list.Files(); }

    // A local file dropped on the list (only the first one of a drop counts).
    void DropFile(const std::string& path);

  signals:
    // The user changed the selection and the properties follow it.
    void selectionSynchronized();
    // A dropped file changed the properties and the list was refreshed.
    void listChanged();

  protected:
    // Shows a refusal; a test records it instead.
    virtual void ShowMessage(const QString& text);

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void OnSelectionChanged();
    void SelectRow(int row);

    FileListKind m_kind = FileListKind::kLog;
    CListProperties* m_properties = nullptr;
    std::string m_temporary_directory;
    PackageExtractor m_extractor;
    bool m_multi = false;
    bool m_synchronizing = false;
    CSortableStringList m_list;
};

}  // namespace dravik
