#include "config/FrmConfiguracao.h"
#include "config/LimitedEdit.h"
#include "config/Switch.h"
#include "settings/SettingsOwner.h"

#include "ui/MessageBox.h"
#include "ui/ShowForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/support/Files.h"
#include "tests/support/QtMain.h"

using config::SettingsOwner;
using config::TfrmConfiguracao;
using config::TSettings;

namespace {

const std::string header =
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Falavox\\Configuracao]\r\n";
const std::string kStored = header + "\"BarraTitulo\"=dword:00000001\r\n"
                                     "\"AutoResposta\"=dword:00000001\r\n"
                                     "\"Resposta\"=\"Agora n\xe3o posso\"\r\n"
                                     "\"ChatConvite\"=\"Vamos conversar?\"\r\n"
                                     "\"WinPopUp\"=dword:00000000\r\n";

class FrmConfiguracaoTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = testsupport::freshTestFolder() + "/registry.reg";
        owner_ = std::make_unique<SettingsOwner>(path_);
        owner_->setMenuLeftMarginHandler([this](int m) { margins_.push_back(m); });
        ui::messageBoxHook() = [this](const ui::ShownBox& box) { boxes_.push_back(box); };
    }
    void TearDown() override {
        delete form_.data();
        ui::messageBoxHook() = nullptr;
    }

    void writeFile(const std::string& bytes) { ASSERT_TRUE(testsupport::writeBytes(path_, bytes)); }
    std::string readFile() const { return testsupport::readBytes(path_); }

    // As the tray command opens it.
    TfrmConfiguracao* open(bool ntFamily = true) {
        return ui::showForm(form_, ui::ShowMode::Modeless,
                            [&] { return new TfrmConfiguracao(*owner_, ntFamily); });
    }

    template <class W = QWidget> W* child(const char* name) {
        W* w = form_ ? form_->findChild<W*>(QString::fromLatin1(name)) : nullptr;
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    bool destroyed() {
        for (int i = 0; i < 20 && form_; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
        return form_.isNull();
    }

    void click(const char* button) { QTest::mouseClick(child(button), Qt::LeftButton); }

    QString path_;
    std::unique_ptr<SettingsOwner> owner_;
    QPointer<TfrmConfiguracao> form_;
    std::vector<int> margins_;
    std::vector<ui::ShownBox> boxes_;
};

} // namespace

TEST_F(FrmConfiguracaoTest, layoutFollowsTheDesign) {
    open();
    EXPECT_EQ(form_->objectName(), "frmConfiguracao");
    EXPECT_EQ(form_->windowTitle(), "Falavox© - Opções de Configuração");
    EXPECT_EQ(form_->size(), QSize(337, 349));
    EXPECT_EQ(form_->minimumSize(), form_->maximumSize()) << "fixed size";
    const Qt::WindowFlags flags = form_->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form_->testAttribute(Qt::WA_DeleteOnClose));

    struct Place {
        const char* name;
        QRect rect;
    };
    const Place places[] = {
        {"tabOpcoes", {6, 6, 326, 305}},   {"Panel1", {23, 22, 276, 132}},
        {"Image1", {1, 1, 274, 130}},      {"MenuPop", {78, 1, 115, 100}},
        {"Image2", {0, -2, 113, 100}},     {"Image5", {0, -2, 113, 100}},
        {"CheckBox1", {23, 169, 272, 17}}, {"GroupBox2", {6, 197, 307, 69}},
        {"Switch2", {4, 17, 43, 45}},      {"edtresposta", {51, 29, 246, 21}},
        {"GroupBox5", {6, 12, 307, 133}},  {"Image6", {9, 21, 32, 32}},
        {"edtChat", {11, 98, 284, 21}},    {"GroupBox1", {5, 150, 307, 116}},
        {"Image3", {9, 21, 32, 32}},       {"CheckBox2", {21, 84, 256, 17}},
        {"btnOk", {175, 318, 75, 25}},     {"btnCancelar", {256, 318, 75, 25}},
    };
    for (const Place& p : places) {
        if (QWidget* w = child(p.name)) {
            EXPECT_EQ(w->geometry(), p.rect) << p.name;
        }
    }
    for (const char* label : {"Label1", "Label2", "Label4", "Label3", "Label5", "Label6", "Label8"})
        child(label);
    EXPECT_EQ(child<QTabWidget>("tabOpcoes")->tabText(0), "Opções do menu");
    EXPECT_EQ(child<QTabWidget>("tabOpcoes")->tabText(1), "Opções do Chat");
    EXPECT_EQ(child<QGroupBox>("GroupBox2")->title(), " Auto-Resposta para o Chat ");
    EXPECT_EQ(child<QStackedWidget>("MenuPop")->palette().color(QPalette::Window),
              QColor(64, 128, 128));
    // "Cancelar" follows "OK" in the tab order.
    EXPECT_EQ(child("btnOk")->nextInFocusChain(), child("btnCancelar"));
}

