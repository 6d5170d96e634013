#pragma once

#include "notice/MailslotTransport.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The mailslot messenger: while active it owns a local mailslot named after its box name,
// announces itself to the workgroup, answers others' announcements, keeps the list of
// computers that announced themselves, and raises an event for every message that
// arrives; it writes messages to the same mailslot on one computer or on all of them.
// Every operation and every event runs on the user-interface thread, whose event loop
// watches the mailslot and keeps the ticks.
namespace notice {

class TMainMessenger;
class MailslotWatch;
class MessengerTicker;

using TStringList = std::vector<std::string>;
using TNELineArrival = std::function<void(TMainMessenger* Sender, const std::string& Origin,
                                          const std::string& Time, const std::string& Line)>;
using TNEMemoArrival = std::function<void(TMainMessenger* Sender, const std::string& Origin,
                                          const std::string& Time, const TStringList& MsgLines)>;
using TNEUserListChange = std::function<void(TMainMessenger* Sender, const TStringList& UserList)>;
using TNEError = std::function<void(TMainMessenger* Sender, const std::string& ErrorMsg)>;
using TNETimer = std::function<void(TMainMessenger* Sender)>;

class TMainMessenger : public QObject {
    Q_OBJECT
public:
    // Without a transport, the messenger speaks NetBIOS datagrams on this computer's
    // interfaces, as this computer's NetBIOS name in Samba's configured workgroup.
    explicit TMainMessenger(QObject* owner = nullptr,
                            std::unique_ptr<MailslotTransport> transport = nullptr);
    ~TMainMessenger() override;
    TMainMessenger(const TMainMessenger&) = delete;
    TMainMessenger& operator=(const TMainMessenger&) = delete;

    void Activate();
    void Deactivate();
    void SendCommand(const std::string& Target, const std::string& Command);
    void SendTextMessage(const std::string& Target, const std::string& Text);

    bool Active() const { return active_; }
    const std::string& Computer() const { return computer_; }
    const std::string& User() const { return user_; }
    const std::string& BoxName() const { return boxName_; }
    void SetBoxName(const std::string& value);
    std::uint16_t Interval() const { return interval_; }
    void SetInterval(std::uint16_t value);
    const TStringList& UserList() const { return userList_; }
    int Tag = 0;

    TNELineArrival OnNewLine;
    TNEMemoArrival OnNewMemo;
    TNEUserListChange OnUserListChange;
    TNEError OnError;
    TNETimer OnTimer;

protected:
    virtual void DoNewLine(const std::string& Origin, const std::string& Time,
                           const std::string& Line);
    virtual void DoNewMemo(const std::string& Origin, const std::string& Time,
                           const TStringList& MsgLines);
    virtual void DoUserListChange(const TStringList& UserList);
    virtual void DoError(const std::string& ErrorMsg);

private:
    friend class MailslotWatch;
    friend class MessengerTicker;

    // The steps of the watch and the ticker.
    void ReadMessage();
    void DoTimer();

    void HandleCommand();
    void AddUser(const std::string& name);
    void RemoveUser(const std::string& name);
    void SendLines(const std::string& Target);
    void StopWatches();

    std::unique_ptr<MailslotTransport> transport_;
    std::unique_ptr<MailslotWatch> readerWatch_;
    std::unique_ptr<MessengerTicker> ticker_;
    bool active_ = false;
    std::string computer_;
    std::string user_;
    std::string boxName_ = "SignalBox";
    std::string kind_, time_, origin_, line_;
    TStringList outgoingLines_;
    TStringList receivedLines_;
    TStringList userList_;
    TStringList memoLines_;
    std::uint16_t interval_ = 1000;
};

// The component as a form places it; it adds nothing to the base.
class TMessenger : public TMainMessenger {
    Q_OBJECT
public:
    using TMainMessenger::TMainMessenger;
};

} // namespace notice
