#include "app/frmAbout.h"

#include "BuildInfo.h"
#include "app/frmMain.h"
#include "state/ProgramState.h"
#include "platform/Pictures.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmAbout::frmAbout(ProgramState &state, frmMain &mainForm, QWidget *parent)
    : QDialog(parent)
    , mState(state)
    , mMainForm(mainForm)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About Brindlecot"));
    setWindowIcon(Pictures::clockFace());
    setModal(false);

    Image1 = new QLabel(this);
    Image1->setPixmap(Pictures::logo(devicePixelRatioF()));
    Image1->setAlignment(Qt::AlignCenter);

    frmVersion = new QGroupBox(QStringLiteral("Version"), this);
    lblVersion = new QLabel(versionText(), frmVersion);
    auto *versionLayout = new QVBoxLayout(frmVersion);
    versionLayout->addWidget(lblVersion);

    cmdHelp = new QPushButton(QStringLiteral("Help"), this);
    cmdHelp->setAutoDefault(false);
    connect(cmdHelp, &QPushButton::clicked, this, &frmAbout::cmdHelp_Click);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(frmVersion, 1);
    bottom->addWidget(cmdHelp, 0, Qt::AlignBottom);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Image1);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    mState.AboutShowing = 1;
}

frmAbout::~frmAbout()
{
    mState.AboutShowing = 0;
}

QString frmAbout::versionText()
{
    return QStringLiteral("Version %1.%2").arg(BuildInfo::VersionMajor).arg(BuildInfo::VersionMinor);
}

void frmAbout::cmdHelp_Click()
{
    mMainForm.DoHelp();
    close();
}
