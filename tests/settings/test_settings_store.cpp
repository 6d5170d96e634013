#include "settings/SettingsOwner.h"
#include "settings/SettingsStore.h"

#include "ui/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "tests/support/Files.h"

using config::ERegistryException;
using config::SettingsOwner;
using config::SettingsStore;
using config::TSettings;

namespace {

const std::string header =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n";

// A record that differs from the defaults and from every store below in every field, so
// a test sees which fields a load touched.
TSettings sentinel() {
    return TSettings{false, true, "antes resposta", "antes convite", true};
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = testsupport::freshTestFolder() + "/registry.reg";
        ui::messageBoxHook() = [this](const ui::ShownBox& box) { boxes_.push_back(box); };
    }
    void TearDown() override { ui::messageBoxHook() = nullptr; }

    void writeFile(const std::string& bytes) { ASSERT_TRUE(testsupport::writeBytes(path_, bytes)); }
    std::string readFile() const { return testsupport::readBytes(path_); }

    // Loads `values` stored under the key into a sentinel record; returns the error text.
    std::string load(const std::string& values, TSettings& record) {
        writeFile(header + values);
        platform::Registry registry(path_);
        record = sentinel();
        try {
            SettingsStore(registry).LoadSettings(record);
        } catch (const ERegistryException& e) {
            return e.what();
        }
        return {};
    }

    QString path_;
    std::vector<ui::ShownBox> boxes_;
};

} // namespace

TEST_F(SettingsStoreTest, noStoreKeepsTheRecordAndCreatesNothing) {
    platform::Registry registry(path_);
    TSettings record;
    SettingsStore(registry).LoadSettings(record);
    EXPECT_EQ(record, (TSettings{true, false, "", "", false}));
    TSettings other = sentinel();
    SettingsStore(registry).LoadSettings(other);
    EXPECT_EQ(other, sentinel());
    EXPECT_EQ(readFile(), "<missing>");
}

TEST_F(SettingsStoreTest, saveCreatesTheKeyWithFiveTypedValuesInOrder) {
    platform::Registry registry(path_);
    SettingsStore store(registry);
    store.SaveSettings(TSettings{true, false, "", "Vamos conversar?", false});
    EXPECT_EQ(readFile(), header + "\"BarraTitulo\"=dword:00000001\r\n"
                                   "\"AutoResposta\"=dword:00000000\r\n"
                                   "\"Resposta\"=\"\"\r\n"
                                   "\"ChatConvite\"=\"Vamos conversar?\"\r\n"
                                   "\"WinPopUp\"=dword:00000000\r\n");
    // Saving again replaces the values in place.
    const TSettings changed{false, true, "Ocupado", "", true};
    store.SaveSettings(changed);
    TSettings record;
    store.LoadSettings(record);
    EXPECT_EQ(record, changed);
    const std::string file = readFile();
    EXPECT_EQ(std::count(file.begin(), file.end(), '='), 5);
}

TEST_F(SettingsStoreTest, accentedTextsSurviveARoundTripByteForByte) {
    platform::Registry registry(path_);
    SettingsStore store(registry);
    // "Não posso agora, estou em reunião às 15h — até já!" with every byte from 0x80 up
    // that is a character, in Windows-1252.
    std::string answer = "N\xe3o posso agora, estou em reuni\xe3o \xe0s 15h \x97 at\xe9 j\xe1!";
    for (int c = 0xA0; c <= 0xFF; ++c)
        answer += static_cast<char>(c);
    const std::string invitation = "\"Ol\xe1\" \\ \x80\x85\x99";
    store.SaveSettings(TSettings{true, true, answer, invitation, false});
    EXPECT_NE(readFile().find("\"Resposta\"=\"" + answer + "\"\r\n"), std::string::npos);
    TSettings record;
    store.LoadSettings(record);
    EXPECT_EQ(record.Resposta, answer);
    EXPECT_EQ(record.ChatConvite, invitation);
}

TEST_F(SettingsStoreTest, flagsAreNonZeroNumbers) {
    TSettings record;
    EXPECT_EQ(load("\"BarraTitulo\"=dword:00000100\r\n\"AutoResposta\"=dword:00000000\r\n"
                   "\"WinPopUp\"=dword:ffffffff\r\n",
                   record),
              "");
    EXPECT_TRUE(record.BarraTitulo);
    EXPECT_FALSE(record.AutoResposta);
    EXPECT_TRUE(record.WinPopUp);
    // Absent texts read as empty.
    EXPECT_EQ(record.Resposta, "");
    EXPECT_EQ(record.ChatConvite, "");
}

