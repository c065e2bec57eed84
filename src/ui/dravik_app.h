// The desktop program's application object: it fixes the program directory and
// the version texts, builds the settings store, the document and the main
// window, and dispatches on the command line: three or more arguments run one
// conversion with the main window hidden and end the program with it (the
// instrument file may be an instrument package); no argument opens the window.
#pragma once

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

namespace dravik {

class CDravikDoc;
class CMainFrame;
class CPackageDirectory;
class CQSettingsStore;
class CWindowFrontEnd;

class CDravikApp : public QApplication {
    Q_OBJECT

  public:
    CDravikApp(int& argc, char** argv);
    ~CDravikApp() override;

    // Start-up and the event loop; returns the exit status.
    int Run();

    const std::string& ProgramDirectory() const noexcept { return m_program_directory; }
    const std::string& CompanyName() const noexcept { return m_company_name; }
    const std::string& FileDescription() const noexcept { return m_file_description; }
    const std::string& ProductVersion() const noexcept { return m_product_version; }
    const std::string& ProductName() const noexcept { return m_product_name; }
    const std::string& LegalNotice() const noexcept { return m_legal_notice; }

  private:
    int RunBatch();
    int RunWindow();

    std::vector<std::string> m_args;  // without the program name
    std::string m_program_directory;
    std::string m_company_name;
    std::string m_file_description;
    std::string m_product_version;
    std::string m_product_name;
    std::string m_legal_notice;

    // Destroyed in reverse: the window (the view stores its sections), then the
    // document (it stores "Settings"), then what they both use, and last the
    // folder of a batch run's instrument package.
    std::unique_ptr<CPackageDirectory> m_package_folder;
    std::unique_ptr<CQSettingsStore> m_store;
    std::unique_ptr<CWindowFrontEnd> m_front_end;
    std::unique_ptr<CDravikDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
};

}  // namespace dravik
