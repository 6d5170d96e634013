#include "chat/FrmChat.h"

#include "assets/AssetPaths.h"
#include "chat/ChatRules.h"
#include "chat/SpeedBar.h"
#include "chat/TranscriptBound.h"
#include "net/EventSocket.h"
#include "platform/system/Cp1252.h"
#include "session/Protocol.h"
#include "ui/ApplicationTitle.h"
#include "ui/DialogLook.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>

namespace chat {

TfrmChat::TfrmChat(std::string localUser, net::TCustomEventSocket& cliSocket, QWidget* parent,
                   QString placementFile)
    : QMainWindow(parent), localUser_(std::move(localUser)), cliSocket_(cliSocket),
      placementStore_(std::move(placementFile), QStringLiteral("TfrmChat"),
                      QStringLiteral("frmUsuarios")) {
    setAttribute(Qt::WA_DeleteOnClose);
    chat::installFontFallbacks();
    buildWindow();

    // FormCreate.
    SpeedBar1->setWallpaper(QPixmap(QString::fromLatin1(assets::chatBackground)));
    setWindowTitle(ui::programTitle() + QStringLiteral(" - Usuário:") + QLatin1Char(' ') +
                   platform::fromCp1252(localUser_));
    disconnectedLook();
    closedForInvitation_ = false;

    connect(mmomensagem, &QLineEdit::returnPressed, this, [this] { btnEnviarClick(); });
    connect(memo1, &QPlainTextEdit::textChanged, this, [this] { memo1Change(); });
    connect(memo1, &QPlainTextEdit::selectionChanged, this, [this] { memo1SelectionChange(); });
}

TfrmChat::~TfrmChat() {
    // FormDestroy.
    if (placementRead_ && !placementSaved_) savePlacement(true);
    if (!closedForInvitation_ && holdsSession_) {
        try {
            cliSocket_.Close();
        } catch (const std::exception&) {
            // The window goes away all the same; a socket that cannot be closed now is
            // closed by the main form's next use of it.
        }
    }
}

// ---- What the session shows ----

void TfrmChat::addPlainLine(const std::string& text) {
    showGathered();
    QTextCursor cursor(memo1->document());
    cursor.movePosition(QTextCursor::End);
    if (!cursor.block().text().isEmpty()) cursor.insertText(chat::kEntryBreak);
    styledAppend(chat::plainLineRuns(text));
}

void TfrmChat::clearTranscript() {
    showGathered();
    memo1->clear();
}

void TfrmChat::clearInput() {
    mmomensagem->clear();
}

void TfrmChat::connectedLook() {
    showGathered();
    ui::setEditBackground(mmomensagem, QPalette::Base);
    mmomensagem->setEnabled(true);
    btnEncerrar->show();
    mmomensagem->setFocus();
}

void TfrmChat::disconnectedLook() {
    showGathered();
    mmomensagem->clear();
    mmomensagem->setEnabled(false);
    ui::setEditBackground(mmomensagem, QPalette::Button);
    btnEncerrar->hide();
}

void TfrmChat::addUser(const std::string& name) {
    showGathered();
    auto* item = new QTreeWidgetItem(ListUser, QStringList{chat::userListEntry(name)});
    QIcon picture;
    const QPixmap pixmap(QString::fromLatin1(assets::chatUser));
    picture.addPixmap(pixmap, QIcon::Normal);
    picture.addPixmap(pixmap, QIcon::Selected);
    picture.addPixmap(pixmap, QIcon::Disabled);
    item->setIcon(0, picture);
}

void TfrmChat::removePeer() {
    showGathered();
    QStringList entries;
    for (int i = 0; i < ListUser->topLevelItemCount(); ++i)
        entries << ListUser->topLevelItem(i)->text(0);
    const int at = chat::peerEntryIndex(entries, localUser_);
    if (at >= 0) delete ListUser->takeTopLevelItem(at);
}

void TfrmChat::setPeerName(const std::string& capitalisedName) {
    peerName_ = capitalisedName;
}

void TfrmChat::closeForInvitation() {
    showGathered();
    closedForInvitation_ = true;
    close();
}

// ---- What the session shows of a received line ----

void TfrmChat::hideSelection() {
    QTextCursor cursor = memo1->textCursor();
    if (cursor.hasSelection()) {
        cursor.clearSelection();
        memo1->setTextCursor(cursor);
    }
}

void TfrmChat::styledAppend(const std::vector<chat::TextRun>& runs) {
    showGathered();
    writeEntries({runs});
}

void TfrmChat::writeEntries(const std::deque<std::vector<chat::TextRun>>& entries) {
    if (entries.empty()) return;
    if (entries.size() > 1) {
        // Room first for a burst: the oldest entries that the new ones push out go before
        // they come in, so the document never holds much more than its bound.
        qsizetype characters = 0;
        for (const std::vector<chat::TextRun>& runs : entries)
            for (const chat::TextRun& run : runs)
                characters += run.text.size();
        chat::trimTranscript(
            *memo1->document(),
            std::max(0, chat::transcriptEntries - static_cast<int>(entries.size())),
            static_cast<int>(std::max<qsizetype>(0, chat::transcriptCharacters - characters)));
    }
    const QColor windowText = memo1->palette().color(QPalette::Text);
    QTextCursor cursor(memo1->document());
    // One edit for all the entries: the document lays the new lines out once, not per
    // run or per line, and the cursor finds the end without asking the layout where it is.
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    for (const std::vector<chat::TextRun>& runs : entries)
        for (const chat::TextRun& run : runs) {
            QTextCharFormat format;
            format.setForeground(run.colour.isValid() ? run.colour : windowText);
            format.setFontFamilies(QStringList{run.fontFamily});
            format.setFontPointSize(run.pointSize);
            format.setFontWeight(QFont::Normal);
            format.setFontItalic(false);
            format.setFontUnderline(false);
            format.setFontStrikeOut(false);
            // Always plain text: received bytes never become markup.
            cursor.insertText(run.text, format);
        }
    cursor.endEditBlock();
    // The oldest entries go in an edit of their own: removed together with the new ones,
    // the change would span the whole document and drop every entry's layout.
    chat::trimTranscript(*memo1->document());
}

void TfrmChat::gatherThisTurn() {
    if (gathered_.isOpen()) return;
    gathered_.open();
    // Posted: it runs once the event loop has finished this turn's socket events, before
    // it waits for the next ones.
    QMetaObject::invokeMethod(
        this, [this] { showGathered(); }, Qt::QueuedConnection);
}

void TfrmChat::showGathered() {
    if (!gathered_.isOpen()) return;
    const chat::TranscriptBatch::Held held = gathered_.take();
    writeEntries(held.entries);
    if (held.finish) finishNow();
}

void TfrmChat::appendReceived(std::vector<chat::TextRun> runs) {
    if (gathered_.isOpen())
        gathered_.add(std::move(runs));
    else
        styledAppend(runs);
}

void TfrmChat::appendReceivedChatLine(const std::string& sender, const std::string& message) {
    appendReceived(chat::receivedChatLineRuns(sender, chat::timeStamp(), message));
}

void TfrmChat::appendConnectedNotice() {
    appendReceived(chat::connectedNoticeRuns());
}

void TfrmChat::appendReceivedStatusLine(const std::string& text) {
    appendReceived(chat::receivedStatusLineRuns(text));
}

void TfrmChat::moveCaretToEnd() {
    // Moves the caret with an empty selection and scrolls it into view.
    memo1->moveCursor(QTextCursor::End);
}

void TfrmChat::finishEntry() {
    if (gathered_.isOpen())
        gathered_.finish();
    else
        finishNow();
}

void TfrmChat::finishNow() {
    moveCaretToEnd();
    if (!isVisible()) return;
    // Focus through the transcript makes this the program's active window, but only when
    // the program is active already: a received line never steals the desktop's focus.
    if (QApplication::activeWindow() && QApplication::activeWindow() != this) activateWindow();
    memo1->setFocus();
    if (mmomensagem->isEnabled()) mmomensagem->setFocus();
}

// ---- Events ----

void TfrmChat::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return;
    applyStoredPlacement();
    FormShow();
}