TEST_F(SettingsStoreTest, unreadableValueStopsTheLoadThere) {
    struct Case {
        std::string values;
        std::string error;
        TSettings after;
    };
    const std::string flags = "\"BarraTitulo\"=dword:00000001\r\n\"AutoResposta\"=dword:0\r\n";
    const Case cases[] = {
        // A flag stored as a short text fits the number's room but has the wrong type.
        {"\"BarraTitulo\"=\"1\"\r\n\"AutoResposta\"=dword:0\r\n\"Resposta\"=\"x\"\r\n",
         "Tipo de dado inválido para 'BarraTitulo'", sentinel()},
        // One that is absent, or larger than four bytes, cannot be read at all.
        {"\"AutoResposta\"=dword:0\r\n", "Falha ao ler dados para 'BarraTitulo'", sentinel()},
        {"\"BarraTitulo\"=dword:1\r\n\"AutoResposta\"=\"verdadeiro\"\r\n",
         "Falha ao ler dados para 'AutoResposta'",
         TSettings{true, true, "antes resposta", "antes convite", true}},
        {"\"BarraTitulo\"=dword:1\r\n\"AutoResposta\"=hex(4):01,00,00,00,00,00,00,00\r\n",
         "Falha ao ler dados para 'AutoResposta'",
         TSettings{true, true, "antes resposta", "antes convite", true}},
        {flags + "\"Resposta\"=dword:00000001\r\n\"ChatConvite\"=\"oi\"\r\n",
         "Tipo de dado inválido para 'Resposta'",
         TSettings{true, false, "antes resposta", "antes convite", true}},
        {flags + "\"Resposta\"=\"r\"\r\n\"ChatConvite\"=hex:41,42\r\n\"WinPopUp\"=dword:0\r\n",
         "Tipo de dado inválido para 'ChatConvite'",
         TSettings{true, false, "r", "antes convite", true}},
    };
    for (const Case& c : cases) {
        TSettings record;
        EXPECT_EQ(load(c.values, record), c.error) << c.values;
        EXPECT_EQ(record, c.after) << c.values;
    }
}

TEST_F(SettingsStoreTest, noticeFlagIsReadLeniently) {
    const std::string first = "\"BarraTitulo\"=dword:0\r\n\"AutoResposta\"=dword:1\r\n"
                              "\"Resposta\"=\"r\"\r\n\"ChatConvite\"=\"c\"\r\n";
    for (const std::string& winPopUp : {std::string(), std::string("\"WinPopUp\"=\"1\"\r\n"),
                                        std::string("\"WinPopUp\"=hex:01,00,00,00,00\r\n")}) {
        TSettings record;
        EXPECT_EQ(load(first + winPopUp, record), "") << winPopUp;
        EXPECT_EQ(record, (TSettings{false, true, "r", "c", false})) << winPopUp;
    }
}

TEST_F(SettingsStoreTest, textsAreTakenAsStoredAndCutAtTheirFirstZero) {
    TSettings record;
    const std::string flags = "\"BarraTitulo\"=dword:1\r\n\"AutoResposta\"=dword:0\r\n";
    // "%USERNAME% diz oi" as an expandable string: not expanded.
    EXPECT_EQ(load(flags + "\"Resposta\"=hex(2):25,55,53,45,52,4e,41,4d,45,25,20,64,69,7a,20,6f,"
                           "69,00\r\n\"ChatConvite\"=hex(1):61,62,00,63,64,00\r\n",
                   record),
              "");
    EXPECT_EQ(record.Resposta, "%USERNAME% diz oi");
    EXPECT_EQ(record.ChatConvite, "ab");
    // Zero-length values of any type are empty texts; so is a text without its zero.
    EXPECT_EQ(load(flags + "\"Resposta\"=hex(4):\r\n\"ChatConvite\"=hex(1):61,62\r\n", record), "");
    EXPECT_EQ(record.Resposta, "");
    EXPECT_EQ(record.ChatConvite, "ab");
}

TEST_F(SettingsStoreTest, readOnlyStoreRefusesTheFirstValueAndKeepsTheFile) {
    const std::string stored = header + "\"BarraTitulo\"=dword:00000001\r\n";
    writeFile(stored);
    platform::Registry registry(path_);
    registry.writable = [](const QString&) { return false; };
    SettingsStore store(registry);
    try {
        store.SaveSettings(TSettings{false, true, "a", "b", true});
        FAIL() << "a read-only store took the values";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Falha ao ajustar dados para 'BarraTitulo'");
    }
    EXPECT_EQ(readFile(), stored);
    // Reading still works through the read-only key.
    TSettings record = sentinel();
    EXPECT_THROW(store.LoadSettings(record), ERegistryException); // AutoResposta absent
    EXPECT_TRUE(record.BarraTitulo);
}

