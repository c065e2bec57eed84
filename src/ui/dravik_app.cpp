#include "dravik_app.h"

#include <QIcon>
#include <clocale>
#include <cstdio>

#include "packages/batch_package.h"
#include "settings/parameters.h"
#include "settings/program_dir.h"
#include "settings/qt/qsettings_store.h"
#include "frontend/batch_command_line.h"
#include "frontend/exit_status.h"
#include "conversion/dravik_doc.h"
#include "dravik_view.h"
#include "help_window.h"
#include "main_frame.h"
#include "window_front_end.h"

#ifndef DRAVIK_VERSION
#define DRAVIK_VERSION "0.0.0"
#endif

namespace dravik {

CDravikApp::CDravikApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Numbers in every file are written and read the "C" way, whatever the
    // user's locale; QApplication has just set the locale from the
    // environment.
    std::setlocale(LC_NUMERIC, "C");
    for (int i = 1; i < argc; ++i) m_args.emplace_back(argv[i]);

    m_program_directory = dravik::ProgramDirectory();
    m_company_name = "Quillfern";
    m_file_description = "Dravik";
    m_product_version = DRAVIK_VERSION;
    m_product_name = "Dravik";
    m_legal_notice = "Copyright (C) Quillfern";
    setOrganizationName(QString::fromStdString(m_company_name));
    setApplicationName(QStringLiteral("Dravik"));
    setApplicationVersion(QString::fromStdString(m_product_version));
    setDesktopFileName(QStringLiteral("dravik"));
    LoadResources();
    setWindowIcon(QIcon(QStringLiteral(":/dravik/dravik.svg")));
    // The program ends when its main window closes, not when the last
    // visible window does: a batch run has only its progress window.
    setQuitOnLastWindowClosed(false);
}

CDravikApp::~CDravikApp() {
    m_frame.reset();
    m_doc.reset();
    m_front_end.reset();
    m_store.reset();
    m_package_folder.reset();
}

int CDravikApp::Run() {
    m_store = std::make_unique<CQSettingsStore>();
    m_front_end = std::make_unique<CWindowFrontEnd>(*m_store);
    m_doc = std::make_unique<CDravikDoc>(*m_front_end, m_store.get());
    m_doc->SetProgramDirectory(
        DataFileDirectory(CDravikDoc::kHeaderDefinitionName, m_program_directory));
    m_frame = std::make_unique<CMainFrame>(
        *m_doc, *m_front_end, *m_store,
        CProductInfo{m_product_name, m_product_version, m_legal_notice});
    connect(m_frame.get(), &CMainFrame::Closed, this, &QApplication::quit, Qt::QueuedConnection);
    if (m_args.size() >= 2) return RunBatch();
    return RunWindow();
}

int CDravikApp::RunBatch() {
    // The view's initial update is left out: the stored parameters, lists and
    // namings are not read (nor written at exit), the log window stays
    // closed. The parameters start from their defaults and the options.
    CCommandLineFiles files;
    const std::string refusal = ReadBatchCommandLine(*m_doc, m_args, files);
    if (!refusal.empty()) {
        m_front_end->ShowMessage(refusal);
        return kExitInvalidCommandLine;
    }
    std::vector<const char*> argv{"dravik"};
    for (const std::string& arg : m_args) argv.push_back(arg.c_str());
    m_doc->GetParameters().command_line =
        CommandLineText(static_cast<int>(argv.size()), argv.data());
    // Said once on standard error, as the headless converter says it.
    if (const std::string notice = TextOptionsNotice(m_args, m_doc->GetParameters());
        !notice.empty()) {
        std::fprintf(stderr, "%s\n", notice.c_str());
    }
    // An instrument package in place of the instrument file gives its first
    // instrument file, as a package dropped on the Instrument list does.
    if (files.count == 3 && IsPackagePath(m_doc->GetInstrumentFilePath()) &&
        !UseInstrumentPackage(*m_doc, *m_front_end, std::string(), m_package_folder)) {
        return kExitFailed;
    }
    m_frame->View().PostStartConversion();
    exec();
    // The exit status tells scripts how the conversion ended.
    return ExitStatusOf(m_frame->View().Outcome() == EConversionOutcome::kComplete);
}

int CDravikApp::RunWindow() {
    // A single argument names a log file to preselect, which needs the file
    // lists; an option there is refused as on the batch command line.
    if (m_args.size() == 1 && IsOptionArgument(m_args[0])) {
        m_front_end->ShowMessage(InvalidParametersText(0));
        return kExitInvalidCommandLine;
    }
    m_frame->View().InitialUpdate();
    if (m_args.size() == 1) m_frame->View().SelectCommandLineLog(m_args[0]);
    m_frame->setWindowTitle(QStringLiteral("Dravik"));
    m_frame->show();
    return exec();
}

}  // namespace dravik
