#include "conversion_dlg.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <climits>
#include <cstdio>

#include "exclamation_box.h"
#include "window_placement.h"

namespace dravik {

namespace {

QLabel* CounterField(QWidget* parent, const char* colour, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(QFontMetrics(font).horizontalAdvance(QStringLiteral("0000000000 ")));
    label->setStyleSheet(QStringLiteral("QLabel { background: black; color: %1; padding: 1px; }")
                             .arg(QString::fromLatin1(colour)));
    return label;
}

QString Name(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CConversionDlg::CConversionDlg(CSettingsStore& store, QWidget* parent)
    : QDialog(parent), m_store(store) {
    setObjectName(QStringLiteral("ConversionDlg"));
    setWindowTitle(QStringLiteral("Dravik Conversion"));
    setModal(false);
    // Its size comes from its layout: no resizing, no maximizing.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    m_position.Read(store);

    auto* top = new QVBoxLayout(this);
    top->setSizeConstraint(QLayout::SetFixedSize);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setMinimumHeight(2 * fontMetrics().lineSpacing());
    m_status->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 56);
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_log_file = new QLabel(this);
    m_log_file->setObjectName(QStringLiteral("logFile"));
    m_instrument_file = new QLabel(this);
    m_instrument_file->setObjectName(QStringLiteral("instrumentFile"));
    m_limits = new QLabel(this);
    m_limits->setObjectName(QStringLiteral("limits"));
    m_limits->setMinimumHeight(2 * fontMetrics().lineSpacing());
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    top->addWidget(m_status);
    top->addWidget(m_log_file);
    top->addWidget(m_instrument_file);
    top->addWidget(m_limits);
    top->addWidget(m_bar);

    auto* counters = new QGridLayout;
    m_frames = CounterField(this, "yellow", "framesProcessed");
    m_resyncs = CounterField(this, "yellow", "resynchronizations");
    m_counter_errors = CounterField(this, "red", "frameCounterErrors");
    m_check_sum_errors = CounterField(this, "red", "checkSumErrors");
    m_counter_errors_caption = new QLabel(QStringLiteral("Frame Counter Errors:"), this);
    m_check_sum_errors_caption = new QLabel(QStringLiteral("Check Sum Errors:"), this);
    m_counter_errors_caption->setObjectName(QStringLiteral("frameCounterErrorsCaption"));
    m_check_sum_errors_caption->setObjectName(QStringLiteral("checkSumErrorsCaption"));
    counters->addWidget(new QLabel(QStringLiteral("Frames Processed:"), this), 0, 0);
    counters->addWidget(m_frames, 0, 1);
    counters->addWidget(new QLabel(QStringLiteral("Resynchronizations:"), this), 1, 0);
    counters->addWidget(m_resyncs, 1, 1);
    counters->addWidget(m_counter_errors_caption, 0, 2);
    counters->addWidget(m_counter_errors, 0, 3);
    counters->addWidget(m_check_sum_errors_caption, 1, 2);
    counters->addWidget(m_check_sum_errors, 1, 3);
    top->addLayout(counters);

    m_button = new QPushButton(QStringLiteral("Cancel"), this);
    m_button->setObjectName(QStringLiteral("button"));
    m_button->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_button);
    buttons->addStretch();
    top->addLayout(buttons);
    connect(m_button, &QPushButton::clicked, this, &CConversionDlg::OnButton);
}

bool CConversionDlg::IsLastItem() const noexcept {
    return m_run_total < 2 || m_current >= m_run_total || UserAborted();
}

void CConversionDlg::SetText(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

void CConversionDlg::SetCounter(QLabel* label, long long value, long long& shown) {
    if (value == shown) return;
    shown = value;
    label->setText(QString::number(value) + QLatin1Char(' '));
}

void CConversionDlg::SetState(EState state) {
    m_state = state;
    m_button->setText(IsDone() && IsLastItem() ? QStringLiteral("OK") : QStringLiteral("Cancel"));
    if (state == EState::kUserAborted) SetText(m_status, QStringLiteral("Conversion aborted."));
}

void CConversionDlg::ShowLogFile(std::uint64_t bytes, bool read) {
    char size[64];
    std::snprintf(size, sizeof size, read ? " (%.2f KB read)" : " (%.2f KB)",
                  static_cast<double>(bytes) / 1024.0);
    SetText(m_log_file,
            QStringLiteral("Log File: ") + Name(m_setup.log_file_name) + QString::fromLatin1(size));
}

void CConversionDlg::InitDisplay(const CProgressSetup& setup, bool cancel_afterwards) {
    m_setup = setup;
    m_percent = 0;
    m_shown_frames = m_shown_resyncs = m_shown_counter_errors = m_shown_check_sum_errors = -1;
    m_frames->clear();
    m_resyncs->clear();
    m_counter_errors->clear();
    m_check_sum_errors->clear();

    const std::uint64_t length = setup.log_file_length == 0 ? 1 : setup.log_file_length;
    ShowLogFile(setup.log_length_known ? length : 0, !setup.log_length_known);

    QString limits;
    // A header conversion runs through the whole log file, so its bar counts
    // bytes like an instrument conversion without a limit does.
    m_by_frames = !setup.header_conversion && setup.process_limit > 0;
    if (!setup.header_conversion) {
        SetText(m_instrument_file,
                QStringLiteral("Instrument File: ") + Name(setup.instrument_file_name));
        if (m_by_frames) {
            limits =
                QStringLiteral("Conversion Limit: %1 frames (maximum)").arg(setup.process_limit);
        }
        if (setup.process_depth > 1) {
            if (!limits.isEmpty()) limits += QLatin1Char('\n');
            limits += QStringLiteral("Conversion Depth: %1 frames").arg(setup.process_depth);
        }
    } else {
        SetText(m_instrument_file, QStringLiteral("Header Conversion"));
    }
    SetText(m_limits, limits);
    m_shift = 0;
    // A log whose length is not known ahead (a stream, a compressed log)
    // gives the bar nothing to fill: it shows work going on, and the log
    // file line the bytes read.
    m_by_bytes_read = !m_by_frames && !setup.log_length_known;
    if (m_by_frames) {
        m_range = setup.process_limit;
    } else if (m_by_bytes_read) {
        m_range = 0;
    } else {
        while ((length >> m_shift) > static_cast<std::uint64_t>(INT_MAX)) ++m_shift;
        m_range = static_cast<int>(length >> m_shift);
    }
    m_bar->setRange(0, m_range);
    m_bar->setValue(0);

    m_counter_errors_caption->setEnabled(setup.frame_counter_sensor);
    m_check_sum_errors_caption->setEnabled(setup.check_sum_sensor);
    SetState(EState::kConverting);
    if (cancel_afterwards) OnButton();
    CProgressReport nothing_yet;
    nothing_yet.status_text = "Beginning " + setup.conversion_name + " conversion...";
    Refresh(nothing_yet);
}

void CConversionDlg::Refresh(const CProgressReport& report) {
    const QString title =
        m_run_total < 1
            ? QStringLiteral("Dravik Conversion")
            : QStringLiteral("Dravik Conversion - %1/%2").arg(m_current).arg(m_run_total);
    if (windowTitle() != title) setWindowTitle(title);

    const CConversionStatus& s = report.status;
    if (m_state == EState::kConverting && s.done) SetState(EState::kEnded);
    // After a user abort the window already says so, whatever the engine
    // reports while it stops.
    if (m_state != EState::kUserAborted) SetText(m_status, DisplayText(report.status_text));

    m_percent = report.percent;
    long long position;
    if (m_by_frames) {
        position = std::min<long long>(s.frames_processed, m_range);
    } else {
        position =
            std::min<long long>(static_cast<long long>(s.bytes_consumed >> m_shift), m_range);
    }
    if (m_state == EState::kEnded && report.percent >= 100) position = m_range;
    if (!m_setup.log_length_known) ShowLogFile(s.bytes_consumed, true);
    if (m_by_bytes_read && m_state != EState::kConverting) {
        // Done: the bar stops showing work going on, full when complete.
        if (m_bar->maximum() == 0) m_bar->setRange(0, 1);
        position = m_state == EState::kEnded && report.percent >= 100 ? 1 : 0;
    }
    if (m_bar->value() != position) m_bar->setValue(static_cast<int>(position));

    SetCounter(m_frames, s.frames_processed, m_shown_frames);
    SetCounter(m_resyncs, s.resynchronizations, m_shown_resyncs);
    if (m_setup.frame_counter_sensor) {
        SetCounter(m_counter_errors, s.frame_counter_errors, m_shown_counter_errors);
    }
    if (m_setup.check_sum_sensor) {
        SetCounter(m_check_sum_errors, s.check_sum_errors, m_shown_check_sum_errors);
    }
}

void CConversionDlg::OnButton() {
    if (!IsDone() || !IsLastItem()) {
        SetState(EState::kUserAborted);
        emit CancelRequested();
        return;
    }
    emit EndRequested();
    hide();
}

void CConversionDlg::AskToAbort() {
    if (IsDone() && IsLastItem()) {
        OnButton();
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Dravik"),
                    QStringLiteral("Abort conversion?"), QMessageBox::Yes | QMessageBox::No, this);
    if (box.exec() == QMessageBox::Yes && !(IsDone() && IsLastItem())) OnButton();
}

void CConversionDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    AskToAbort();
}

void CConversionDlg::reject() {
    AskToAbort();
}

void CConversionDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_placed) return;
    m_placed = true;
    if (!RestoreWindow(*this, m_position.position, false)) StorePosition();
}

void CConversionDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (m_placed && isVisible()) StorePosition();
}

void CConversionDlg::StorePosition() {
    // Only the position is kept: the size comes from the layout.
    const CWindowRect rect = FrameRect(*this);
    m_position.position = CWindowRect{rect.left, rect.top, 0, 0};
    m_position.Write(m_store);
}

}  // namespace dravik
