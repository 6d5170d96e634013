// The application object's last line of defence, and the local user's name.
#include "app/Application.h"
#include "app/LocalUserName.h"
#include "tests/support/QtMain.h"
#include "text/AsciiText.h"
#include "ui/MessageBox.h"

#include <QEvent>
#include <QObject>
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
    std::vector<ui::ShownBox> boxes;
    ui::messageBoxHook() = [&](const ui::ShownBox& box) { boxes.push_back(box); };
    FailingOnce target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target, QEvent::User);
    ui::messageBoxHook() = nullptr;

    EXPECT_EQ(target.handled, 2) << "the event after the failing one is still handled";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ui::BoxKind::Error);
    EXPECT_EQ(boxes[0].caption, "Falavox©");
    EXPECT_EQ(boxes[0].text, "Falha no evento");
}

TEST(LocalUserName, isTheCapitalisedLoginNameOfAtMost256Bytes) {
    const std::string name = app::localUserName();
    ASSERT_FALSE(name.empty());
    EXPECT_LE(name.size(), 256u);
    EXPECT_EQ(name.find('\0'), std::string::npos);
    EXPECT_EQ(name, text::capitalizeName(name));
}

FALAVOX_TEST_MAIN(app::TApplication)
