#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;

// The options dialog: shows the stored settings, stores them on "OK", and on every close
// has the main form read back what is stored. Modeless, always on top, one at a time
// (open it through ui::showForm) and destroyed when closed.
namespace config {

class SettingsOwner;
class TLimitedEdit;
class TSwitch;

class TfrmConfiguracao : public QDialog {
    Q_OBJECT
public:
    // `owner` is the main form's settings, which outlive the dialog. `ntFamily` words the
    // notice option: the messenger service on the NT family, WinPopUp on the 95 family.
    explicit TfrmConfiguracao(SettingsOwner& owner, bool ntFamily = defaultNtFamily(),
                              QWidget* parent = nullptr);

    static bool defaultNtFamily();

    // Event handlers, public so that tests can run them as the dialog does.
    void FormCreate();
    void CheckBox1Click();
    void Switch2On();
    void Switch2Off();
    void btnOkClick();
    void btnCancelarClick();

    // The Escape key closes the dialog as "Cancelar" does.
    void reject() override;

protected:
    // FormClose: has the main form reload the stored settings; when that fails the error
    // is shown and the dialog stays open.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenuPage(QWidget* page);
    void buildChatPage(QWidget* page);
    void wordNoticeOption();

    SettingsOwner& owner_;
    bool ntFamily_;

    QTabWidget* tabOpcoes = nullptr;
    QWidget* tabMenu = nullptr;
    QWidget* tabChat = nullptr;
    QStackedWidget* MenuPop = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    TSwitch* Switch2 = nullptr;
    QLineEdit* edtresposta = nullptr;
    TLimitedEdit* edtChat = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancelar = nullptr;
};

} // namespace config
