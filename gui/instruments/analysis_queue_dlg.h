#pragma once
// The analysis queue's windows: "Очередь КЖК" (the entries with their
// state, their order, loading a new queue file, running samples again),
// "Список очередей" (which of the laboratory system's files to load) and
// "Настройки очереди" (which device and channel run the queue, with which
// methods, from which folder, handing results to which program).

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

#include "instruments/analysis_queue.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTableWidget;

namespace zelmora {
class CDeviceManager;
class SettingsStore;
}  // namespace zelmora

namespace zelmora::gui {

// The text of an entry's state in the queue window.
QString queueStateText(int status);

// "Очередь КЖК": modeless, owned by the main window. Every change of the
// queue (also from a recording thread, through refreshLater()) redraws it.
class CAnalysisQueueDlg : public QDialog {
    Q_OBJECT
  public:
    CAnalysisQueueDlg(AnalysisQueue& queue, SettingsStore& settings, CDeviceManager* devices,
                      QWidget* parent);

    // Redraws the list now (user-interface thread).
    void refresh();
    // Posts a redraw; safe from any thread while the window lives.
    void refreshLater();

    // "Загрузить": the file choice, then the queue from the chosen file.
    void loadQueue();
    void moveUp();
    void moveDown();
    void redo();
    void showSettings();

    QTableWidget* table() const { return table_; }
    QLabel* workLine() const { return workLine_; }
    QCheckBox* showProcessed() const { return showProcessed_; }

  private:
    void takeSelection();
    void selectMarked();

    AnalysisQueue& queue_;
    SettingsStore& settings_;
    CDeviceManager* devices_;
    QTableWidget* table_ = nullptr;
    QLabel* workLine_ = nullptr;
    QCheckBox* showProcessed_ = nullptr;
};

// "Список очередей": the queue files of the folder as "Очередь за сегодня" /
// "Очередь от DD.MM.YYYY". With one file it is chosen without a window.
// Returns the chosen path, or empty.
using QueueFilePicker = std::function<QString(QWidget*, const QString& folder)>;
QString chooseQueueFile(QWidget* parent, const QString& folder);
// Puts `picker` in place of the list dialog for as long as it lives (tests).
class ScopedQueueFilePicker {
  public:
    explicit ScopedQueueFilePicker(QueueFilePicker picker);
    ~ScopedQueueFilePicker();
    ScopedQueueFilePicker(const ScopedQueueFilePicker&) = delete;
    ScopedQueueFilePicker& operator=(const ScopedQueueFilePicker&) = delete;

  private:
    QueueFilePicker previous_;
};

class CQueueListDlg : public QDialog {
    Q_OBJECT
  public:
    // `files` are the "aq-*.xml" names of the folder; `today` "DD.MM.YYYY".
    CQueueListDlg(const QStringList& files, const QString& today, QWidget* parent);
    QString chosenFile() const;
    QListWidget* list() const { return list_; }

  private:
    QStringList files_;
    QListWidget* list_ = nullptr;
};

// "Настройки очереди".
class CQueueSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    CQueueSettingsDlg(SettingsStore& settings, CDeviceManager* devices, QWidget* parent);

    // "Сохранить": the six values back into the settings.
    void save();
    QueueSettings current() const;

    QComboBox* deviceBox() const { return device_; }
    QComboBox* channelBox() const { return channel_; }
    QLineEdit* workingMethodEdit() const { return workingMethod_; }
    QLineEdit* purgeMethodEdit() const { return purgeMethod_; }
    QLineEdit* folderEdit() const { return folder_; }
    QLineEdit* programEdit() const { return program_; }

  private:
    void fillChannels(int device, int selectChannel);
    void chooseMethod(QLineEdit* edit);

    SettingsStore& settings_;
    CDeviceManager* devices_;
    QComboBox* device_ = nullptr;
    QComboBox* channel_ = nullptr;
    QLineEdit* workingMethod_ = nullptr;
    QLineEdit* purgeMethod_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLineEdit* program_ = nullptr;
};

}  // namespace zelmora::gui
