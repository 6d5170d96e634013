#include "tests/support/QtMain.h"
#include "ui/MessageBox.h"

#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

// Texts in message boxes carry names from the network; one that looks like markup must
// show as it was typed, not be rendered.
TEST(MessageBox, showsItsTextAsTyped) {
    Qt::TextFormat format = Qt::RichText;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        format = box->textFormat();
        text = box->text();
        box->accept();
    });
    ui::showError(QStringLiteral("Usu\u00e1rio <b>Eve</b><img src=x>\r\nfim"));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(text, QStringLiteral("Usu\u00e1rio <b>Eve</b><img src=x>\nfim"));
}

FALAVOX_TEST_MAIN(QApplication)
