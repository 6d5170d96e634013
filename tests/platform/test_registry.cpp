#include "platform/files/Registry.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/Files.h"

using platform::RegAccess;
using platform::Registry;
using platform::RegistryKey;
using platform::RegSaveStep;
using platform::RegStatus;
using platform::RegType;

namespace {

constexpr const char* kKey = "Software\\Falavox\\Configuracao";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::freshTestFolder();
        path_ = dir_ + "/falavox/registry.reg";
    }

    void writeFile(const std::string& bytes) { ASSERT_TRUE(testsupport::writeBytes(path_, bytes)); }
    std::string readFile() const { return testsupport::readBytes(path_); }

    QStringList folderEntries() const {
        return QDir(dir_ + "/falavox").entryList(QDir::Files | QDir::Hidden);
    }

    static std::string query(const RegistryKey& key, const char* name, RegType* type = nullptr) {
        std::uint32_t size = 0;
        EXPECT_EQ(key.queryValue(name, type, nullptr, &size), RegStatus::Success) << name;
        std::string data(size, '\0');
        EXPECT_EQ(key.queryValue(name, type, data.data(), &size), RegStatus::Success) << name;
        return data;
    }

    static RegStatus set(RegistryKey& key, const char* name, RegType type, std::string_view d) {
        return key.setValue(name, type, d.data(), static_cast<std::uint32_t>(d.size()));
    }

    QString dir_;
    QString path_;
};

const std::string kStored = "REGEDIT4\r\n"
                            "\r\n"
                            "; kept by hand\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
                            "\"Keep\"=\"as it \\\"was\\\"\"\r\n"
                            "\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n"
                            "\"BarraTitulo\"=dword:00000001\r\n"
                            "\"Resposta\"=\"Agora n\xe3o\"\r\n"
                            "\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Last]\r\n"
                            "\"Bin\"=hex:01,02,\\\r\n"
                            "  03";

} // namespace

TEST_F(RegistryTest, createKeyMakesFolderAndFile) {
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry.openKey(kKey, RegAccess::Read, key), RegStatus::FileNotFound);
    EXPECT_EQ(readFile(), "<missing>");
    ASSERT_EQ(registry.createKey(kKey, key), RegStatus::Success);
    EXPECT_EQ(readFile(),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n");
    // Creating again changes nothing; the key and its parents now open.
    ASSERT_EQ(registry.createKey(kKey, key), RegStatus::Success);
    EXPECT_EQ(registry.openKey("SOFTWARE\\falavox\\configuracao", RegAccess::AllAccess, key),
              RegStatus::Success);
    EXPECT_EQ(registry.openKey("Software\\Falavox", RegAccess::Read, key), RegStatus::Success);
    EXPECT_EQ(registry.openKey("Software\\Falavox\\Config", RegAccess::Read, key),
              RegStatus::FileNotFound);
}

TEST_F(RegistryTest, defaultPathFollowsConfigHome) {
    qputenv("XDG_CONFIG_HOME", dir_.toLocal8Bit());
    EXPECT_EQ(Registry::defaultPath(), dir_ + "/falavox/registry.reg");
}

