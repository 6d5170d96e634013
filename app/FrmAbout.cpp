#include "app/FrmAbout.h"

#include "assets/AssetPaths.h"
#include "ui/ApplicationTitle.h"
#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

TfrmAbout::TfrmAbout(const QString& userName, QWidget* parent)
    : QDialog(parent), picture_(new QLabel) {
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Sobre"));

    for (int i = 1; i <= assets::aboutFrameCount; ++i) {
        QPixmap frame(assets::forScale(assets::aboutFramePath(i), qGuiApp->devicePixelRatio()));
        if (!frame.isNull()) frames_.push_back(frame);
    }
    picture_->setObjectName(QStringLiteral("Image1"));
    picture_->setFixedSize(64, 64);
    if (!frames_.empty()) picture_->setPixmap(frames_.front());

    auto* name = new QLabel(ui::programTitle());
    name->setObjectName(QStringLiteral("lblNome"));
    QFont big = name->font();
    big.setPointSize(16);
    big.setBold(true);
    name->setFont(big);
    auto* version = new QLabel(QStringLiteral("Versão %1").arg(versionText()));
    version->setObjectName(QStringLiteral("lblVersao"));
    auto* user = new QLabel(QStringLiteral("Usuário: %1").arg(userName));
    user->setObjectName(QStringLiteral("lblUsuario"));
    user->setTextFormat(Qt::PlainText);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addWidget(user);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(picture_, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(&animation_, &QTimer::timeout, this, &TfrmAbout::nextFrame);
    if (frames_.size() > 1) animation_.start(250);
}

QString TfrmAbout::versionText() {
    return QStringLiteral(FALAVOX_VERSION);
}

void TfrmAbout::nextFrame() {
    frame_ = (frame_ + 1) % frames_.size();
    picture_->setPixmap(frames_[frame_]);
}

} // namespace app
