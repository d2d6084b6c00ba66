#include "gui/database/database_windows.h"

#include <QApplication>
#include <QProgressDialog>

#include "database/analyses_database.h"
#include "database/catalogue.h"
#include "database/recordsets.h"
#include "document/zelmora_doc.h"
#include "gui/database/analysis_dlg.h"
#include "gui/database/analysis_search_dlg.h"
#include "gui/database/components_dlg.h"
#include "gui/database/found_analyses_wnd.h"
#include "gui/database/sampling_points_dlg.h"
#include "gui/document/child_frame.h"
#include "gui/main_frame.h"
#include "gui/message_box.h"

namespace zelmora::gui {

namespace {

void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    MessageRequest r;
    r.parent = parent;
    r.icon = icon;
    r.text = text;
    showMessage(r);
}

// A modal "busy" window for a database command that holds the file.
class BusyWindow {
  public:
    BusyWindow(QWidget* parent, const QString& text) : dlg_(text, QString(), 0, 0, parent) {
        dlg_.setWindowTitle(QStringLiteral("База данных"));
        dlg_.setCancelButton(nullptr);
        dlg_.setMinimumDuration(0);
        dlg_.setWindowModality(Qt::WindowModal);
        dlg_.show();
        QApplication::processEvents();
    }

  private:
    QProgressDialog dlg_;
};

}  // namespace

CFoundAnalysesWnd* CDatabaseWindows::foundWindow() const {
    return static_cast<CFoundAnalysesWnd*>(found_.data());
}

bool CDatabaseWindows::isOpen() const {
    return database_ != nullptr && database_->isOpen();
}

void CDatabaseWindows::updateAllViews() {
    for (CChildFrame* c : frame_.chromatograms())
        c->document().redraw();
}

void CDatabaseWindows::analysisDialog(int key, bool createdEmpty, QWidget* parent) {
    if (runAnalysisDialog) {
        runAnalysisDialog(key, createdEmpty, parent);
        return;
    }
    gui::runAnalysisDialog(database_->connection(), key, createdEmpty, parent);
}

bool CDatabaseWindows::showAnalyses() {
    if (!isOpen())
        return false;
    if (found_ != nullptr) {
        found_->showNormal();
        found_->raise();
        found_->activateWindow();
        return true;
    }
    db::Connection& db = database_->connection();
    db::AnalysisSearch criteria;
    std::function<bool(db::AnalysisSearch&, QWidget*)> search = runSearchDialog;
    if (!search) {
        db::Connection* c = &db;
        search = [c](db::AnalysisSearch& criteria, QWidget* parent) {
            CAnalysisSearchDlg dlg(*c, criteria, parent);
            if (dlg.exec() != QDialog::Accepted)
                return false;
            criteria = dlg.criteria();
            return true;
        };
    }
    if (!search(criteria, &frame_))
        return false;
    auto* wnd = new CFoundAnalysesWnd(db, criteria, &frame_);
    found_ = wnd;
    wnd->runSearchDialog = search;
    wnd->runAnalysisDialog = [this](int key, bool createdEmpty, QWidget* parent) {
        analysisDialog(key, createdEmpty, parent);
    };
    wnd->openChromatogram = [this](const std::filesystem::path& file) {
        if (frame_.isMinimized())
            frame_.showNormal();
        return frame_.openDocument(file) != nullptr;
    };
    wnd->isOpenChromatogram = [this](const std::filesystem::path& file) {
        std::error_code ec;
        for (CChildFrame* c : frame_.chromatograms())
            if (std::filesystem::equivalent(c->document().pathName(), file, ec))
                return true;
        return false;
    };
    wnd->show();
    return true;
}

bool CDatabaseWindows::showSamplingPoints() {
    if (!isOpen())
        return false;
    CSamplingPointsDlg dlg(database_->connection(), {}, {}, &frame_);
    dlg.exec();
    updateAllViews();
    return true;
}

bool CDatabaseWindows::showComponents() {
    if (!isOpen())
        return false;
    CComponentsDlg dlg(database_->connection(), &frame_);
    dlg.exec();
    updateAllViews();
    return true;
}

bool CDatabaseWindows::newAnalysis() {
    if (!isOpen())
        return false;
    const db::Result<int> key = db::newEmptyAnalysis(database_->connection());
    if (!key) {
        showFailure(&frame_, key.status());
        return false;
    }
    analysisDialog(*key, true, &frame_);
    if (found_ != nullptr)
        foundWindow()->refill();
    return true;
}

bool CDatabaseWindows::findInDatabase(CChildFrame& window) {
    const int key = window.document().passport.databaseKey;
    if (!isOpen() || key <= 0)
        return false;
    db::CAnalysSet set(database_->connection());
    const auto found = set.find(key);
    if (!found) {
        showFailure(&frame_, found.status());
        return false;
    }
    if (!*found) {
        tell(&frame_, QStringLiteral("Анализ %1 не найден в базе данных.").arg(key),
             QMessageBox::Warning);
        return false;
    }
    analysisDialog(key, false, &frame_);
    if (found_ != nullptr)
        foundWindow()->refill();
    return true;
}

bool CDatabaseWindows::criticalValues(CChildFrame& window) {
    if (!isOpen())
        return false;
    const Passport& p = window.document().passport;
    CSamplingPointsDlg dlg(database_->connection(), QString::fromStdString(p.place),
                           QString::fromStdString(p.point), &frame_);
    dlg.exec();
    updateAllViews();
    return true;
}

bool CDatabaseWindows::compact() {
    if (database_ == nullptr)
        return false;
    db::Status done;
    {
        BusyWindow busy(&frame_, QStringLiteral("Сжатие и оптимизация базы данных"));
        done = database_->compact();
    }
    if (!done) {
        showFailure(&frame_, done, {}, QMessageBox::Critical);
        return false;
    }
    tell(&frame_, QString::fromUtf8(db::kCompactDoneText), QMessageBox::Information);
    updateAllViews();
    return true;
}

bool CDatabaseWindows::repair() {
    if (database_ == nullptr)
        return false;
    const db::Result<db::RepairReport> done = [this] {
        BusyWindow busy(&frame_, QStringLiteral("Устранение повреждений базы данных"));
        return database_->repair();
    }();
    if (!done) {
        showFailure(&frame_, done.status(), {}, QMessageBox::Critical);
        return false;
    }
    QString text = QString::fromUtf8(db::kRepairDoneText);
    if (done->wasDamaged) {
        text += QStringLiteral("\n\n") + QString::fromStdString(done->findings);
        text += QStringLiteral("\nПовреждённый файл сохранён как %1.")
                    .arg(QString::fromStdString(done->damagedCopy.string()));
    }
    tell(&frame_, text, QMessageBox::Information);
    if (found_ != nullptr)
        foundWindow()->refill();
    updateAllViews();
    return true;
}

}  // namespace zelmora::gui