TEST_F(RegistryTest, valuesKeepTheirTypesAndBytes) {
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.createKey(kKey, key), RegStatus::Success);
    const std::string dword("\x01\x00\x00\x00", 4);
    const std::string text = std::string("diz \"oi\" em C:\\") + '\0';
    const std::string expand = std::string("%USERNAME% aqui") + '\0';
    const std::string twoLines = std::string("um\r\ndois") + '\0';
    std::string binary;
    for (int i = 0; i < 60; ++i)
        binary += static_cast<char>(i * 7);
    ASSERT_EQ(set(*key, "Flag", RegType::Dword, dword), RegStatus::Success);
    ASSERT_EQ(set(*key, "Text", RegType::Sz, text), RegStatus::Success);
    ASSERT_EQ(set(*key, "Expand", RegType::ExpandSz, expand), RegStatus::Success);
    ASSERT_EQ(set(*key, "Lines", RegType::Sz, twoLines), RegStatus::Success);
    ASSERT_EQ(set(*key, "Bin", RegType::Binary, binary), RegStatus::Success);
    ASSERT_EQ(set(*key, "", RegType::Sz, std::string("padrão") + '\0'), RegStatus::Success);

    const std::string file = readFile();
    EXPECT_NE(file.find("\"Flag\"=dword:00000001\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"Text\"=\"diz \\\"oi\\\" em C:\\\\\"\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"Expand\"=hex(2):25,55,53,45,52"), std::string::npos) << file;
    EXPECT_NE(file.find("\"Lines\"=hex(1):75,6d,0d,0a"), std::string::npos) << file;
    EXPECT_NE(file.find(",\\\r\n  "), std::string::npos) << "long lists are wrapped: " << file;

    // A second registry over the same file reads exactly what was written.
    Registry again(path_);
    ASSERT_EQ(again.openKey(kKey, RegAccess::Read, key), RegStatus::Success);
    RegType type = RegType::None;
    EXPECT_EQ(query(*key, "flag", &type), dword);
    EXPECT_EQ(type, RegType::Dword);
    EXPECT_EQ(query(*key, "Text", &type), text);
    EXPECT_EQ(type, RegType::Sz);
    EXPECT_EQ(query(*key, "Expand", &type), expand);
    EXPECT_EQ(type, RegType::ExpandSz);
    EXPECT_EQ(query(*key, "Lines", &type), twoLines);
    EXPECT_EQ(type, RegType::Sz);
    EXPECT_EQ(query(*key, "Bin", &type), binary);
    EXPECT_EQ(type, RegType::Binary);
    EXPECT_EQ(query(*key, "", &type), std::string("padrão") + '\0');
}

TEST_F(RegistryTest, accentedTextIsStoredAsWindows1252Bytes) {
    // "Olá, você está aí? Ação €" in Windows-1252.
    const std::string text = "Ol\xe1, voc\xea est\xe1 a\xed? A\xe7\xe3o \x80";
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.createKey(kKey, key), RegStatus::Success);
    ASSERT_EQ(set(*key, "Resposta", RegType::Sz, text + '\0'), RegStatus::Success);
    EXPECT_NE(readFile().find("\"Resposta\"=\"" + text + "\"\r\n"), std::string::npos);
    EXPECT_EQ(query(*key, "Resposta"), text + '\0');
}

TEST_F(RegistryTest, queryReportsSizesAndMissingValues) {
    writeFile(kStored);
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.openKey(kKey, RegAccess::Read, key), RegStatus::Success);
    std::uint32_t size = 0;
    RegType type = RegType::None;
    ASSERT_EQ(key->queryValue("Resposta", &type, nullptr, &size), RegStatus::Success);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(type, RegType::Sz);
    char small[4] = {};
    size = sizeof small;
    EXPECT_EQ(key->queryValue("Resposta", &type, small, &size), RegStatus::MoreData);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::string(small, 4), "Agor");
    EXPECT_EQ(key->queryValue("Absent", &type, nullptr, &size), RegStatus::FileNotFound);
    // Values of another key with the same name are not this key's.
    EXPECT_EQ(key->queryValue("Keep", &type, nullptr, &size), RegStatus::FileNotFound);
}

TEST_F(RegistryTest, writeLeavesEverythingElseByteForByte) {
    writeFile(kStored);
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.openKey(kKey, RegAccess::AllAccess, key), RegStatus::Success);
    ASSERT_EQ(set(*key, "BarraTitulo", RegType::Dword, std::string("\0\0\0\0", 4)),
              RegStatus::Success);
    ASSERT_EQ(set(*key, "WinPopUp", RegType::Dword, std::string("\1\0\0\0", 4)),
              RegStatus::Success);
    std::string expected = kStored;
    expected.replace(expected.find("dword:00000001"), 14, "dword:00000000");
    const std::string after = "\"Resposta\"=\"Agora n\xe3o\"\r\n";
    expected.insert(expected.find(after) + after.size(), "\"WinPopUp\"=dword:00000001\r\n");
    EXPECT_EQ(readFile(), expected);

    // A key new to the file goes at its end, after a line end for the unfinished last line.
    ASSERT_EQ(registry.createKey("Software\\Novo", key), RegStatus::Success);
    ASSERT_EQ(set(*key, "X", RegType::Sz, std::string("y") + '\0'), RegStatus::Success);
    EXPECT_EQ(readFile(),
              expected + "\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Novo]\r\n\"X\"=\"y\"\r\n");
}

