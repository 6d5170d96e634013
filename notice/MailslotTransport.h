#pragma once

#include <optional>
#include <string>

// What the messenger needs of the system's mailslots: one local mailslot to read whole
// messages from, and writes of whole messages to the mailslot of the same name on one
// computer or, with the target "*", on every computer of the workgroup.
namespace notice {

class MailslotTransport {
public:
    virtual ~MailslotTransport() = default;

    // False when the local mailslot cannot be made (one of that name exists already).
    virtual bool createLocal(const std::string& boxName) = 0;
    virtual void closeLocal() = 0;
    // A descriptor that polls readable while a message waits in the local mailslot, or
    // -1 while there is none. Watched by the messenger's event loop; it stays valid until
    // closeLocal, which is only called once the watch has ended.
    virtual int localReadyDescriptor() const = 0;
    // Removes one waiting message; nothing when the read failed or what arrived was not
    // a message for this mailslot.
    virtual std::optional<std::string> readLocal() = 0;

    // False when the remote mailslot cannot be opened: the target is unknown, or the
    // message cannot travel in one piece.
    virtual bool write(const std::string& target, const std::string& boxName,
                       const std::string& message) = 0;
};

} // namespace notice
