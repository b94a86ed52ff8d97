#include "app/frmAbout.h"

#include "BuildInfo.h"
#include "state/ProgramState.h"
#include "platform/Pictures.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Those of the package's copyright file.
constexpr char CopyrightYears[] = "2026";
constexpr char CopyrightHolder[] = "Brindlecot maintainers";

} // namespace

frmAbout::frmAbout(ProgramState &state, QWidget *parent)
    : QDialog(parent)
    , mState(state)
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

    lblCopyright = new QLabel(copyrightText(), this);
    lblLicence = new QLabel(licenceText(), this);
    for (QLabel *notice : { lblCopyright, lblLicence })
        notice->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdHelp = new QPushButton(QStringLiteral("Help"), this);
    cmdHelp->setAutoDefault(false);
    connect(cmdHelp, &QPushButton::clicked, this, &frmAbout::cmdHelp_Click);
    // Enter closes the window as Escape does; the focus starts here.
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setDefault(true);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(frmVersion, 1);
    bottom->addWidget(cmdHelp, 0, Qt::AlignBottom);
    bottom->addWidget(cmdClose, 0, Qt::AlignBottom);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Image1);
    layout->addWidget(lblCopyright);
    layout->addWidget(lblLicence);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    cmdClose->setFocus();

    mState.AboutShowing = WindowShowing::Open;
}

frmAbout::~frmAbout()
{
    mState.AboutShowing = WindowShowing::Closed;
}

QString frmAbout::versionText()
{
    return QStringLiteral("Version %1.%2").arg(BuildInfo::VersionMajor).arg(BuildInfo::VersionMinor);
}

QString frmAbout::copyrightText()
{
    return QStringLiteral("Copyright \u00A9 %1 %2").arg(QLatin1String(CopyrightYears), QLatin1String(CopyrightHolder));
}

QString frmAbout::licenceText()
{
    // Broken into lines about as wide as the logo.
    return QStringLiteral("License GPL-3.0-or-later: GNU GPL version 3\n"
                          "or later <https://gnu.org/licenses/gpl.html>.\n"
                          "This is free software: you are free to change\n"
                          "and redistribute it. There is NO WARRANTY,\n"
                          "to the extent permitted by law.");
}

void frmAbout::cmdHelp_Click()
{
    emit helpRequested();
    close();
}