TEST_F(RegistryTest, readsHandWrittenFilesWithUnixLineEnds) {
    writeFile("REGEDIT4\n"
              "[hkey_local_machine\\software\\falavox\\configuracao]\n"
              "  \"BarraTitulo\" = dword:1\n"
              "\"Resposta\"=hex(2):61,00\n"
              "\"Resposta\"=\"later wins\"\n");
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.openKey(kKey, RegAccess::AllAccess, key), RegStatus::Success);
    EXPECT_EQ(query(*key, "BarraTitulo"), std::string("\1\0\0\0", 4));
    EXPECT_EQ(query(*key, "Resposta"), std::string("later wins") + '\0');
    ASSERT_EQ(set(*key, "ChatConvite", RegType::Sz, std::string("oi") + '\0'), RegStatus::Success);
    EXPECT_NE(readFile().find("\"Resposta\"=\"later wins\"\n\"ChatConvite\"=\"oi\"\n"),
              std::string::npos)
        << readFile();
}

// Found by fuzzing: a last line cut off after its CR reads fine, and a write behind it
// must not make that CR a stray one inside the line, which no reader accepts.
TEST_F(RegistryTest, writeBehindALastLineEndingInABareCrKeepsTheStoreReadable) {
    writeFile("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n"
              "\"Resposta\"=\"antes\"\r");
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.openKey(kKey, RegAccess::AllAccess, key), RegStatus::Success);
    EXPECT_EQ(set(*key, "WinPopUp", RegType::Dword, std::string("\1\0\0\0", 4)),
              RegStatus::Success);
    EXPECT_EQ(query(*key, "Resposta"), std::string("antes") + '\0');
    EXPECT_EQ(query(*key, "WinPopUp"), std::string("\1\0\0\0", 4));
}

// Found by fuzzing: a value on a last line without a line end, replaced by one long
// enough to wrap, keeps the breaks between its wrapped lines.
TEST_F(RegistryTest, longValueReplacingAnUnendedLastLineStaysReadable) {
    writeFile("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n"
              "\"ChatConvite\"=\"curto\"");
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.openKey(kKey, RegAccess::AllAccess, key), RegStatus::Success);
    const std::string longText = std::string(100, '\x01') + '\0';
    EXPECT_EQ(set(*key, "ChatConvite", RegType::Sz, longText), RegStatus::Success);
    EXPECT_EQ(query(*key, "ChatConvite"), longText);
}

TEST_F(RegistryTest, readOnlyStoreOpensForReadingOnly) {
    writeFile(kStored);
    Registry registry(path_);
    registry.writable = [](const QString&) { return false; };
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry.openKey(kKey, RegAccess::AllAccess, key), RegStatus::AccessDenied);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(registry.createKey("Software\\Novo", key), RegStatus::AccessDenied);
    ASSERT_EQ(registry.openKey(kKey, RegAccess::Read, key), RegStatus::Success);
    EXPECT_EQ(set(*key, "BarraTitulo", RegType::Dword, std::string(4, '\0')),
              RegStatus::AccessDenied);
    EXPECT_EQ(readFile(), kStored);
}

TEST_F(RegistryTest, readOnlyFolderRefusesToCreateTheStore) {
    Registry registry(path_);
    QString asked;
    registry.writable = [&](const QString& path) {
        asked = path;
        return false;
    };
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry.createKey(kKey, key), RegStatus::AccessDenied);
    // The folder does not exist yet: the nearest one that does is the one asked about.
    EXPECT_EQ(asked, QFileInfo(dir_).absoluteFilePath());
    EXPECT_EQ(readFile(), "<missing>");
}

class InterruptedSave : public RegistryTest, public ::testing::WithParamInterface<RegSaveStep> {};

