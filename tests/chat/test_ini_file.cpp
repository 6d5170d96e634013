#include "chat/IniFile.h"

#include <QFile>
#include <gtest/gtest.h>

#include "tests/support/Files.h"

// Names match by the program's ASCII case rule, whatever Unicode would say, and what the
// program does not change is written back byte for byte.
TEST(IniFile, namesMatchByAsciiCaseAndOtherLinesStayAsTheyWere) {
    const QString path = testsupport::freshTestFolder() + "/falavox.ini";
    const std::string other = "; kept\r\n[Outra]\r\nchave = \xff valor \r\n\r\n";
    ASSERT_TRUE(testsupport::writeBytes(path, other + "[TfrmChat]\r\nNormPos=1,2,3,4\r\n"
                                                      "[A\xc3\xa7\xc3\xa3o]\r\nX=1\r\n"));
    chat::IniFile ini(path);
    ini.load();
    EXPECT_EQ(ini.value("tfrmchat", "NORMPOS"), QStringLiteral("1,2,3,4"));
    EXPECT_EQ(ini.value(QString::fromUtf8("A\xc3\xa7\xc3\xa3o"), "x"), QStringLiteral("1"));
    EXPECT_FALSE(ini.value(QString::fromUtf8("A\xc3\x87\xc3\x83O"), "X").has_value())
        << "accented letters keep their case";

    ini.setValue("TFRMCHAT", "normpos", "5,6,7,8");
    ini.setValue("TfrmChat", "Visible", "0");
    ASSERT_TRUE(ini.save());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(),
              other +
                  "[TfrmChat]\r\nnormpos=5,6,7,8\r\nVisible=0\r\n[A\xc3\xa7\xc3\xa3o]\r\nX=1\r\n");
}