// The texts of the chat page's group boxes are shown whole, in the dialog's font as this
// machine draws it (a wider font than the designed one), each paragraph on one left edge
// and clear of its picture.
TEST_F(FrmConfiguracaoTest, groupBoxTextsAreNeverCut) {
    open();
    const std::vector<std::vector<const char*>> paragraphs{{"Label1", "Label2", "Label4"},
                                                           {"Label5", "Label6", "Label8"}};
    for (const auto& paragraph : paragraphs) {
        const QLabel* first = child<QLabel>(paragraph.front());
        ASSERT_TRUE(first);
        const QRect room = first->parentWidget()->contentsRect();
        for (const char* name : paragraph) {
            const QLabel* label = child<QLabel>(name);
            ASSERT_TRUE(label);
            EXPECT_GE(label->width(), label->sizeHint().width()) << name;
            EXPECT_LE(label->geometry().right(), room.right() - 2) << name;
            EXPECT_EQ(label->x(), first->x()) << name;
            EXPECT_GE(label->x(), 9 + 32 + 4) << name << " over the picture";
        }
    }
}

TEST_F(FrmConfiguracaoTest, noStoreShowsDefaultsAndOkStoresAllFive) {
    open();
    EXPECT_EQ(child<QTabWidget>("tabOpcoes")->currentWidget(), child("tabMenu"));
    EXPECT_TRUE(child<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_EQ(child<QStackedWidget>("MenuPop")->currentWidget()->objectName(), "Default");
    EXPECT_FALSE(child<config::TSwitch>("Switch2")->isOn());
    EXPECT_FALSE(child("edtresposta")->isEnabled());
    EXPECT_EQ(child<QLineEdit>("edtChat")->text(), "");
    EXPECT_FALSE(child<QCheckBox>("CheckBox2")->isChecked());
    EXPECT_EQ(readFile(), "<missing>") << "opening does not create the key";

    click("btnOk");
    EXPECT_TRUE(destroyed());
    EXPECT_EQ(readFile(), header + "\"BarraTitulo\"=dword:00000001\r\n"
                                   "\"AutoResposta\"=dword:00000000\r\n"
                                   "\"Resposta\"=\"\"\r\n"
                                   "\"ChatConvite\"=\"\"\r\n"
                                   "\"WinPopUp\"=dword:00000000\r\n");
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(margins_, std::vector<int>{27});
}

TEST_F(FrmConfiguracaoTest, okStoresWhatIsShownAndTheRecordFollows) {
    writeFile(kStored);
    open();
    EXPECT_EQ(child<QLineEdit>("edtresposta")->text(), "Agora não posso");
    EXPECT_TRUE(child("edtresposta")->isEnabled());
    QTest::mouseClick(child("CheckBox1"), Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_EQ(child<QStackedWidget>("MenuPop")->currentWidget()->objectName(), "Page1")
        << "the preview changes at once";
    EXPECT_TRUE(owner_->settings().BarraTitulo) << "the record changes only on close";
    QTest::mouseClick(child("Switch2"), Qt::LeftButton);
    child<QLineEdit>("edtChat")->setText("Olá, tudo bem? €");
    child<QCheckBox>("CheckBox2")->setChecked(true);

    click("btnOk");
    EXPECT_TRUE(destroyed());
    // The answer is stored although the switch is off.
    EXPECT_EQ(owner_->settings(),
              (TSettings{false, false, "Agora n\xe3o posso", "Ol\xe1, tudo bem? \x80", true}));
    EXPECT_EQ(margins_, std::vector<int>{0});
    EXPECT_NE(readFile().find("\"ChatConvite\"=\"Ol\xe1, tudo bem? \x80\"\r\n"), std::string::npos);
}

TEST_F(FrmConfiguracaoTest, cancelAndCloseBoxWriteNothingAndReloadTheRecord) {
    writeFile(kStored);
    const TSettings stored{true, true, "Agora n\xe3o posso", "Vamos conversar?", false};
    for (const char* how : {"Cancelar", "close box", "Escape"}) {
        open();
        QTest::mouseClick(child("CheckBox1"), Qt::LeftButton, {}, QPoint(5, 8));
        QTest::mouseClick(child("Switch2"), Qt::LeftButton);
        child<QLineEdit>("edtChat")->setText("mudado");
        owner_->settings().ChatConvite = "changed in memory meanwhile";
        if (std::string(how) == "Cancelar")
            click("btnCancelar");
        else if (std::string(how) == "close box")
            form_->close();
        else
            QTest::keyClick(form_, Qt::Key_Escape);
        EXPECT_TRUE(destroyed()) << how;
        EXPECT_EQ(readFile(), kStored) << how;
        EXPECT_EQ(owner_->settings(), stored) << how;
    }
    EXPECT_EQ(margins_, (std::vector<int>{27, 27, 27}));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(FrmConfiguracaoTest, readOnlyStoreReportsTheFirstValueAndKeepsWhatIsStored) {
    writeFile(kStored);
    owner_->registry().writable = [](const QString&) { return false; };
    open();
    QTest::mouseClick(child("CheckBox1"), Qt::LeftButton, {}, QPoint(5, 8));
    child<QLineEdit>("edtChat")->setText("novo convite");
    click("btnOk");
    EXPECT_TRUE(destroyed()) << "the dialog closes after a failed write";
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].kind, ui::BoxKind::Error);
    EXPECT_EQ(boxes_[0].text, "Falha ao ajustar dados para 'BarraTitulo'");
    EXPECT_EQ(readFile(), kStored);
    EXPECT_EQ(owner_->settings(),
              (TSettings{true, true, "Agora n\xe3o posso", "Vamos conversar?", false}));
}

TEST_F(FrmConfiguracaoTest, switchTogglesByLeftClickAndSpaceOnly) {
    writeFile(kStored);
    open();
    auto* sw = child<config::TSwitch>("Switch2");
    auto* answer = child<QLineEdit>("edtresposta");
    const QColor window = QApplication::palette().color(QPalette::Base);
    const QColor face = QApplication::palette().color(QPalette::Button);
    ASSERT_NE(window, face);
    EXPECT_TRUE(sw->isOn());
    EXPECT_EQ(sw->toolTip(), "On");
    EXPECT_EQ(answer->palette().color(QPalette::Base), window);

    QTest::mouseClick(sw, Qt::RightButton);
    EXPECT_TRUE(sw->isOn()) << "only the left button";
    QTest::mouseClick(sw, Qt::LeftButton);
    EXPECT_FALSE(sw->isOn());
    EXPECT_EQ(sw->toolTip(), "Off");
    EXPECT_FALSE(answer->isEnabled());
    EXPECT_EQ(answer->palette().color(QPalette::Disabled, QPalette::Base), face);
    EXPECT_EQ(answer->text(), "Agora não posso") << "the text is kept";

    sw->setFocus();
    QTest::keyClick(sw, Qt::Key_Space);
    EXPECT_TRUE(sw->isOn());
    EXPECT_TRUE(answer->isEnabled());
    EXPECT_EQ(answer->palette().color(QPalette::Base), window);
    EXPECT_EQ(answer->text(), "Agora não posso");
    QTest::keyClick(sw, Qt::Key_Return);
    EXPECT_TRUE(sw->isOn()) << "only the space bar";
    EXPECT_EQ(sw->focusPolicy(), Qt::StrongFocus);
}

TEST_F(FrmConfiguracaoTest, invitationEditTakesAtMost73TypedCharacters) {
    open();
    auto* edit = child<QLineEdit>("edtChat");
    edit->setFocus();
    QTest::keyClicks(edit, QString(80, 'a'));
    EXPECT_EQ(edit->text(), QString(73, 'a'));
    edit->clear();
    edit->insert(QString(100, 'b')); // as a paste does
    EXPECT_EQ(edit->text().size(), 73);
    click("btnCancelar");
    EXPECT_TRUE(destroyed());

    // A longer text stored by other means is shown whole; it may shrink but not grow.
    const std::string longText(90, 'c');
    writeFile(header +
              "\"BarraTitulo\"=dword:1\r\n\"AutoResposta\"=dword:0\r\n"
              "\"ChatConvite\"=\"" +
              longText + "\"\r\n");
    open();
    edit = child<QLineEdit>("edtChat");
    EXPECT_EQ(edit->text(), QString(90, 'c'));
    edit->setFocus();
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, "zz");
    EXPECT_EQ(edit->text(), QString(89, 'c'));
    click("btnOk");
    EXPECT_TRUE(destroyed());
    EXPECT_EQ(owner_->settings().ChatConvite, std::string(89, 'c'));
}

