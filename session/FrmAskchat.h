#pragma once

#include "session/AnswerGate.h"
#include "session/AskChatCountdown.h"

#include <QDialog>
#include <QIcon>
#include <memory>

class QFrame;
class QLabel;
class QProgressBar;
class QTimer;
class QToolButton;

namespace session {

// The invitation dialog: the caller's name in the caption, the invitation text, a gauge
// that fills in 30 seconds, "&Aceitar" and "&Ignorar". It reads what AskChat kept for
// it and writes the answer back there; it deletes itself once closed.
class InvitationNotification;

class TfrmAskchat : public QDialog {
    Q_OBJECT

public:
    TfrmAskchat();
    ~TfrmAskchat() override;

    static constexpr int clientWidth = 387;
    static constexpr int clientHeight = 98;
    static constexpr int labelWidth = 371;

    // One tick of Timer1; public so tests advance the dialog's time themselves.
    void Timer1Timer();
    // The answers. Each is taken only once the dialog has been up for a second (see
    // AnswerGate); earlier the buttons are disabled and do nothing.
    void btnAceitarClick();
    void btnIgnorarClick();
    bool takesAnswers() const { return gate_.admits(); }
    // Enables the buttons once the dialog's clock says the settling second is over, or
    // waits for the rest of it. Runs by a timer; public so tests that drive the clock
    // run it themselves.
    void settleAnswers();

    // Brings the dialog above every other window again.
    void PutOnTop();

    // The desktop notification posted with the dialog; none once it is withdrawn.
    InvitationNotification* notification() const { return notification_.get(); }

    QLabel* Label1 = nullptr;
    QFrame* Panel1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Image1 = nullptr;
    QFrame* Panel3 = nullptr;
    QProgressBar* PB = nullptr;
    QToolButton* btnAceitar = nullptr;
    QToolButton* btnIgnorar = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* Image3 = nullptr;
    QLabel* Image4 = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildControls();
    void FormCreate();
    void FormShow();
    void playInvitationSound();
    void postNotification();
    void answer(bool accepted);
    void acceptKeyboard();
    QIcon faceIcon(AskChatCountdown::Face face) const;

    AskChatCountdown countdown_;
    AnswerGate gate_;
    std::unique_ptr<InvitationNotification> notification_;
    QTimer* settleTimer_ = nullptr;
    bool shown_ = false;
};

} // namespace session
