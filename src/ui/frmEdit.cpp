#include "ui/frmEdit.h"

#include "platform/Pictures.h"
#include "ui/Twips.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Design of the dialog, in twips.
constexpr double ClientWidth = 3930;  // twips
constexpr double ClientHeight = 1395; // twips
const QRectF LabelArea(150, 150, 3615, 255);   // twips
const QRectF TextArea(120, 420, 3675, 315);    // twips
const QRectF CancelArea(1680, 900, 1005, 375); // twips
const QRectF SaveArea(2790, 900, 1005, 375);   // twips

} // namespace

frmEdit::frmEdit(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint)
    , Label1(new QLabel(this))
    , Text1(new QLineEdit(this))
    , cmdCancel(new QPushButton(tr("Cancel"), this))
    , cmdSave(new QPushButton(tr("Save"), this))
{
    setWindowIcon(Pictures::clockFace());
    setModal(true);
    Label1->setBuddy(Text1);
    Label1->setTextFormat(Qt::PlainText);
    Text1->setAccessibleName(tr("Address"));
    cmdCancel->setIcon(Pictures::buttonPicture(Pictures::Button::Cancel));
    cmdSave->setIcon(Pictures::buttonPicture(Pictures::Button::Save));
    // Enter saves, wherever the focus is but on Cancel; Escape cancels (QDialog's own).
    cmdSave->setDefault(true);
    setTabOrder(Text1, cmdCancel);
    setTabOrder(cmdCancel, cmdSave);
    Text1->setFocus();
    Text1->installEventFilter(this);

    connect(cmdSave, &QPushButton::clicked, this, &frmEdit::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmEdit::cmdCancel_Click);
    Timer1.setInterval(SaveCheckInterval);
    connect(&Timer1, &QTimer::timeout, this, &frmEdit::Timer1_Timer);
    // Save follows every change of the text at once: Enter pressed right after typing or
    // pasting, before the next tick, saves what the box holds.
    connect(Text1, &QLineEdit::textChanged, this, &frmEdit::followText);
    Timer1.start();
    arrangeControls();
}

void frmEdit::setPrompt(const QString &prompt)
{
    Label1->setText(prompt);
    Text1->setAccessibleName(prompt);
}

void frmEdit::cmdSave_Click()
{
    // Enter reaches here through the default button. An empty box is never saved, not even
    // before the first tick, while Save still has its starting state.
    if (Text1->text().isEmpty())
        return;
    Value = Text1->text();
    accept();
}

void frmEdit::cmdCancel_Click()
{
    reject();
}

void frmEdit::Timer1_Timer()
{
    followText();
}

void frmEdit::followText()
{
    // A text of blanks counts as not empty.
    cmdSave->setEnabled(!Text1->text().isEmpty());
}

void frmEdit::showEvent(QShowEvent *event)
{
    arrangeControls();
    QDialog::showEvent(event);
}

bool frmEdit::eventFilter(QObject *watched, QEvent *event)
{
    // A dialog gives its first focus as if by Tab, which selects the whole text; the caret
    // belongs after the last character with nothing selected, so that typing adds to it.
    if (watched == Text1 && event->type() == QEvent::FocusIn && mFirstFocus) {
        mFirstFocus = false;
        QCoreApplication::sendEvent(Text1, event);
        Text1->deselect();
        Text1->end(false);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmEdit::arrangeControls()
{
    // The design's places, each row moved down by what the desktop's font needs beyond
    // the design heights of the rows above it.
    const Twips twips(*this);
    const QRect label = twips.toPixels(LabelArea);
    const QRect text = twips.toPixels(TextArea);
    const QRect cancel = twips.toPixels(CancelArea);
    const QRect save = twips.toPixels(SaveArea);

    const int labelHeight = qMax(label.height(), Label1->sizeHint().height());
    int shift = labelHeight - label.height();
    Label1->setGeometry(label.x(), label.y(), label.width(), labelHeight);

    const int textHeight = qMax(text.height(), Text1->sizeHint().height());
    Text1->setGeometry(text.x(), text.y() + shift, text.width(), textHeight);
    shift += textHeight - text.height();

    const int buttonHeight = qMax(save.height(), cmdSave->sizeHint().height());
    const int buttonWidth = qMax(save.width(), qMax(cmdSave->sizeHint().width(), cmdCancel->sizeHint().width()));
    const int right = save.right();
    cmdSave->setGeometry(right - buttonWidth + 1, save.y() + shift, buttonWidth, buttonHeight);
    cmdCancel->setGeometry(cmdSave->x() - (save.x() - cancel.right() - 1) - buttonWidth, cancel.y() + shift, buttonWidth,
                           buttonHeight);
    shift += buttonHeight - save.height();

    const QSize client = twips.toPixels(QSizeF(ClientWidth, ClientHeight));
    setFixedSize(client.width(), client.height() + shift);
}
