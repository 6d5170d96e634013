#pragma once

#include "chat/TranscriptBatch.h"
#include "chat/TranscriptEntry.h"
#include "chat/WindowPlacement.h"
#include "session/ChatView.h"

#include <QMainWindow>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;
class QTreeWidget;

namespace net {
class TCustomEventSocket;
}

namespace chat {

class SpeedBar;

// The chat window: the session's transcript, the input line, the users in the chat and
// the commands. It is created for a session and deletes itself when closed; closing it
// ends the session by closing the session socket, which the main form owns.
//
// Texts that come from the wire or the settings are Windows-1252 bytes.
class TfrmChat : public QMainWindow, public session::ChatView {
    Q_OBJECT
public:
    TfrmChat(std::string localUser, net::TCustomEventSocket& cliSocket, QWidget* parent = nullptr,
             QString placementFile = chat::PlacementStore::defaultIniPath());
    ~TfrmChat() override;

    // What the session shows in the window (session::ChatView).
    void addPlainLine(const std::string& text) override;
    void clearTranscript() override;
    void clearInput() override;
    void connectedLook() override;
    void disconnectedLook() override;
    void addUser(const std::string& name) override;
    void removePeer() override;
    void setPeerName(const std::string& capitalisedName) override;
    const std::string& peerName() const override { return peerName_; }
    // Closes the window without closing the session socket, which a new caller now uses.
    void closeForInvitation() override;
    bool closedForInvitation() const { return closedForInvitation_; }
    // Whether CliSocket's connection is this window's session; when it is not (the session
    // ended and a new caller may be using the socket), destroying the window leaves it open.
    void setHoldsSession(bool holds) override { holdsSession_ = holds; }
    bool holdsSession() const { return holdsSession_; }

    // What the session shows of a received line (session::ChatView).
    void hideSelection() override;
    void styledAppend(const std::vector<chat::TextRun>& runs);
    void appendReceivedChatLine(const std::string& sender, const std::string& message) override;
    void appendConnectedNotice() override;
    void appendReceivedStatusLine(const std::string& text) override;
    // Caret to the end and into view, focus through the transcript to the input line;
    // whatever cannot be done (window hidden, input line disabled) is left out.
    void finishEntry() override;
    // Received entries wait until the event loop's turn ends and go in together; any
    // other change of the window shows them first.
    void gatherThisTurn() override;

    const std::string& localUser() const { return localUser_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildSpeedBar();
    QFrame* buildUsersPanel();
    void buildMenu();

    void FormShow();
    void FormResize();
    void btnEnviarClick();
    void btnSairClick();
    void btnChatClick();
    void btnEncerrarClick();
    void btnFecharUserClick();
    void mnuCopiarClick();
    void SelecionarTudo1Click();
    void memo1Change();
    void memo1SelectionChange();

    void applyStoredPlacement();
    void savePlacement(bool destroying);
    void moveCaretToEnd();
    void finishNow();
    void appendReceived(std::vector<chat::TextRun> runs);
    void writeEntries(const std::deque<std::vector<chat::TextRun>>& entries);
    // Writes what the turn gathered, if anything.
    void showGathered();

    std::string localUser_;
    net::TCustomEventSocket& cliSocket_;
    std::string peerName_;
    bool closedForInvitation_ = false;
    bool holdsSession_ = true;

    chat::PlacementStore placementStore_;
    bool placementRead_ = false;
    bool placementSaved_ = false;
    bool firstShow_ = true;
    chat::TranscriptBatch gathered_;

    chat::SpeedBar* SpeedBar1 = nullptr;
    QToolButton* btnSair = nullptr;
    QToolButton* btnChat = nullptr;
    QToolButton* btnEncerrar = nullptr;
    QFrame* frmUsuarios = nullptr;
    QToolButton* btnFecharUser = nullptr;
    QTreeWidget* ListUser = nullptr;
    QPlainTextEdit* memo1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLineEdit* mmomensagem = nullptr;
    QAction* mnuCopiar = nullptr;
    QAction* SelecionarTudo1 = nullptr;
};

} // namespace chat
