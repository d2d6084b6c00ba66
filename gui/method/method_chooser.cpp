#include "gui/method/method_chooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include "app/program_settings.h"
#include "gui/message_box.h"
#include "gui/method/modal_runner.h"
#include "method/method_editing.h"

namespace zelmora::gui {

CMethodChooserDlg::CMethodChooserDlg(const std::filesystem::path& folder,
                                     const std::string& current, int accessLevel, Purpose purpose,
                                     QWidget* parent)
    : QDialog(parent), folder_(folder), accessLevel_(accessLevel) {
    setWindowTitle(QStringLiteral("Выбор метода"));
    auto* layout = new QGridLayout(this);
    name_ = new QLineEdit(QString::fromStdString(current), this);
    layout->addWidget(name_, 0, 0);
    list_ = new QListWidget(this);
    for (const std::string& n : methodNames(folder))
        list_->addItem(QString::fromStdString(n));
    layout->addWidget(list_, 1, 0, 6, 1);

    layout->addWidget(new QLabel(QStringLiteral("Описание:"), this), 0, 1);
    description_ = new QLineEdit(this);
    description_->setReadOnly(true);
    layout->addWidget(description_, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Установки приборов, сохранённые в методе"), this),
                      2, 1);
    instruments_ = new QListWidget(this);
    instruments_->setMaximumHeight(60);
    layout->addWidget(instruments_, 3, 1);
    delete_ = new QPushButton(QStringLiteral("Удалить метод"), this);
    delete_->setEnabled(methodDeleteRule(accessLevel) != MethodSaveRule::Refused);
    layout->addWidget(delete_, 4, 1, Qt::AlignLeft);

    auto* runBox = new QHBoxLayout;
    auto* repetitionsLabel = new QLabel(QStringLiteral("Повторений:"), this);
    repetitions_ = new QSpinBox(this);
    repetitions_->setRange(1, 100);
    repetitions_->setValue(1);
    useSettings_ = new QCheckBox(QStringLiteral("Использовать установки прибора из метода"), this);
    useSettings_->setChecked(true);
    runBox->addWidget(repetitionsLabel);
    runBox->addWidget(repetitions_);
    runBox->addWidget(useSettings_);
    runBox->addStretch();
    layout->addLayout(runBox, 5, 1);
    const bool run = purpose == Purpose::Run;
    repetitionsLabel->setVisible(run);
    repetitions_->setVisible(run);
    useSettings_->setVisible(run);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(buttons, 6, 1, Qt::AlignBottom);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 2);

    connect(buttons, &QDialogButtonBox::accepted, this, &CMethodChooserDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(delete_, &QPushButton::clicked, this, &CMethodChooserDlg::deleteSelected);
    connect(list_, &QListWidget::currentTextChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            return;
        name_->setText(text);
        describe(text);
    });
    connect(name_, &QLineEdit::editingFinished, this, &CMethodChooserDlg::nameTyped);
    selectMethod(name_->text());
    resize(620, 320);
}

void CMethodChooserDlg::describe(const QString& name) {
    instruments_->clear();
    const MethodFileSummary s = describeMethodFile(methodFileIn(folder_, name.toStdString()));
    if (!s.readable) {
        description_->setText(QStringLiteral("???? (файл метода повреждён: %1)")
                                  .arg(QString::fromStdString(s.error)));
        return;
    }
    description_->setText(QString::fromStdString(s.description));
    if (s.kalder)
        instruments_->addItem(QStringLiteral("Zelmora Kalder"));
    if (s.ehd)
        instruments_->addItem(QStringLiteral("ЭХД+КД"));
}

bool CMethodChooserDlg::selectMethod(const QString& name) {
    if (name.isEmpty())
        return false;
    QList<QListWidgetItem*> found = list_->findItems(name, Qt::MatchFixedString);  // any case
    if (found.isEmpty())
        return false;
    list_->setCurrentItem(found.front());
    name_->setText(found.front()->text());
    describe(found.front()->text());
    return true;
}

void CMethodChooserDlg::nameTyped() {
    if (selectMethod(name_->text().trimmed()))
        return;
    name_->clear();
    const QSignalBlocker block(list_);
    list_->setCurrentRow(-1);
    description_->clear();
    instruments_->clear();
}

std::string CMethodChooserDlg::name() const {
    return name_->text().trimmed().toStdString();
}

int CMethodChooserDlg::repetitions() const {
    return repetitions_->value();
}

bool CMethodChooserDlg::useInstrumentSettings() const {
    return useSettings_->isChecked();
}

bool CMethodChooserDlg::deleteSelected() {
    QListWidgetItem* item = list_->currentItem();
    const MethodSaveRule rule = methodDeleteRule(accessLevel_);
    if (rule == MethodSaveRule::Refused) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text = QString::fromUtf8(kBeginnerMayDeleteNot);
        showMessage(r);
        return false;
    }
    if (item == nullptr)
        return false;
    if (rule == MethodSaveRule::Ask) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text = QString::fromUtf8(kAskDeleteMethod);
        r.buttons = QMessageBox::Yes | QMessageBox::No;
        r.defaultButton = QMessageBox::No;
        if (showMessage(r) != QMessageBox::Yes)
            return false;
    }
    const Result<std::filesystem::path> moved =
        deleteMethodFile(folder_, item->text().toStdString());
    if (!moved) {
        showFailure(this, moved.status());
        return false;
    }
    delete list_->takeItem(list_->row(item));
    if (QListWidgetItem* next = list_->currentItem()) {
        name_->setText(next->text());
        describe(next->text());
    } else {
        name_->clear();
        description_->clear();
        instruments_->clear();
    }
    return true;
}

void CMethodChooserDlg::accept() {
    if (name().empty())
        return;
    QDialog::accept();
}

std::optional<std::string> chooseMethod(QWidget* parent, const std::string& current) {
    const ProgramOptions o = programOptions();
    CMethodChooserDlg dlg(o.methodFolder(), current, o.accessLevel,
                          CMethodChooserDlg::Purpose::Open, parent);
    if (runModal(dlg) != QDialog::Accepted || dlg.name().empty())
        return std::nullopt;
    return dlg.name();
}

std::optional<MethodRunChoice> chooseMethodForRun(QWidget* parent, const std::string& current) {
    const ProgramOptions o = programOptions();
    CMethodChooserDlg dlg(o.methodFolder(), current, o.accessLevel, CMethodChooserDlg::Purpose::Run,
                          parent);
    if (runModal(dlg) != QDialog::Accepted || dlg.name().empty())
        return std::nullopt;
    return MethodRunChoice{dlg.name(), dlg.repetitions(), dlg.useInstrumentSettings()};
}

}  // namespace zelmora::gui
