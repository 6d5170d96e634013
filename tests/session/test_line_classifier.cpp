#include "session/LineClassifier.h"
#include "session/Protocol.h"

#include <gtest/gtest.h>

using namespace session;

namespace {

struct Case {
    const char* what;
    std::string line;
    LineKind kind;
    std::string name;
    std::string text;
    bool close;
};

// Each received line with the outcome the other side relies on.
const Case kCases[] = {
    {"acceptance", "Status> Green Ligth\r", LineKind::Acceptance, "", "Status> Green Ligth\r",
     false},
    {"correct spelling is only a status line", "Status> Green Light\r", LineKind::Status, "",
     "Status> Green Light\r", false},
    {"invitation from ANA", "<%$#ANA>Vamos conversar?\r", LineKind::Invitation, "Ana",
     "Vamos conversar?\r", false},
    {"invitation with empty text", "<%$#ana>\r", LineKind::Invitation, "Ana", "\r", false},
    {"invitation without CR", "<%$#jOSE>", LineKind::Invitation, "Jose", "", false},
    {"refusal loses its close marker",
     "Status> @!%Seu convite ao chat foi recusado! Tente mais tarde...\r", LineKind::Status, "",
     "Status> Seu convite ao chat foi recusado! Tente mais tarde...\r", true},
    {"busy line", "Status> Ocupado! Tente mais tarde...\r", LineKind::Status, "",
     "Status> Ocupado! Tente mais tarde...\r", false},
    {"chat line", "<MARIA>oi, tudo bem?\r", LineKind::Chat, "Maria", "oi, tudo bem?\r", false},
    {"chat line keeps markup and blanks", "<bob><b>x</b>  \r", LineKind::Chat, "Bob",
     "<b>x</b>  \r", false},
    {"chat message with the marker at 2 to 4 hangs up", "<ana>x@!%tchau\r", LineKind::Chat, "Ana",
     "xtchau\r", true},
    {"marker elsewhere in a message stays", "<ana>@!%tchau\r", LineKind::Chat, "Ana", "@!%tchau\r",
     false},
    {"auto-answer", "<JOAO (auto-resposta)> @!%Estou fora\r", LineKind::Chat,
     "Joao (auto-resposta)", " Estou fora\r", true},
    {"accented names keep their case", "<ÉRICA>olá\r", LineKind::Chat, "Érica", "olá\r", false},
    {"line without '>' keeps every byte", "hello\r", LineKind::Chat, "", "hello\r", false},
    {"empty line", "", LineKind::Chat, "", "", false},
    {"lone CR", "\r", LineKind::Chat, "", "\r", false},
    {"empty chat message", "<ana>\r", LineKind::Chat, "Ana", "\r", false},
    {"status that is too short for acceptance", "Status> Green\r", LineKind::Status, "",
     "Status> Green\r", false},
    {"acceptance with a close marker", "Status> @!%Green Ligth\r", LineKind::Acceptance, "",
     "Status> Green Ligth\r", true},
};

} // namespace

TEST(LineClassifier, receivedLinesTable) {
    ClassifiedLine reused;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        for (const ClassifiedLine& got :
             {classifyLine(c.line), (classifyLine(c.line, reused), reused)}) {
            EXPECT_EQ(got.kind, c.kind);
            EXPECT_EQ(got.name(), c.name);
            EXPECT_EQ(got.text(), c.text);
            EXPECT_EQ(got.close, c.close);
        }
    }
}

TEST(LineClassifier, longNamesAndCopiesKeepTheirTexts) {
    const std::string longName(300, 'x');
    const std::string line = "<" + longName + ">x@!%msg\r";
    ClassifiedLine c = classifyLine(line);
    EXPECT_EQ(c.name(), "X" + std::string(299, 'x'));
    EXPECT_TRUE(c.close);
    const ClassifiedLine copy = c;
    classifyLine("<a>b\r", c);
    EXPECT_EQ(copy.name().size(), 300u);
    EXPECT_EQ(copy.text(), "xmsg\r");
    EXPECT_EQ(c.name(), "A");
}

TEST(LineClassifier, reusedResultDoesNotKeepOldValues) {
    ClassifiedLine out;
    classifyLine("Status> @!%bye\r", out);
    EXPECT_TRUE(out.close);
    classifyLine("<ana>hi\r", out);
    EXPECT_FALSE(out.close);
    EXPECT_EQ(out.name(), "Ana");
    classifyLine("Status> ok\r", out);
    EXPECT_EQ(out.name(), "");
    EXPECT_EQ(out.text(), "Status> ok\r");
}

TEST(LineClassifier, everyBuiltLineIsUnderstoodByTheOtherSide) {
    const auto strip = [](std::string s) { return s.substr(0, s.size() - 1); }; // drop LF
    const std::string invitation = strip(invitationLine("pedro", "ola"));
    const auto inv = classifyLine(invitation);
    EXPECT_EQ(inv.kind, LineKind::Invitation);
    EXPECT_EQ(inv.name(), "Pedro");
    EXPECT_EQ(inv.text(), "ola\r");
    const std::string acceptance = strip(acceptanceLine());
    EXPECT_EQ(classifyLine(acceptance).kind, LineKind::Acceptance);
    const std::string refusalBytes = strip(refusalLine());
    const auto refusal = classifyLine(refusalBytes);
    EXPECT_EQ(refusal.kind, LineKind::Status);
    EXPECT_TRUE(refusal.close);
    const std::string autoAnswerBytes = strip(autoAnswerLine("Pedro", "volto logo"));
    const auto autoAnswer = classifyLine(autoAnswerBytes);
    EXPECT_EQ(autoAnswer.kind, LineKind::Chat);
    EXPECT_EQ(autoAnswer.name(), "Pedro (auto-resposta)");
    EXPECT_EQ(autoAnswer.text(), " volto logo\r");
    EXPECT_TRUE(autoAnswer.close);
    const std::string chatBytes = strip(chatLine("Pedro", ""));
    const auto chat = classifyLine(chatBytes);
    EXPECT_EQ(chat.kind, LineKind::Chat);
    EXPECT_EQ(chat.text(), "\r");
}
