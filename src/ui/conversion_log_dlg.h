// The conversion log window ("Conversion Log Output"): a resizable, read-only
// text area showing the messages that also go to the conversion log file. The
// object lives as long as the view and keeps the newest text (at most 40000
// characters, whole lines dropped from the top) while its window is closed,
// so that opening it shows what happened meanwhile.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "settings/settings.h"

class QPlainTextEdit;

namespace dravik {

class CSettingsStore;

class CConversionLogDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr qsizetype kTextLimit = 40000;
    // Trimming leaves room below the limit so that not every append trims.
    static constexpr qsizetype kTrimTarget = 39800;

    // Reads the stored rectangle and Show Window flag ("Conversion Log Window").
    CConversionLogDlg(CSettingsStore& store, QWidget* parent = nullptr);
    ~CConversionLogDlg() override;

    bool GetShowWindow() const noexcept { return m_placement.show_window != 0; }
    bool IsOpen() const noexcept { return m_open; }
    // Opens the window (Show Window becomes 1) and loads the kept text.
    void CreateLogWindow();
    // Closes the window (Show Window becomes 0); the text is kept.
    void DestroyLogWindow();
    void Clear();
    // Appends text with "\r\n" line ends.
    void AppendText(const std::string& text);
    // All text held, with "\r\n" line ends.
    const QString& Text() const noexcept { return m_mirror; }

  signals:
    // The user closed the window with its close box.
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the window like its close box.
    void reject() override { close(); }
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void StoreRect();
    void ShowMirror();

    CSettingsStore& m_store;
    CConversionLogWindowSettings m_placement;
    bool m_open = false;
    bool m_placed = false;
    QString m_mirror;
    QPlainTextEdit* m_edit = nullptr;
};

// Drops whole lines (each with its "\r\n") from the front of `text` until at
// least `count` characters are gone; a text without line ends loses exactly
// `count` characters.
void DropLeadingLines(QString& text, qsizetype count);

}  // namespace dravik