TEST_P(InterruptedSave, keepsTheOldFileWhole) {
    writeFile(kStored);
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.openKey(kKey, RegAccess::AllAccess, key), RegStatus::Success);
    int faults = 0;
    registry.saveFault = [&](RegSaveStep step) {
        if (step != GetParam()) return 0;
        ++faults;
        return ENOSPC;
    };
    EXPECT_EQ(set(*key, "Resposta", RegType::Sz, std::string(5000, 'x') + '\0'),
              RegStatus::IoFailed);
    EXPECT_EQ(faults, 1);
    EXPECT_EQ(readFile(), kStored);
    EXPECT_EQ(folderEntries(), QStringList{"registry.reg"}) << "no temporary file is left";
    // The same write goes through once the disk has room again.
    registry.saveFault = nullptr;
    EXPECT_EQ(set(*key, "Resposta", RegType::Sz, std::string("ok") + '\0'), RegStatus::Success);
    EXPECT_EQ(query(*key, "Resposta"), std::string("ok") + '\0');
}

INSTANTIATE_TEST_SUITE_P(EveryStep, InterruptedSave,
                         ::testing::Values(RegSaveStep::Write, RegSaveStep::Sync,
                                           RegSaveStep::Rename));

// A writer killed before it could rename its file leaves it behind; the next read or
// write removes it, but never the file of a writer that is still at work.
class KilledWriter : public RegistryTest, public ::testing::WithParamInterface<bool> {};

TEST_P(KilledWriter, leavesNoFileBehindPastTheNextUse) {
    const bool write = GetParam();
    writeFile(kStored);
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const QString stale = QStringLiteral("registry.reg.%1.tmp").arg(gone);
    const QString working = QStringLiteral("registry.reg.%1.tmp").arg(::getppid());
    for (const QString& name : {stale, working})
        ASSERT_TRUE(testsupport::writeBytes(dir_ + "/falavox/" + name, "REGEDIT4\r\n[half"));

    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.openKey(kKey, write ? RegAccess::AllAccess : RegAccess::Read, key),
              RegStatus::Success);
    if (write) {
        EXPECT_EQ(set(*key, "Resposta", RegType::Sz, std::string("ok") + '\0'), RegStatus::Success);
    }
    EXPECT_EQ(folderEntries(), (QStringList{"registry.reg", working}));
}

INSTANTIATE_TEST_SUITE_P(ReadOrWrite, KilledWriter, ::testing::Bool());

struct Garbage {
    const char* what;
    std::string bytes;
    int line;
};

class CorruptStore : public RegistryTest, public ::testing::WithParamInterface<Garbage> {};

TEST_P(CorruptStore, isReportedAndNeverOverwritten) {
    writeFile(GetParam().bytes);
    Registry registry(path_);
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(registry.openKey(kKey, RegAccess::AllAccess, key), RegStatus::CorruptStore);
    EXPECT_TRUE(registry.corruption().contains(QStringLiteral("linha %1").arg(GetParam().line)))
        << registry.corruption().toStdString();
    EXPECT_TRUE(registry.corruption().contains("registry.reg"));
    EXPECT_EQ(registry.openKey(kKey, RegAccess::Read, key), RegStatus::CorruptStore);
    EXPECT_EQ(registry.createKey(kKey, key), RegStatus::CorruptStore);
    EXPECT_EQ(readFile(), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CorruptStore,
    ::testing::Values(
        Garbage{"empty", "", 1},
        Garbage{"binary",
                std::string("REGEDIT4\r\n\x7f"
                            "ELF\x02\x01\x01\0\0\0",
                            18),
                2},
        Garbage{"no header", "[HKEY_LOCAL_MACHINE\\Software]\r\n", 1},
        Garbage{"unclosed text",
                "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n"
                "\"Resposta\"=\"Agora n",
                4},
        Garbage{"hex cut at the end",
                "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n"
                "\"B\"=hex:01,02,\\\r\n",
                3},
        Garbage{"bad dword",
                "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n"
                "\"BarraTitulo\"=dword:0000000z\r\n",
                3},
        Garbage{"value outside a key", "REGEDIT4\r\n\"BarraTitulo\"=dword:1\r\n", 2},
        Garbage{"unclosed key", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\r\n", 2}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });
