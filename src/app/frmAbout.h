#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
struct ProgramState;

// The About window: the logo, the version, who holds the copyright and under which licence
// the program may be used, and a way to the help. Modeless; it deletes itself when closed
// (by its Close button, Escape or its frame), and AboutShowing is 1 for exactly as long as
// it exists. Its Help button asks for the help pages by helpRequested().
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(ProgramState &state, QWidget *parent = nullptr);
    ~frmAbout() override;

    // "Version " + major + "." + minor of the program's own version.
    static QString versionText();
    // The copyright notice and the licence with its lack of warranty, as an interactive
    // program under the GNU GPL shows them.
    static QString copyrightText();
    static QString licenceText();

    QLabel *Image1 = nullptr;
    QGroupBox *frmVersion = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblCopyright = nullptr;
    QLabel *lblLicence = nullptr;
    QPushButton *cmdHelp = nullptr;
    QPushButton *cmdClose = nullptr;

    void cmdHelp_Click();

signals:
    // The user asked for the help pages; the window closes right after.
    void helpRequested();

private:
    ProgramState &mState;
};
