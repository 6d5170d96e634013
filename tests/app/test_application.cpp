// The application object's last line of defence, and the local user's name.
#include "app/Application.h"
#include "app/LocalUserName.h"
#include "app/MessageBox.h"

#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace {

// An object whose handler fails on the first event it gets and works afterwards.
class FailingOnce : public QObject {
public:
    int handled = 0;

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        if (++handled == 1) throw std::runtime_error("Falha no evento");
        return true;
    }
};

} // namespace

TEST(Application, errorEscapingAnEventHandlerIsShownAndTheProgramGoesOn) {
    std::vector<app::ShownBox> boxes;
    app::messageBoxHook() = [&](const app::ShownBox& box) { boxes.push_back(box); };
    FailingOnce target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target, QEvent::User);
    app::messageBoxHook() = nullptr;

    EXPECT_EQ(target.handled, 2) << "the event after the failing one is still handled";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, app::BoxKind::Error);
    EXPECT_EQ(boxes[0].caption, "Falavox©");
    EXPECT_EQ(boxes[0].text, "Falha no evento");
}

// Texts in message boxes carry names from the network; one that looks like markup must
// show as it was typed, not be rendered.
TEST(Application, messageBoxShowsItsTextAsTyped) {
    Qt::TextFormat format = Qt::RichText;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        format = box->textFormat();
        text = box->text();
        box->accept();
    });
    app::showError(QStringLiteral("Usu\u00e1rio <b>Eve</b><img src=x>\r\nfim"));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(text, QStringLiteral("Usu\u00e1rio <b>Eve</b><img src=x>\nfim"));
}

TEST(LocalUserName, capitalisesAsciiLettersOnly) {
    EXPECT_EQ(app::capitalizeName("jOSE"), "Jose");
    EXPECT_EQ(app::capitalizeName("MARIA.SILVA2"), "Maria.silva2");
    // Accented letters (Windows-1252 bytes) keep their case, first or not.
    EXPECT_EQ(app::capitalizeName("\xe9LIO\xc7"), "\xe9lio\xc7");
    EXPECT_EQ(app::capitalizeName("x"), "X");
    EXPECT_EQ(app::capitalizeName(""), "");
}

TEST(LocalUserName, isTheCapitalisedLoginNameOfAtMost256Bytes) {
    const std::string name = app::localUserName();
    ASSERT_FALSE(name.empty());
    EXPECT_LE(name.size(), 256u);
    EXPECT_EQ(name.find('\0'), std::string::npos);
    EXPECT_EQ(name, app::capitalizeName(name));
}

int main(int argc, char** argv) {
    app::TApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