TEST_F(FrmConfiguracaoTest, invitationTextIsNotSelectedOnFocus) {
    writeFile(kStored);
    open();
    form_->activateWindow();
    auto* edit = child<QLineEdit>("edtChat");
    child<QTabWidget>("tabOpcoes")->setCurrentIndex(1);
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &in);
    EXPECT_FALSE(edit->hasSelectedText());
}

TEST_F(FrmConfiguracaoTest, noticeOptionIsWordedByTheSystemFamily) {
    open(true);
    EXPECT_EQ(child<QGroupBox>("GroupBox1")->title(), " Mensageiro ");
    EXPECT_EQ(child<QCheckBox>("CheckBox2")->text(), "Utilizar o serviço de mensagens.");
    click("btnCancelar");
    EXPECT_TRUE(destroyed());
    open(false);
    EXPECT_EQ(child<QGroupBox>("GroupBox1")->title(), " WinPopUp ");
    EXPECT_EQ(child<QCheckBox>("CheckBox2")->text(), "Utilizar o WinPopUp.");
}

TEST_F(FrmConfiguracaoTest, openingTwiceShowsOneDialogWithoutRefilling) {
    writeFile(kStored);
    TfrmConfiguracao* first = open();
    child<QLineEdit>("edtChat")->setText("being typed");
    int made = 0;
    TfrmConfiguracao* second = ui::showForm(form_, ui::ShowMode::Modeless, [&] {
        ++made;
        return new TfrmConfiguracao(*owner_, true);
    });
    EXPECT_EQ(first, second);
    EXPECT_EQ(made, 0);
    EXPECT_EQ(child<QLineEdit>("edtChat")->text(), "being typed");
    int dialogs = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        dialogs += qobject_cast<TfrmConfiguracao*>(w) != nullptr;
    EXPECT_EQ(dialogs, 1);
}