void TfrmChat::FormShow() {
    addUser(localUser_);
    btnChat->setChecked(frmUsuarios->isVisibleTo(this));
    const auto state =
        chat::menuStateOnShow(!memo1->document()->isEmpty(), memo1->textCursor().hasSelection());
    mnuCopiar->setEnabled(state.copy);
    SelecionarTudo1->setEnabled(state.selectAll);
}

void TfrmChat::applyStoredPlacement() {
    const chat::StoredPlacement stored = placementStore_.read();
    placementRead_ = true;
    placementSaved_ = false;
    if (stored.panelVisible) frmUsuarios->setVisible(*stored.panelVisible);
    QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    const int ppi = shown ? qRound(shown->logicalDotsPerInchY()) : 96;
    const bool applies = stored.placement && chat::placementApplies(*stored.placement, ppi);
    const bool sizeOnly = chat::windowSystemPlacesWindows();
    if (applies) {
        const QRect& r = stored.placement->normalRect;
        if (!sizeOnly) move(r.topLeft());
        resize(r.size());
        if (stored.placement->showCmd == 3) setWindowState(windowState() | Qt::WindowMaximized);
    }
    if ((!applies || sizeOnly) && firstShow_ && shown) {
        QRect frame = frameGeometry();
        frame.moveCenter(shown->availableGeometry().center());
        move(frame.topLeft());
    }
    firstShow_ = false;
}

