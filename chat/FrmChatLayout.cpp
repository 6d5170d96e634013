// The chat window's controls, as designed at 96 pixels per inch.
#include "chat/FrmChat.h"

#include "assets/AssetPaths.h"
#include "chat/ChatInputLine.h"
#include "chat/SpeedBar.h"
#include "ui/DialogLook.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace chat {

namespace {

QFont baseFont() {
    QFont font(chat::kBaseFamily);
    font.setPointSizeF(chat::basePointSize);
    return font;
}

} // namespace

void TfrmChat::buildWindow() {
    setObjectName(QStringLiteral("frmChat"));
    setWindowFlag(Qt::WindowStaysOnTopHint);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    buildSpeedBar();
    column->addWidget(SpeedBar1);

    auto* client = new QFrame(central);
    client->setFrameShape(QFrame::Panel);
    client->setFrameShadow(QFrame::Raised);
    client->setLineWidth(1);
    auto* row = new QHBoxLayout(client);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);

    auto* Panel5 = new QFrame(client);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFrameShape(QFrame::Box);
    Panel5->setFrameShadow(QFrame::Plain);
    Panel5->setLineWidth(1);
    auto* panel5Layout = new QVBoxLayout(Panel5);
    panel5Layout->setContentsMargins(1, 1, 1, 1);
    memo1 = new QPlainTextEdit(Panel5);
    memo1->setObjectName(QStringLiteral("memo1"));
    memo1->setReadOnly(true);
    memo1->setFrameShape(QFrame::NoFrame);
    memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo1->setUndoRedoEnabled(false);
    memo1->setFont(baseFont());
    memo1->document()->setDefaultFont(baseFont());
    memo1->installEventFilter(this);
    panel5Layout->addWidget(memo1);
    row->addWidget(Panel5, 1);
    row->addWidget(buildUsersPanel());
    column->addWidget(client, 1);

    Panel2 = new QFrame(central);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(19);
    Panel2->setFont(baseFont());
    Panel2->installEventFilter(this);
    mmomensagem = new chat::ChatInputLine(Panel2);
    mmomensagem->setObjectName(QStringLiteral("mmomensagem"));
    mmomensagem->setFrame(false);
    mmomensagem->setGeometry(0, 0, 100, 19);
    column->addWidget(Panel2);

    setCentralWidget(central);
    buildMenu();
    resize(527, 417);
}

void TfrmChat::buildSpeedBar() {
    SpeedBar1 = new chat::SpeedBar;
    SpeedBar1->setObjectName(QStringLiteral("SpeedBar1"));
    auto* section = new QWidget(SpeedBar1);
    section->setObjectName(QStringLiteral("SpeedbarSection1"));
    section->setGeometry(0, 0, 300, 56);
    ui::bevelPanel(section, "Bevel3", QFrame::Raised, QRect(5, 3, 3, 50));
    ui::bevelPanel(section, "Bevel4", QFrame::Raised, QRect(8, 3, 3, 50));
    btnSair =
        chat::makeSpeedButton(section, QStringLiteral("btnSair"), QStringLiteral("Sair do chat"),
                              QString::fromLatin1(assets::chatSair), 18, 3);
    ui::bevelPanel(section, "Bevel1", QFrame::Sunken, QRect(92, 3, 2, 50));
    btnChat = chat::makeSpeedButton(section, QStringLiteral("btnChat"), QStringLiteral("Em Chat"),
                                    QString::fromLatin1(assets::chatEmChat), 98, 3);
    btnChat->setCheckable(true);
    btnEncerrar =
        chat::makeSpeedButton(section, QStringLiteral("btnEncerrar"), QStringLiteral("Desconectar"),
                              QString::fromLatin1(assets::chatDesconectar), 168, 3);
    connect(btnSair, &QToolButton::clicked, this, [this] { btnSairClick(); });
    connect(btnChat, &QToolButton::clicked, this, [this] { btnChatClick(); });
    connect(btnEncerrar, &QToolButton::clicked, this, [this] { btnEncerrarClick(); });
}

QFrame* TfrmChat::buildUsersPanel() {
    frmUsuarios = new QFrame;
    frmUsuarios->setObjectName(QStringLiteral("frmUsuarios"));
    frmUsuarios->setFixedWidth(122);
    frmUsuarios->setFrameShape(QFrame::Panel);
    frmUsuarios->setFrameShadow(QFrame::Sunken);
    frmUsuarios->setLineWidth(1);
    auto* column = new QVBoxLayout(frmUsuarios);
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(0);

    auto* Panel4 = new QWidget(frmUsuarios);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setFixedHeight(24);
    auto* Label1 = new QLabel(QStringLiteral("Usuários em Chat"), Panel4);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(baseFont());
    Label1->adjustSize();
    Label1->move(3, (24 - Label1->height()) / 2);
    btnFecharUser = new QToolButton(Panel4);
    btnFecharUser->setObjectName(QStringLiteral("btnFecharUser"));
    btnFecharUser->setAutoRaise(true);
    btnFecharUser->setGeometry(95, 3, 20, 18);
    btnFecharUser->setIcon(QIcon(QPixmap(QString::fromLatin1(assets::chatFecharUser))));
    btnFecharUser->setIconSize(QSize(10, 9));
    btnFecharUser->setFocusPolicy(Qt::NoFocus);
    connect(btnFecharUser, &QToolButton::clicked, this, [this] { btnFecharUserClick(); });
    column->addWidget(Panel4);

    ListUser = new QTreeWidget(frmUsuarios);
    ListUser->setObjectName(QStringLiteral("ListUser"));
    ListUser->setFrameShape(QFrame::NoFrame);
    ListUser->header()->hide();
    ListUser->setRootIsDecorated(false);
    ListUser->setIndentation(19);
    ListUser->setFont(baseFont());
    ListUser->setEnabled(false);
    ListUser->setFocusPolicy(Qt::NoFocus);
    ListUser->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListUser->setSelectionMode(QAbstractItemView::NoSelection);
    QPalette palette = ListUser->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, QColor(192, 192, 192));
        palette.setColor(group, QPalette::Text,
                         palette.color(QPalette::Active, QPalette::WindowText));
    }
    ListUser->setPalette(palette);
    column->addWidget(ListUser, 1);
    return frmUsuarios;
}

void TfrmChat::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* Arquivo1 = bar->addMenu(QStringLiteral("&Arquivo"));
    Arquivo1->setObjectName(QStringLiteral("Arquivo1"));
    QAction* Sair1 = Arquivo1->addAction(QStringLiteral("&Sair"));
    Sair1->setObjectName(QStringLiteral("Sair1"));
    connect(Sair1, &QAction::triggered, this, [this] { btnSairClick(); });

    QMenu* mnuEditar = bar->addMenu(QStringLiteral("&Editar"));
    mnuEditar->setObjectName(QStringLiteral("mnuEditar"));
    mnuCopiar = mnuEditar->addAction(QStringLiteral("&Copiar"));
    mnuCopiar->setObjectName(QStringLiteral("mnuCopiar"));
    mnuCopiar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(mnuCopiar, &QAction::triggered, this, [this] { mnuCopiarClick(); });
    SelecionarTudo1 = mnuEditar->addAction(QStringLiteral("&Selecionar Tudo"));
    SelecionarTudo1->setObjectName(QStringLiteral("SelecionarTudo1"));
    connect(SelecionarTudo1, &QAction::triggered, this, [this] { SelecionarTudo1Click(); });
}

} // namespace chat