TEST_F(FrmConfiguracaoTest, unreadableStoreOpensUnfilledAndHoldsTheDialogOpenUntilRepaired) {
    writeFile(header + "\"BarraTitulo\"=dword:0\r\n\"AutoResposta\"=\"1\"\r\n"
                       "\"Resposta\"=\"r\"\r\n");
    open();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Tipo de dado inválido para 'AutoResposta'");
    // The controls are as designed, not filled from the record.
    EXPECT_FALSE(child<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_EQ(child<QLineEdit>("edtresposta")->text(), "");
    EXPECT_EQ(child<QGroupBox>("GroupBox1")->title(), " Mensageiro ");

    // Closing reads the store again, fails, and leaves the dialog open.
    click("btnCancelar");
    EXPECT_FALSE(destroyed());
    EXPECT_TRUE(form_->isVisible());
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text, "Tipo de dado inválido para 'AutoResposta'");
    EXPECT_TRUE(margins_.empty());

    // "OK" writes good values over the bad one, and then the dialog can close.
    click("btnOk");
    EXPECT_TRUE(destroyed());
    EXPECT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(owner_->settings(), (TSettings{false, false, "", "", false}));
    EXPECT_EQ(margins_, std::vector<int>{0});
}

TEST_F(FrmConfiguracaoTest, aDamagedStoreIsReportedButNeverHoldsTheDialogOpen) {
    const std::string garbage = header + "\"BarraTitulo\"=dword:000\x01\x02garbage";
    writeFile(garbage);
    owner_->settings().ChatConvite = "in use";
    open();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].text.contains(QString::fromUtf8("danificado")))
        << boxes_[0].text.toStdString();
    click("btnCancelar");
    EXPECT_TRUE(destroyed()) << "a store no one can mend from here must not trap the dialog";
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(owner_->settings().ChatConvite, "in use");
    EXPECT_EQ(readFile(), garbage);
}

// Pictures of the dialog for people to look at: run on a real display with
// FALAVOX_CONFIG_SHOTS set to the folder that receives them.
TEST_F(FrmConfiguracaoTest, screenshots) {
    const QString folder = qEnvironmentVariable("FALAVOX_CONFIG_SHOTS");
    if (folder.isEmpty() || QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs FALAVOX_CONFIG_SHOTS and an X display";
    writeFile(kStored);
    open();
    auto shoot = [&](const QString& name) {
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(20);
        }
        QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        ASSERT_FALSE(shot.isNull());
        // The grab is in the screen's own pixels (twice the window's at scale 2).
        const QRectF area = QRectF(form_->frameGeometry().adjusted(-8, -8, 8, 8));
        const qreal ratio = shot.devicePixelRatio();
        ASSERT_TRUE(shot.copy(QRectF(area.topLeft() * ratio, area.size() * ratio).toRect())
                        .save(folder + "/config-" + name + ".png"));
    };
    shoot("menu-switch-on");
    QTest::mouseClick(child("Switch2"), Qt::LeftButton);
    QTest::mouseClick(child("CheckBox1"), Qt::LeftButton, {}, QPoint(5, 8));
    shoot("menu-switch-off");
    child<QTabWidget>("tabOpcoes")->setCurrentIndex(1);
    shoot("chat");
}

FALAVOX_TEST_MAIN(QApplication)
