// One messenger on this computer's real interfaces, for the tests that run it inside
// network namespaces. Prints every event as one line on standard output.
//   messenger_probe listen SECONDS   active for that long, then deactivated
//   messenger_probe text TARGET TEXT one text message from an inactive messenger
// The box name is "messngr" in both.
#include "notice/Messenger.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <string>

namespace {

void say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string joined(const notice::TStringList& lines) {
    std::string text;
    for (const auto& line : lines)
        text += "[" + line + "]";
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    notice::TMessenger messenger;
    messenger.SetBoxName("messngr");
    messenger.OnNewLine = [](auto*, const std::string& origin, const std::string&,
                             const std::string& line) { say("line:" + origin + "|" + line); };
    messenger.OnNewMemo = [](auto*, const std::string& origin, const std::string&,
                             const notice::TStringList& lines) {
        say("memo:" + origin + "|" + joined(lines));
    };
    messenger.OnUserListChange = [](auto*, const notice::TStringList& users) {
        say("users:" + joined(users));
    };
    messenger.OnError = [](auto*, const std::string& text) { say("error:" + text); };
    say("computer:" + messenger.Computer());
    if (mode == "text" && argc == 4) {
        messenger.SendTextMessage(argv[2], argv[3]);
        return 0;
    }
    if (mode != "listen") return 2;
    messenger.Activate();
    say(messenger.Active() ? "active" : "inactive");
    QTimer::singleShot(static_cast<int>(std::stod(argv[2]) * 1000), [&] {
        if (messenger.Active()) messenger.Deactivate();
        say("done");
        app.quit();
    });
    return app.exec();
}
