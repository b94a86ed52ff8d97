#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class frmMain;
struct ProgramState;

// The About window: the logo, the version and a way to the help. Modeless; it deletes
// itself when closed, and AboutShowing is 1 for exactly as long as it exists.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    frmAbout(ProgramState &state, frmMain &mainForm, QWidget *parent = nullptr);
    ~frmAbout() override;

    // "Version " + major + "." + minor of the program's own version.
    static QString versionText();

    QLabel *Image1 = nullptr;
    QGroupBox *frmVersion = nullptr;
    QLabel *lblVersion = nullptr;
    QPushButton *cmdHelp = nullptr;

    void cmdHelp_Click();

private:
    ProgramState &mState;
    frmMain &mMainForm;
};
