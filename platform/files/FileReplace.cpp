#include "platform/files/FileReplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <csignal>
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

// Where a writer puts the new file before renaming it over the old one.
QString temporaryPath(const QString& path, pid_t writer) {
    return path + QLatin1Char('.') + QString::number(writer) + QStringLiteral(".tmp");
}

} // namespace

// Each writer's temporary file carries its process number: a file left by this process
// or by one that is gone (killed before it could rename or remove it) is removed here,
// and the file of another writer still at work is left alone.
void removeStaleTemporaries(const QString& path) {
    const QFileInfo file(path);
    const QString prefix = file.fileName() + QLatin1Char('.');
    const QStringList names = QDir(file.absolutePath())
                                  .entryList({prefix + QStringLiteral("*.tmp")},
                                             QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        bool number = false;
        const pid_t writer =
            name.mid(prefix.size(), name.size() - prefix.size() - 4).toInt(&number);
        if (!number || writer <= 0) continue;
        if (writer != ::getpid() && (::kill(writer, 0) == 0 || errno != ESRCH)) continue;
        ::unlink(QFile::encodeName(file.absoluteDir().filePath(name)).constData());
    }
}

bool replaceFile(const QString& path, std::string_view bytes, const ReplaceFault& fault) {
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath())) return false;
    removeStaleTemporaries(path);
    const QByteArray temp = QFile::encodeName(temporaryPath(path, ::getpid()));
    const int fd =
        ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat old {};
    mode_t mode = 0644;
    if (::stat(QFile::encodeName(path).constData(), &old) == 0) mode = old.st_mode & 07777;
    ::fchmod(fd, mode);

    auto injected = [&fault](ReplaceStep step) { return fault ? fault(step) : 0; };
    // A killed writer's descriptor is closed by the system; nothing else happens.
    auto killed = [fd] {
        ::close(fd);
        return false;
    };
    bool ok = true;
    if (const int e = injected(ReplaceStep::Write)) {
        // A disk that fills up part of the way through.
        writeAll(fd, bytes.data(), bytes.size() / 2);
        if (e == replaceKilled) return killed();
        errno = e;
        ok = false;
    } else {
        ok = writeAll(fd, bytes.data(), bytes.size());
    }
    if (ok) {
        if (const int e = injected(ReplaceStep::Sync)) {
            if (e == replaceKilled) return killed();
            errno = e;
            ok = false;
        } else {
            ok = ::fsync(fd) == 0;
        }
    }
    const int renameFault = ok ? injected(ReplaceStep::Rename) : 0;
    if (renameFault == replaceKilled) return killed();
    if (::close(fd) != 0) ok = false;
    if (ok) {
        if (renameFault != 0) {
            errno = renameFault;
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
    // The rename itself is made lasting by flushing the folder.
    if (injected(ReplaceStep::SyncFolder) == replaceKilled) return false;
    const int dir = ::open(QFile::encodeName(file.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace platform
