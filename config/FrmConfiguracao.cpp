#include "config/FrmConfiguracao.h"

#include "assets/AssetPaths.h"
#include "config/LimitedEdit.h"
#include "config/Switch.h"
#include "platform/system/Cp1252.h"
#include "platform/system/SystemInfo.h"
#include "settings/SettingsOwner.h"

#include "ui/ApplicationTitle.h"
#include "ui/DialogLook.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTabWidget>
#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>
#include <vector>

namespace config {

namespace {

constexpr int invitationLimit = 73;

template <class W> W* place(W* widget, const char* name, int x, int y, int w, int h) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLabel* picture(QWidget* parent, const char* name, const char* resource, int x, int y, int w,
                int h) {
    auto* label = place(new QLabel(parent), name, x, y, w, h);
    label->setPixmap(
        QPixmap(assets::forScale(QString::fromLatin1(resource), qGuiApp->devicePixelRatio())));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Transparent pictures: the group box shows through.
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

QLabel* text(QWidget* parent, const char* name, const char* caption, int x, int y) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

struct Line {
    const char* name;
    const char* caption;
    int y;
};

// Lines of one paragraph beside a 32-pixel picture, at `x` as designed. Where the font
// drawn here is wider than the designed one, the paragraph moves left, as far as the
// picture allows, so that its longest line is not cut at the group box's edge.
void paragraph(QWidget* parent, std::initializer_list<Line> lines, int x) {
    static constexpr int pictureRight = 9 + 32 + 4;
    std::vector<QLabel*> labels;
    int widest = 0;
    for (const Line& line : lines) {
        labels.push_back(text(parent, line.name, line.caption, x, line.y));
        widest = std::max(widest, labels.back()->width());
    }
    const int room = parent->contentsRect().right() - 2;
    const int left = std::max(pictureRight, std::min(x, room - widest + 1));
    for (QLabel* label : labels)
        label->move(left, label->y());
}

} // namespace

bool TfrmConfiguracao::defaultNtFamily() {
    return platform::isNtFamily();
}

TfrmConfiguracao::TfrmConfiguracao(SettingsOwner& owner, bool ntFamily, QWidget* parent)
    : QDialog(parent), owner_(owner), ntFamily_(ntFamily) {
    setObjectName(QStringLiteral("frmConfiguracao"));
    setWindowTitle(ui::programTitle() + QStringLiteral(" - Opções de Configuração"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(ui::dialogFont());
    setFixedSize(337, 349);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    tabOpcoes = place(new QTabWidget(this), "tabOpcoes", 6, 6, 326, 305);
    tabMenu = new QWidget;
    tabMenu->setObjectName(QStringLiteral("tabMenu"));
    tabChat = new QWidget;
    tabChat->setObjectName(QStringLiteral("tabChat"));
    tabOpcoes->addTab(tabMenu, QStringLiteral("Opções do menu"));
    tabOpcoes->addTab(tabChat, QStringLiteral("Opções do Chat"));
    buildMenuPage(tabMenu);
    buildChatPage(tabChat);

    btnOk = place(new QPushButton(QStringLiteral("OK"), this), "btnOk", 175, 318, 75, 25);
    btnCancelar =
        place(new QPushButton(QStringLiteral("Cancelar"), this), "btnCancelar", 256, 318, 75, 25);
    // Enter in an edit does not press a button by itself.
    btnOk->setAutoDefault(false);
    btnCancelar->setAutoDefault(false);
    setTabOrder(tabOpcoes, btnOk);
    setTabOrder(btnOk, btnCancelar);

    connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    connect(Switch2, &TSwitch::toggled, this, [this](bool on) { on ? Switch2On() : Switch2Off(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    connect(btnCancelar, &QPushButton::clicked, this, [this] { btnCancelarClick(); });

    // An error while filling leaves the dialog open with its controls as designed.
    ui::runGuarded([this] { FormCreate(); });
}

void TfrmConfiguracao::buildMenuPage(QWidget* page) {
    auto* panel = place(new QFrame(page), "Panel1", 23, 22, 276, 132);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    picture(panel, "Image1", assets::configDesktop, 1, 1, 274, 130);

    MenuPop = place(new QStackedWidget(panel), "MenuPop", 78, 1, 115, 100);
    MenuPop->setAutoFillBackground(true);
    QPalette pal = MenuPop->palette();
    pal.setColor(QPalette::Window, QColor(64, 128, 128));
    MenuPop->setPalette(pal);
    auto* pageDefault = new QWidget;
    pageDefault->setObjectName(QStringLiteral("Default"));
    auto* page1 = new QWidget;
    page1->setObjectName(QStringLiteral("Page1"));
    MenuPop->addWidget(pageDefault);
    MenuPop->addWidget(page1);
    picture(pageDefault, "Image2", assets::configMenuBand, 0, -2, 113, 100);
    picture(page1, "Image5", assets::configMenuPlain, 0, -2, 113, 100);

    CheckBox1 =
        place(new QCheckBox(QStringLiteral("Mostrar a barra de título no menu Popup"), page),
              "CheckBox1", 23, 169, 272, 17);

    GroupBox2 = place(new QGroupBox(QStringLiteral(" Auto-Resposta para o Chat "), page),
                      "GroupBox2", 6, 197, 307, 69);
    Switch2 = place(new TSwitch(GroupBox2), "Switch2", 4, 17, 43, 45);
    Switch2->setToolTip(QStringLiteral("Off"));
    edtresposta = place(new QLineEdit(GroupBox2), "edtresposta", 51, 29, 246, 21);
    edtresposta->setMaxLength(std::numeric_limits<int>::max());
    ui::setEditBackground(edtresposta, QPalette::Button);
}

void TfrmConfiguracao::buildChatPage(QWidget* page) {
    auto* message = place(new QGroupBox(QStringLiteral(" Personalizar mensagem "), page),
                          "GroupBox5", 6, 12, 307, 133);
    picture(message, "Image6", assets::configNote, 9, 21, 32, 32);
    paragraph(message,
              {{"Label1", "Você pode incluir uma mensagem personalizada", 21},
               {"Label2", "para utilizar como convite ao usuário com quem", 36},
               {"Label4", "deseja conversar.", 52}},
              61);
    text(message, "Label3", "Mensagem:", 11, 83);
    edtChat = place(new TLimitedEdit(invitationLimit, message), "edtChat", 11, 98, 284, 21);

    GroupBox1 = place(new QGroupBox(page), "GroupBox1", 5, 150, 307, 116);
    picture(GroupBox1, "Image3", assets::configJester, 9, 21, 32, 32);
    paragraph(GroupBox1,
              {{"Label5", "Esta opção permite que você envie seu convite", 21},
               {"Label6", "ao chat para o usuário, sem que o mesmo precise", 36},
               {"Label8", "estar com Falavox© carregado.", 52}},
              61);
    CheckBox2 = place(new QCheckBox(GroupBox1), "CheckBox2", 21, 84, 256, 17);
    // The wording depends only on the system, so it is right even if filling fails.
    wordNoticeOption();
}

void TfrmConfiguracao::wordNoticeOption() {
    if (ntFamily_) {
        GroupBox1->setTitle(QStringLiteral(" Mensageiro "));
        CheckBox2->setText(QStringLiteral("Utilizar o serviço de mensagens."));
    } else {
        GroupBox1->setTitle(QStringLiteral(" WinPopUp "));
        CheckBox2->setText(QStringLiteral("Utilizar o WinPopUp."));
    }
}

void TfrmConfiguracao::FormCreate() {
    owner_.LoadSettings();
    tabOpcoes->setCurrentWidget(tabMenu);
    const TSettings& s = owner_.settings();
    CheckBox1->setChecked(s.BarraTitulo);
    Switch2->setOn(s.AutoResposta);
    edtresposta->setText(platform::fromCp1252(s.Resposta));
    edtChat->setWholeText(platform::fromCp1252(s.ChatConvite));
    CheckBox2->setChecked(s.WinPopUp);
    CheckBox1Click();
    Switch2->isOn() ? Switch2On() : Switch2Off();
    wordNoticeOption();
}

void TfrmConfiguracao::CheckBox1Click() {
    MenuPop->setCurrentIndex(CheckBox1->isChecked() ? 0 : 1);
}

void TfrmConfiguracao::Switch2On() {
    Switch2->setToolTip(QStringLiteral("On"));
    edtresposta->setEnabled(true);
    ui::setEditBackground(edtresposta, QPalette::Base);
}

void TfrmConfiguracao::Switch2Off() {
    Switch2->setToolTip(QStringLiteral("Off"));
    edtresposta->setEnabled(false);
    ui::setEditBackground(edtresposta, QPalette::Button);
}

void TfrmConfiguracao::btnOkClick() {
    TSettings values;
    values.BarraTitulo = CheckBox1->isChecked();
    values.AutoResposta = Switch2->isOn();
    // The answer is stored also while the switch is off, so it is there when it is on.
    values.Resposta = platform::toCp1252(edtresposta->text());
    values.ChatConvite = platform::toCp1252(edtChat->text());
    values.WinPopUp = CheckBox2->isChecked();
    std::optional<QString> error;
    try {
        owner_.SaveSettings(values);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    // Closed in every case: the main form then reads back whatever did get stored.
    close();
    if (error) ui::showApplicationError(*error);
}

void TfrmConfiguracao::btnCancelarClick() {
    close();
}

void TfrmConfiguracao::reject() {
    close();
}

void TfrmConfiguracao::closeEvent(QCloseEvent* event) {
    try {
        owner_.ReloadSettings();
    } catch (const EDamagedStore& e) {
        // A damaged store stays damaged however often the dialog is closed, and "OK"
        // never writes over it: the dialog closes, the settings in use stay as they were.
        ui::showApplicationError(QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        // A value of the wrong kind is mended by "OK", so the dialog stays for it.
        event->ignore();
        ui::showApplicationError(QString::fromUtf8(e.what()));
        return;
    }
    event->accept();
}

} // namespace config