void TfrmChat::savePlacement(bool destroying) {
    chat::WindowPlacement p;
    p.showCmd = isMaximized() ? 3 : (isMinimized() ? 2 : 1);
    // A maximised or minimised window is stored at its normal place, the one it is
    // restored to; only the client area is known there, so the frame is put around it.
    const QRect normal = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    const QPoint frameOffset = geometry().topLeft() - pos();
    p.normalRect = QRect(normal.topLeft() - frameOffset, normal.size());
    QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    p.pixelsPerInch = shown ? qRound(shown->logicalDotsPerInchY()) : 96;
    if (chat::windowSystemPlacesWindows())
        p = chat::keepStoredPosition(p, placementStore_.read().placement);
    placementStore_.write(p, frmUsuarios->isVisibleTo(this), destroying);
    placementSaved_ = true;
}

void TfrmChat::closeEvent(QCloseEvent* event) {
    // FormClose: every way of closing frees the window.
    if (placementRead_) savePlacement(false);
    event->accept();
}

void TfrmChat::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfrmChat::FormResize() {
    mmomensagem->resize(Panel2->width(), 19);
}

bool TfrmChat::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memo1 && event->type() == QEvent::KeyPress) {
        // Tab stays in the transcript rather than moving the focus on.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return true;
    }
    if (watched == Panel2 && event->type() == QEvent::Resize) FormResize();
    return QMainWindow::eventFilter(watched, event);
}

// ---- Commands ----

void TfrmChat::btnEnviarClick() {
    ui::runGuarded([this] {
        const std::string typed = platform::toCp1252(mmomensagem->text());
        // A failed send raises and leaves both the transcript and the typed text alone.
        cliSocket_.SendText(session::chatLine(localUser_, typed));
        hideSelection();
        styledAppend(chat::ownChatLineRuns(localUser_, chat::timeStamp(), typed));
        moveCaretToEnd();
        memo1->setFocus();
        mmomensagem->clear();
        mmomensagem->setFocus();
    });
}

void TfrmChat::btnSairClick() {
    close();
}

void TfrmChat::btnChatClick() {
    frmUsuarios->setVisible(btnChat->isChecked());
}

void TfrmChat::btnEncerrarClick() {
    ui::runGuarded([this] { cliSocket_.Close(); });
}

void TfrmChat::btnFecharUserClick() {
    frmUsuarios->hide();
    btnChat->setChecked(false);
}

void TfrmChat::mnuCopiarClick() {
    memo1->copy();
}

void TfrmChat::SelecionarTudo1Click() {
    memo1->selectAll();
}

void TfrmChat::memo1Change() {
    const auto state = chat::menuStateOnTextChange(!memo1->document()->isEmpty());
    mnuCopiar->setEnabled(state.copy);
    SelecionarTudo1->setEnabled(state.selectAll);
}

void TfrmChat::memo1SelectionChange() {
    mnuCopiar->setEnabled(chat::copyEnabledOnSelectionChange(memo1->textCursor().hasSelection()));
}

} // namespace chat
