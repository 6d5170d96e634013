#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <vector>

class QLabel;

namespace app {

// The About box: the program's name and version, the local user's name and a small
// animation. It frees itself when closed.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(const QString& userName, QWidget* parent = nullptr);

    static QString versionText();

private:
    void nextFrame();

    QLabel* picture_;
    std::vector<QPixmap> frames_;
    std::size_t frame_ = 0;
    QTimer animation_;
};

} // namespace app
