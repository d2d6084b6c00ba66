#include "database/results_saver.h"

#include <unistd.h>

#include <climits>

#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "database/db_time.h"
#include "database/recordsets.h"
#include "database/schema.h"
#include "document/message_sink.h"
#include "document/stg_file.h"
#include "document/zelmora_doc.h"

namespace zelmora::db {

namespace {

std::string orNoName(const std::string& s) {
    return text::trim(s).empty() ? std::string(kNoName) : s;
}

bool isDriveLetterPath(const std::string& p) {
    return p.size() >= 3 && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) &&
           p[1] == ':' && (p[2] == '\\' || p[2] == '/');
}

}  // namespace

std::vector<ResultValue> chooseResultRows(
    const CZelmoraDoc& doc, const std::optional<std::vector<std::string>>& methodComponents) {
    std::vector<ResultValue> rows;
    if (doc.passport.calibration != 0 || !methodComponents) {
        for (const Peak& p : doc.peaks.peaks) {
            if (!p.componentName.empty())
                rows.push_back({p.componentName, p.concentration});
        }
        return rows;
    }
    for (const std::string& name : *methodComponents) {
        if (name.empty())
            continue;
        const Peak* peak = doc.peak(doc.findPeakByName(name));
        rows.push_back({name, peak != nullptr ? peak->concentration : 0.0});
    }
    return rows;
}

std::string storedFileName(const std::string& filePath, const std::string& pathSaveDb,
                           const std::string& computer) {
    if (pathSaveDb.rfind("\\\\", 0) != 0 || !isDriveLetterPath(filePath) || computer.empty())
        return filePath;
    // "C:\Data\x.stg" -> "\\LAB1\C\Data\x.stg": the path without its colon.
    return "\\\\" + computer + "\\" + filePath.substr(0, 1) + filePath.substr(2);
}

std::string computerName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

Result<SavedAnalysis> saveAnalysis(Connection& db, const Passport& passport,
                                   const std::vector<ResultValue>& rows,
                                   const std::string& storedFile, const std::filesystem::path& file,
                                   const PassportWriter& writePassport) {
    Transaction t(db);
    if (!t.status())
        return t.status();
    CAnalysSet analyses(db);
    std::optional<AnalysisRow> row;
    if (passport.databaseKey > 0) {
        auto found = analyses.find(passport.databaseKey);
        if (!found)
            return found.status();
        row = *found;
    }
    SavedAnalysis saved;
    if (!row) {
        // A new row takes both dates from the passport; an existing one keeps its own.
        row.emplace();
        row->date = passport.samplingTime;
        row->anDate = passport.analysisTime;
        saved.created = true;
    }
    row->method = passport.method;
    row->operatorName = passport.operatorName;
    row->place = orNoName(passport.point);
    row->station = orNoName(passport.place);
    row->comment = passport.comment;
    row->sample = passport.sample;
    row->fileName = storedFile;
    if (saved.created) {
        Result<int> key = analyses.add(*row);
        if (!key)
            return key.status();
        saved.key = *key;
    } else {
        saved.key = row->keyAnalys;
        if (Status s = analyses.update(*row); !s)
            return s;
    }
    CResultSet results(db);
    for (const ResultValue& r : rows) {
        if (Status s = results.put(saved.key, r.parametr, r.value); !s)
            return s;
    }
    if (saved.created) {
        Passport withKey = passport;
        withKey.databaseKey = saved.key;
        if (!writePassport || !writePassport(file, withKey))
            return Status::failure("номер анализа не записан в файл хроматограммы " +
                                   file.string());
    }
    if (Status s = t.commit(); !s) {
        // The file names a row that was never committed: give it back its old key.
        if (saved.created && writePassport)
            writePassport(file, passport);
        return s;
    }
    return saved;
}

ResultsStore::KeyCheck checkAnalysisKey(Connection& db, int key, std::time_t analysisTime,
                                        std::time_t samplingTime) {
    Statement s = db.prepare("SELECT AnDate, Date FROM Analyses WHERE KeyAnalys = ? LIMIT 1");
    s.bind(1, key);
    if (!s.next())
        return s.ok() ? ResultsStore::KeyCheck::Mismatch : ResultsStore::KeyCheck::Unavailable;
    if (s.isNull(0) || s.isNull(1) || s.text(0) != toDbTime(analysisTime) ||
        s.text(1) != toDbTime(samplingTime))
        return ResultsStore::KeyCheck::Mismatch;
    return ResultsStore::KeyCheck::Matches;
}

std::string saveFailedText(const std::string& file, const std::string& reason) {
    return "Результаты хроматограммы " + file + " не сохранены в базе данных: " + reason;
}

CAnalysesStore::CAnalysesStore(CAnalysesDatabase& db, MethodComponents methodComponents,
                               PassportWriter writePassport)
    : db_(db),
      methodComponents_(std::move(methodComponents)),
      writePassport_(std::move(writePassport)) {}

ResultsStore::KeyCheck CAnalysesStore::checkAnalysisKey(int key, std::time_t analysisTime,
                                                        std::time_t samplingTime) {
    if (!db_.isOpen())
        return KeyCheck::Unavailable;
    return db::checkAnalysisKey(db_.connection(), key, analysisTime, samplingTime);
}

bool CAnalysesStore::saveResults(CZelmoraDoc& doc, const std::filesystem::path& file,
                                 MessageSink& sink) {
    auto fail = [&](const std::string& reason) {
        const std::string message = saveFailedText(file.string(), reason);
        sink.messageBox(kSaveFailedCaption, message, MessageIcon::Error);
        CWorkLog::instance().write("! " + message);
        return false;
    };
    if (!db_.isOpen())
        return fail("база данных не открыта");
    std::optional<std::vector<std::string>> components;
    if (doc.hasMethod && methodComponents_)
        components = methodComponents_(doc);
    const std::vector<ResultValue> rows = chooseResultRows(doc, components);
    const std::string stored =
        storedFileName(file.string(), programOptions().pathSaveDb, computerName());
    PassportWriter writer = writePassport_;
    if (!writer)
        writer = [&sink](const std::filesystem::path& f, const Passport& p) {
            return stg::RewritePassport(f, p, sink);
        };
    Result<SavedAnalysis> saved =
        saveAnalysis(db_.connection(), doc.passport, rows, stored, file, writer);
    if (!saved)
        return fail(saved.message());
    doc.passport.databaseKey = saved->key;
    return true;
}

}  // namespace zelmora::db
