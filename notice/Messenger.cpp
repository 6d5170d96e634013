#include "notice/Messenger.h"

#include "notice/ComputerNames.h"
#include "notice/MessageLines.h"
#include "notice/MessengerWatches.h"
#include "notice/UdpMailslotTransport.h"
#include "platform/system/SystemInfo.h"

#include <QLocale>
#include <QTime>

namespace notice {
namespace {

// The regional settings' long time of day, without the time zone that the toolkit's long
// format may add: hours, minutes and seconds only.
std::string longTimeOfDay() {
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    format = format.trimmed();
    return QLocale::system().toString(QTime::currentTime(), format).toStdString();
}

std::unique_ptr<MailslotTransport> systemTransport(const std::string& computer) {
    UdpMailslotTransport::Options options;
    options.computerName = computer;
    options.workgroup = sambaWorkgroup();
    return std::make_unique<UdpMailslotTransport>(std::move(options));
}

} // namespace

TMainMessenger::TMainMessenger(QObject* owner, std::unique_ptr<MailslotTransport> transport)
    : QObject(owner), computer_(computerNetbiosName(platform::computerName())),
      user_(platform::userName()) {
    transport_ = transport ? std::move(transport) : systemTransport(computer_);
}

TMainMessenger::~TMainMessenger() {
    if (active_) Deactivate();
}

void TMainMessenger::Activate() {
    if (active_) {
        DoError("You tried to Activate an active TMessenger component");
        return;
    }
    // The mailslot is made before its watch, which waits on it.
    if (!transport_->createLocal(boxName_)) {
        DoError("Could not Create Mail Slot");
        return;
    }
    readerWatch_ = std::make_unique<MailslotWatch>(*this, transport_->localReadyDescriptor());
    ticker_ = std::make_unique<MessengerTicker>(*this);
    SendCommand("*", "ONLINE_NOTIFY");
    active_ = true;
}

void TMainMessenger::Deactivate() {
    if (!active_) {
        DoError("Cannot Deactivate an Inactive TMessenger Component");
        return;
    }
    StopWatches();
    transport_->closeLocal();
    SendCommand("*", "OFFLINE_NOTIFY");
    active_ = false;
}

// Ends the watch before the mailslot closes under it, and the ticks with it: neither
// acts again, whatever is still waiting in the event queue.
void TMainMessenger::StopWatches() {
    readerWatch_.reset();
    ticker_.reset();
}

void TMainMessenger::SetBoxName(const std::string& value) {
    if (value == boxName_) return;
    boxName_ = value;
    if (active_) {
        Deactivate();
        Activate();
    }
}

void TMainMessenger::SetInterval(std::uint16_t value) {
    interval_ = value;
}

void TMainMessenger::SendCommand(const std::string& Target, const std::string& Command) {
    outgoingLines_.insert(outgoingLines_.end(),
                          {"COMMAND_MSG", longTimeOfDay(), computer_, Command, "END_MESSAGE"});
    SendLines(Target);
}

void TMainMessenger::SendTextMessage(const std::string& Target, const std::string& Text) {
    if (Target == "*") return;
    outgoingLines_.push_back(Text);
    SendLines(Target);
}

void TMainMessenger::SendLines(const std::string& Target) {
    if (outgoingLines_.empty()) return;
    // Taken out first, so that an error handler that sends starts from an empty message.
    const std::string text = joinMessageLines(outgoingLines_);
    outgoingLines_.clear();
    if (!transport_->write(Target, boxName_, text)) DoError("Could not Open a Remote Mail Slot");
}

void TMainMessenger::ReadMessage() {
    receivedLines_.clear();
    if (std::optional<std::string> text = transport_->readLocal())
        receivedLines_ = splitMessageLines(*text);
    if (receivedLines_.size() >= 4) {
        kind_ = receivedLines_[0];
        time_ = receivedLines_[1];
        origin_ = receivedLines_[2];
        line_ = receivedLines_[3];
        memoLines_.clear();
        if (receivedLines_.size() >= 6)
            memoLines_.assign(receivedLines_.begin() + 4, receivedLines_.end() - 1);
        if (kind_ == "COMMAND_MSG") HandleCommand();
        if (kind_ == "LINE_MSG") DoNewLine(origin_, time_, line_);
        if (kind_ == "MEMO_MSG") DoNewMemo(origin_, time_, memoLines_);
    }
    receivedLines_.clear();
}

void TMainMessenger::DoTimer() {
    if (OnTimer) OnTimer(this);
}

void TMainMessenger::HandleCommand() {
    if (origin_ == computer_) return;
    // Copied: an answer's error handler may change the fields of the message at hand.
    const std::string origin = origin_;
    if (line_ == "ONLINE_NOTIFY") {
        AddUser(origin);
        SendCommand(origin, "ONLINE_RESPONSE");
    } else if (line_ == "ONLINE_RESPONSE") {
        AddUser(origin);
    } else if (line_ == "OFFLINE_NOTIFY") {
        RemoveUser(origin);
    }
}

void TMainMessenger::AddUser(const std::string& name) {
    for (const std::string& entry : userList_)
        if (entry == name) return;
    userList_.push_back(name);
    DoUserListChange(userList_);
}

void TMainMessenger::RemoveUser(const std::string& name) {
    for (auto entry = userList_.rbegin(); entry != userList_.rend(); ++entry) {
        if (*entry == name) {
            userList_.erase(std::next(entry).base());
            DoUserListChange(userList_);
            return;
        }
    }
}

void TMainMessenger::DoNewLine(const std::string& Origin, const std::string& Time,
                               const std::string& Line) {
    if (OnNewLine) OnNewLine(this, Origin, Time, Line);
}

void TMainMessenger::DoNewMemo(const std::string& Origin, const std::string& Time,
                               const TStringList& MsgLines) {
    if (OnNewMemo) OnNewMemo(this, Origin, Time, MsgLines);
}

void TMainMessenger::DoUserListChange(const TStringList& UserList) {
    if (OnUserListChange) OnUserListChange(this, UserList);
}

void TMainMessenger::DoError(const std::string& ErrorMsg) {
    if (OnError) OnError(this, ErrorMsg);
}

} // namespace notice
