#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace testsupport {

QString freshTestFolder() {
    const QString base = qEnvironmentVariable("FALAVOX_TEST_TMP", QDir::tempPath());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString dir = base + "/" + info->test_suite_name() + "_" + info->name();
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

std::string readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
}

bool writeBytes(const QString& path, const std::string& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           f.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

} // namespace testsupport
