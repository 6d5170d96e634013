#pragma once

#include "platform/files/FileReplace.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

// The machine-wide registry (HKEY_LOCAL_MACHINE) kept as a REGEDIT4 text file.
//
// The calls follow the system registry's: open a key for full access or for reading,
// create a key, read a value with its type and size, write a value. Values keep their
// types and their exact bytes, so code written for the system registry reads them by
// the same rules. Texts are stored as Windows-1252 bytes, as the format itself is.
//
// Every open reads the file afresh, and every write rewrites it whole: the new file is
// written beside the old one, flushed to disk and renamed over it, so a crash or a full
// disk leaves either the old store or the new one, never half of one. What a writer that
// was killed left beside the store is removed by the next write. Keys, values and
// comments that the program does not touch are written back byte for byte.
namespace platform {

// Value types, numbered as the system registry numbers them.
enum class RegType : std::uint32_t {
    None = 0,
    Sz = 1,       // REG_SZ: text with its terminating zero byte
    ExpandSz = 2, // REG_EXPAND_SZ: the same, variables left for the reader to expand
    Binary = 3,   // REG_BINARY
    Dword = 4,    // REG_DWORD: 32-bit little-endian number
};

// Results, numbered as the system's error codes.
enum class RegStatus : long {
    Success = 0,
    FileNotFound = 2,    // no such key, or no such value
    AccessDenied = 5,    // the store is not writable, or the key was opened for reading
    MoreData = 234,      // the caller's buffer is smaller than the value
    CorruptStore = 1009, // the file is not a store this program can read: see corruption()
    IoFailed = 1016,     // the file could not be read or written
};

enum class RegAccess { Read, AllAccess };

// Steps of rewriting the file, for tests that make one of them fail.
using RegSaveStep = ReplaceStep;

class Registry;

// An open key. Closing (or destroying) it releases nothing else: writes are already on
// disk when setValue returns.
class RegistryKey {
public:
    // Reads a value. `type` and `size` may be null; with `data` null only the type and
    // the size are reported. When the value is larger than *size, MoreData is returned
    // with *size set to the value's size and the buffer filled up to its own size.
    RegStatus queryValue(std::string_view name, RegType* type, void* data,
                         std::uint32_t* size) const;

    // Writes a value, creating or replacing it. Needs a key opened for full access.
    RegStatus setValue(std::string_view name, RegType type, const void* data, std::uint32_t size);

    // Writes several values in one replace of the file: afterwards either all of them
    // are stored or, when the write fails, none of them.
    struct NamedValue {
        std::string_view name;
        RegType type;
        std::string_view data;
    };
    RegStatus setValues(std::initializer_list<NamedValue> values);

    const std::string& path() const { return path_; }
    RegAccess access() const { return access_; }

private:
    friend class Registry;
    RegistryKey(Registry& registry, std::string path, RegAccess access)
        : registry_(&registry), path_(std::move(path)), access_(access) {}

    Registry* registry_;
    std::string path_; // below HKEY_LOCAL_MACHINE, as given when opened
    RegAccess access_;
};

class Registry {
public:
    // The store at `filePath`; by default configDirectory()/registry.reg.
    explicit Registry(QString filePath = defaultPath());
    static QString defaultPath();

    const QString& filePath() const { return filePath_; }

    // Opens an existing key below HKEY_LOCAL_MACHINE (e.g. "Software\\Falavox\\Configuracao").
    // Full access is refused (AccessDenied) when the file or its folder is not writable.
    RegStatus openKey(std::string_view subKey, RegAccess access, std::unique_ptr<RegistryKey>& key);

    // Opens the key for full access, making it (and the file and its folder) when absent.
    RegStatus createKey(std::string_view subKey, std::unique_ptr<RegistryKey>& key);

    // After CorruptStore: which line of the file is wrong and why, in Portuguese, for the
    // user. Empty otherwise.
    const QString& corruption() const { return corruption_; }

    // Test seams. `writable` replaces the access(2) check, which a root user always
    // passes; `saveFault` is asked before each step of a rewrite and, when it returns
    // an errno value, that step fails as the system would have failed it. When it
    // returns killedFault, the writer stops dead there as a killed process would (a write
    // stops half-way), and nothing that would have followed, clean-up included, runs.
    std::function<bool(const QString& path)> writable;
    ReplaceFault saveFault;
    static constexpr int killedFault = replaceKilled;

    // The parsed file; internal to the stand-in.
    struct Document;

private:
    friend class RegistryKey;

    RegStatus load(Document& doc, bool& exists);
    RegStatus save(const Document& doc);
    bool canWrite() const;

    QString filePath_;
    QString corruption_;
};

} // namespace platform
