#include "gui/instruments/recording_controller.h"

#include <QFileInfo>

#include <QApplication>
#include <QMdiArea>
#include <QMetaObject>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "database/analysis_start_time.h"
#include "document/zelmora_doc.h"
#include "gui/document/child_frame.h"
#include "gui/document/passport_dlg.h"
#include "gui/instruments/recording_wnd.h"
#include "gui/instruments/sound_player.h"
#include "gui/instruments/waiting_wnd.h"
#include "gui/main_frame.h"
#include "gui/message_box.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"

namespace zelmora::gui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// The program's one sound player (silent without Qt Multimedia or a sound
// device).
void playDetached(const QString& file) {
    CSoundPlayer::instance().play(QFileInfo(file).fileName());
}

}  // namespace

CRecordingController::CRecordingController()
    : chooser_(&chooseChannelMethod), player_(&playDetached) {}

CRecordingController::~CRecordingController() = default;

void CRecordingController::setFrame(CMainFrame* frame) {
    frame_ = frame;
    sink_.setOwner(frame);
}

void CRecordingController::setQueueLink(std::shared_ptr<AnalysisQueueLink> link) {
    queue_ = std::move(link);
    if (devices_ == nullptr)
        return;
    for (int d = 0; d < devices_->count(); ++d)
        for (int c = 0; c < devices_->device(d).channelCount(); ++c)
            if (auto* ch = dynamic_cast<CChannel*>(&devices_->device(d).channel(c)))
                ch->setQueueLink(queue_);
}

