#pragma once
// The About window: the program's title and version, where newer versions are published,
// and a button that starts the system-information tool. Deletes itself when closed, so
// every opening shows it anew; the caller creates it and shows it modeless.

#include "ui/Variant.h"
#include "ui/about/SysInfo.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace tq::ui {

class FrmAbout : public QDialog {
    Q_OBJECT

public:
    explicit FrmAbout(const Variant& variant, QWidget* parent = nullptr);

    // Replaces the system's registry (read afresh at each "System Info...") with `registry`,
    // which must outlive the window.
    void setRegistry(Registry& registry) { registry_ = &registry; }
    // Replaces the program start (QProcess::startDetached).
    void setLauncher(ProgramLauncher launcher) { launcher_ = std::move(launcher); }

    void StartSysInfo();

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QFrame* Line1;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

private:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    Variant variant_;
    Registry* registry_ = nullptr;
    ProgramLauncher launcher_ = startDetachedProgram;
};

} // namespace tq::ui
