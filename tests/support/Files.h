#pragma once

#include <QString>
#include <string>

namespace testsupport {

// A folder of the running test's own, empty, below the test program's scratch folder.
QString freshTestFolder();

// The whole file as bytes, or "<missing>" when it cannot be read.
std::string readBytes(const QString& path);
// Replaces the file with exactly these bytes (making its folder); false when it cannot.
bool writeBytes(const QString& path, const std::string& bytes);

} // namespace testsupport
