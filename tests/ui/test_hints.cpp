#include "tests/support/QtMain.h"
#include "ui/Hints.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

namespace {
QWidget* shownHint() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QStringLiteral("programHint") && w->isVisible()) return w;
    return nullptr;
}
} // namespace

// A widget's hint is drawn by the program, the shadow beside and below it, and goes when
// the pointer leaves the widget; an empty hint shows nothing.
TEST(Hints, aWidgetsHintIsTheProgramsOwnAndGoesWhenThePointerLeaves) {
    ui::useProgramHints();
    QLabel widget(QStringLiteral("Switch"));
    widget.setToolTip(QStringLiteral("Off"));
    widget.show();
    QHelpEvent ask(QEvent::ToolTip, QPoint(2, 2), widget.mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(&widget, &ask);
    QWidget* hint = shownHint();
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->mask().boundingRect(), hint->rect());
    EXPECT_FALSE(hint->mask().contains(QPoint(hint->width() - 1, 0))) << "no shadow above";
    EXPECT_FALSE(QToolTip::isVisible());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, &leave);
    EXPECT_EQ(shownHint(), nullptr);

    widget.setToolTip(QString());
    QApplication::sendEvent(&widget, &ask);
    EXPECT_EQ(shownHint(), nullptr);
}

FALAVOX_TEST_MAIN(QApplication)