// A save killed at any step leaves the old five values or the new five, never a mix, and
// the next save leaves no temporary file of the killed one beside the store.
TEST_F(SettingsStoreTest, saveKilledAtAnyStepLeavesOldOrNewValuesAndNoStrayFile) {
    const TSettings before{true, false, "velha", "antigo", false};
    const TSettings after{false, true, "nova", "novo", true};
    const QString folder = QFileInfo(path_).absolutePath();
    int killedAt = 0;
    for (bool killed = true; killed; ++killedAt) {
        SCOPED_TRACE(killedAt);
        QFile::remove(path_);
        platform::Registry setUp(path_);
        SettingsStore(setUp).SaveSettings(before);

        platform::Registry dying(path_);
        int step = 0;
        killed = false;
        dying.saveFault = [&](platform::RegSaveStep) {
            if (step++ != killedAt) return 0;
            killed = true;
            return platform::Registry::killedFault;
        };
        try {
            SettingsStore(dying).SaveSettings(after);
        } catch (const ERegistryException&) {
        }

        platform::Registry restarted(path_);
        TSettings record = sentinel();
        SettingsStore(restarted).LoadSettings(record);
        EXPECT_TRUE(record == before || record == after) << "a mix of old and new values";
        SettingsStore(restarted).SaveSettings(after);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"registry.reg"});
    }
    EXPECT_GT(killedAt, 3) << "every step of a save was tried";
}

TEST_F(SettingsStoreTest, keyThatCannotBeCreatedIsNamedInTheError) {
    platform::Registry registry(path_);
    registry.writable = [](const QString&) { return false; };
    try {
        SettingsStore(registry).SaveSettings(TSettings{});
        FAIL() << "no error";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Falha ao criar chave Software\\Falavox\\Configuracao");
    }
    EXPECT_EQ(readFile(), "<missing>");
}

TEST_F(SettingsStoreTest, damagedStoreIsAnErrorAndStaysAsItWas) {
    const std::string garbage = header + "\"BarraTitulo\"=dword:000\x01\x02garbage";
    writeFile(garbage);
    platform::Registry registry(path_);
    SettingsStore store(registry);
    TSettings record = sentinel();
    try {
        store.LoadSettings(record);
        FAIL() << "a damaged store loaded";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("danificado"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("linha 4"), std::string::npos) << e.what();
    }
    EXPECT_EQ(record, sentinel());
    EXPECT_THROW(store.SaveSettings(TSettings{}), ERegistryException);
    EXPECT_EQ(readFile(), garbage);
}

TEST_F(SettingsStoreTest, reloadHandsTheMenuItsMargin) {
    SettingsOwner owner(path_);
    std::vector<int> margins;
    owner.setMenuLeftMarginHandler([&](int m) { margins.push_back(m); });
    owner.ReloadSettings(); // no store: the defaults show the band
    owner.SaveSettings(TSettings{false, false, "", "", false});
    EXPECT_TRUE(owner.settings().BarraTitulo) << "saving does not change the record";
    owner.ReloadSettings();
    EXPECT_EQ(margins, (std::vector<int>{27, 0}));
    EXPECT_EQ(owner.menuLeftMargin(), 0);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(SettingsStoreTest, startUpGoesOnWithDefaultsAfterAnUnreadableValue) {
    writeFile(header + "\"BarraTitulo\"=dword:0\r\n\"AutoResposta\"=dword:1\r\n"
                       "\"Resposta\"=dword:1\r\n\"ChatConvite\"=\"c\"\r\n\"WinPopUp\"=dword:1\r\n");
    SettingsOwner owner(path_);
    std::vector<int> margins;
    owner.setMenuLeftMarginHandler([&](int m) { margins.push_back(m); });
    EXPECT_EQ(owner.ReloadSettingsAtStartup(), "Tipo de dado inválido para 'Resposta'");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].kind, ui::BoxKind::Error);
    EXPECT_EQ(boxes_[0].text, "Tipo de dado inválido para 'Resposta'");
    // What was read before the bad value is in effect; the rest keeps its defaults.
    EXPECT_EQ(owner.settings(), (TSettings{false, true, "", "", false}));
    EXPECT_EQ(margins, std::vector<int>{0});

    boxes_.clear();
    writeFile(header + "\"BarraTitulo\"=dword:1\r\n\"AutoResposta\"=dword:0\r\n");
    EXPECT_EQ(owner.ReloadSettingsAtStartup(), "");
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(margins, (std::vector<int>{0, 27}));
}