void CRecordingController::post(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

ProgramOptions CRecordingController::options() const {
    return programOptions();
}

std::time_t CRecordingController::startTime() {
    return AnalysisStartTime::instance().next();
}

std::filesystem::path CRecordingController::journalFolder() const {
    return RecordingJournal::folderIn(paths::defaultDataFolder());
}

void CRecordingController::playSound(const std::string& name) {
    const std::filesystem::path file = paths::programFolder() / "Sound" / name;
    std::error_code ec;
    if (player_ && std::filesystem::exists(file, ec))
        player_(q(file.string()));
}

bool CRecordingController::isChannelCommand(int id) {
    const auto cmd = command::decode(id);
    if (!cmd)
        return false;
    using K = command::Kind;
    return cmd->kind == K::Record || cmd->kind == K::RunMethod || cmd->kind == K::Stop ||
           cmd->kind == K::Monitor || cmd->kind == K::PanelStart;
}

CChannel* CRecordingController::channelOf(int id) const {
    const auto cmd = command::decode(id);
    if (!cmd || devices_ == nullptr || cmd->device >= devices_->count() || cmd->channel < 0)
        return nullptr;
    CDevice& dev = devices_->device(cmd->device);
    if (cmd->channel >= dev.channelCount())
        return nullptr;
    return dynamic_cast<CChannel*>(&dev.channel(cmd->channel));
}

bool CRecordingController::isEnabled(int id) const {
    CChannel* ch = channelOf(id);
    if (ch == nullptr)
        return false;
    const bool recording = ch->isRecording();
    using K = command::Kind;
    switch (command::decode(id)->kind) {
        case K::Record:
        case K::RunMethod:
            // A waiting channel has its window; a new start waits for it to go.
            return recording || (ch->available() && !ch->isWaitingForStart() && !ch->isFinishing());
        case K::Stop:
        case K::Monitor:
            return recording;
        case K::PanelStart:
            return recording || (ch->available() && !ch->isWaitingForStart());
        default:
            return false;
    }
}

bool CRecordingController::run(int id) {
    if (!isEnabled(id))
        return false;
    CChannel& ch = *channelOf(id);
    using K = command::Kind;
    const K kind = command::decode(id)->kind;
    if (kind == K::Stop) {
        ch.Stop(true);
        return true;
    }
    if (ch.isRecording()) {
        bringForward(ch);
        return true;
    }
    switch (kind) {
        case K::Record:
            return ch.RecordNow().ok();
        case K::RunMethod: {
            const auto choice = chooser_(frame_, q(ch.methodName()));
            if (!choice || choice->name.isEmpty())
                return false;
            ch.SetMethod(choice->name.toStdString(), choice->repetitions,
                         choice->useMethodSettings);
            return ch.Arm().ok();
        }
        case K::PanelStart:
            if (ch.methodName().empty())
                return false;
            ch.device().onMethodStarted(ch.index());
            return true;
        default:
            return false;
    }
}

void CRecordingController::bringForward(CChannel& channel) {
    CRecordingWnd* w = recordingWindow(channel);
    if (w == nullptr || frame_ == nullptr)
        return;
    w->showNormal();
    frame_->mdiArea()->setActiveSubWindow(w);
}

CRecordingWnd* CRecordingController::recordingWindow(const CChannel& channel) const {
    return recording_.value(&channel).data();
}

CWaitingWnd* CRecordingController::waitingWindow(const CChannel& channel) const {
    return waiting_.value(&channel).data();
}

void CRecordingController::showWaiting(CChannel& channel) {
    int open = 0;
    for (const auto& w : std::as_const(waiting_))
        if (!w.isNull())
            ++open;
    auto* w = new CWaitingWnd(channel, open, frame_);
    waiting_.insert(&channel, w);
    w->show();
}

void CRecordingController::closeWaiting(CChannel& channel) {
    if (QPointer<CWaitingWnd> w = waiting_.take(&channel); !w.isNull()) {
        w->hide();
        w->deleteLater();
    }
}

void CRecordingController::editPassport(CZelmoraDoc& doc) {
    CPassportDlg dlg(doc, passportCatalogue(), frame_);
    dlg.exec();
}

void CRecordingController::recordingStarted(CChannel& channel) {
    if (frame_ == nullptr)
        return;
    auto* w = new CRecordingWnd(channel, frame_);
    recording_.insert(&channel, w);
    frame_->addRecordingWindow(w);
}

void CRecordingController::recordingEnded(CChannel& channel) {
    if (QPointer<CRecordingWnd> w = recording_.take(&channel); !w.isNull())
        w->finish();
    QApplication::beep();
}

void CRecordingController::chromatogramReady(CChannel&, std::unique_ptr<CZelmoraDoc> doc,
                                             const Result<FinishedRecording>& finished) {
    if (!finished || doc == nullptr) {
        if (!finished)
            sink_.messageBox("Zelmora", finished.message(), MessageIcon::Warning);
        return;
    }
    const ProgramOptions o = programOptions();
    const QString path = q(finished->path.string());
    // "AutoClose" closes a chromatogram only when its file is written: an
    // unsaved one would be lost. A queue sample whose results the export
    // program took is closed the same way.
    if ((o.autoClose || finished->handedOver) && finished->saved) {
        emit chromatogramFinished(path, true);
        return;
    }
    if (frame_ == nullptr)
        return;
    CChildFrame* window = nullptr;
    if (finished->saved) {
        const std::int32_t report = doc->reportState;
        window = frame_->openDocument(finished->path);
        if (window != nullptr)
            window->document().reportState = report;
    } else {
        window = frame_->openRecordedDocument(std::move(*doc));
        // The journal keeps the recording until its window is gone (saved
        // or given up by the operator).
        if (window != nullptr && !finished->journal.empty()) {
            const std::filesystem::path journal = finished->journal;
            connect(window, &QObject::destroyed, this, [journal] {
                std::error_code ec;
                std::filesystem::remove(journal, ec);
            });
        }
    }
    emit chromatogramFinished(path, finished->saved);
}

int CRecordingController::offerRecovery() {
    const auto journals = RecordingJournal::list(journalFolder());
    if (journals.empty())
        return 0;
    MessageRequest r;
    r.parent = frame_;
    r.icon = QMessageBox::Question;
    r.text =
        q(text::format("Найдены записи, прерванные сбоем программы: %zu.\n"
                       "Восстановить их как хроматограммы?",
                       journals.size()));
    r.buttons = QMessageBox::Yes | QMessageBox::No;
    if (showMessage(r) != QMessageBox::Yes)
        return 0;
    int done = 0;
    for (const auto& j : journals) {
        auto recovered = recoverRecording(j, sink_, programOptions());
        if (!recovered) {
            sink_.messageBox("Zelmora", recovered.message(), MessageIcon::Warning);
            continue;
        }
        ++done;
        if (frame_ != nullptr)
            frame_->openDocument(recovered->finished.path);
    }
    return done;
}

}  // namespace zelmora::gui
