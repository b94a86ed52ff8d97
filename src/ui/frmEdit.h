#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

class QLabel;
class QLineEdit;
class QPushButton;

// The one-line input dialog of the Time Servers window: a prompt, a text box, Cancel and
// Save. Save takes the text into Value; every other way out leaves Value empty. Enter saves
// whatever non-empty text the box holds at that moment, and Escape cancels.
class frmEdit : public QDialog
{
    Q_OBJECT

public:
    static constexpr int SaveCheckInterval = 250; // milliseconds

    explicit frmEdit(QWidget *owner = nullptr);

    // The prompt above the text box; it is also the text box's name for screen readers, so
    // that each use of the dialog is told apart.
    void setPrompt(const QString &prompt);

    // The accepted text; empty until Save is pressed.
    QString Value;

    QLabel *Label1;
    QLineEdit *Text1;
    QPushButton *cmdCancel;
    QPushButton *cmdSave;
    QTimer Timer1; // enables Save only while the text is not empty; the text's changes do too

    void cmdSave_Click();
    void cmdCancel_Click();
    void Timer1_Timer();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void arrangeControls();
    // Save is enabled while the text is not empty.
    void followText();

    bool mFirstFocus = true;
};
