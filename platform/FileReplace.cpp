#include "platform/FileReplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool replaceFile(const QString& path, std::string_view bytes, const ReplaceFault& fault) {
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath())) return false;
    QByteArray temp = QFile::encodeName(path + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    struct stat old {};
    mode_t mode = 0644;
    if (::stat(QFile::encodeName(path).constData(), &old) == 0) mode = old.st_mode & 07777;
    ::fchmod(fd, mode);

    auto injected = [&fault](ReplaceStep step) { return fault ? fault(step) : 0; };
    bool ok = true;
    if (const int e = injected(ReplaceStep::Write)) {
        // A disk that fills up part of the way through.
        writeAll(fd, bytes.data(), bytes.size() / 2);
        errno = e;
        ok = false;
    } else {
        ok = writeAll(fd, bytes.data(), bytes.size());
    }
    if (ok) {
        if (const int e = injected(ReplaceStep::Sync)) {
            errno = e;
            ok = false;
        } else {
            ok = ::fsync(fd) == 0;
        }
    }
    if (::close(fd) != 0) ok = false;
    if (ok) {
        if (const int e = injected(ReplaceStep::Rename)) {
            errno = e;
            ok = false;
        } else {
            ok = ::rename(temp.constData(), QFile::encodeName(path).constData()) == 0;
        }
    }
    if (!ok) {
        const int why = errno;
        ::unlink(temp.constData());
        errno = why;
        return false;
    }
    const int dir = ::open(QFile::encodeName(file.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace platform
