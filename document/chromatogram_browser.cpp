#include "document/chromatogram_browser.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include <sys/stat.h>

#include "app/text.h"
#include "app/trash.h"
#include "document/passport.h"
#include "document/stg_file.h"

namespace zelmora {

namespace fs = std::filesystem;

namespace {

// Chromatograms recorded together on several channels start within this.
constexpr std::time_t kJointSeconds = 10;

bool hasStgExtension(const fs::path& p) {
    return text::equalsNoCase(p.extension().string(), ".stg");
}

std::time_t lastWriteTime(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0)
        return 0;
    return st.st_mtime;
}

std::string withoutTrailingSeparators(std::string s) {
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

}  // namespace

bool textFilterPasses(const std::string& filter, const std::string& value) {
    if (filter.empty() || filter == kAnyMethod || filter == kAnyPoint)
        return true;
    return text::equalsNoCase(filter, value);
}

bool typeFilterPasses(BrowserType type, const BrowserEntry& entry) {
    if (entry.isFolder)
        return true;
    switch (type) {
        case BrowserType::Calibration:
            return entry.calibration != 0;
        case BrowserType::Others:
            return entry.calibration == 0;
        case BrowserType::All:
            break;
    }
    return true;
}

bool filterPasses(const BrowserFilter& filter, const BrowserEntry& entry) {
    if (entry.isFolder)
        return true;
    return typeFilterPasses(filter.type, entry) && textFilterPasses(filter.method, entry.method) &&
           textFilterPasses(filter.place, entry.place) &&
           textFilterPasses(filter.point, entry.point);
}

std::vector<BrowserEntry> listFolder(const fs::path& folder, BrowserType type) {
    std::vector<BrowserEntry> folders, files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& de = *it;
        std::error_code typeError;
        if (de.is_directory(typeError)) {
            BrowserEntry e;
            e.isFolder = true;
            e.name = de.path().filename().string();
            folders.push_back(std::move(e));
            continue;
        }
        if (!de.is_regular_file(typeError) || !hasStgExtension(de.path()))
            continue;
        BrowserEntry e;
        e.name = de.path().stem().string();
        Passport passport;
        if (stg::ReadPassport(de.path(), passport)) {
            e.passportRead = true;
            e.analysisTime = passport.analysisTime;
            e.sample = passport.sample;
            e.method = passport.method;
            e.place = passport.place;
            e.point = passport.point;
            e.calibration = passport.calibration;
        } else {
            e.sample = kUnreadableSample;
            e.analysisTime = lastWriteTime(de.path());
        }
        if (typeFilterPasses(type, e))
            files.push_back(std::move(e));
    }
    std::sort(folders.begin(), folders.end(), [](const BrowserEntry& a, const BrowserEntry& b) {
        return text::compareNoCase(a.name, b.name) < 0;
    });
    std::sort(files.begin(), files.end(), [](const BrowserEntry& a, const BrowserEntry& b) {
        if (a.analysisTime != b.analysisTime)
            return a.analysisTime > b.analysisTime;
        return text::compareNoCase(a.name, b.name) < 0;
    });
    std::vector<BrowserEntry> out;
    const fs::path normal = folder.lexically_normal();
    if (normal.has_relative_path() && normal.relative_path() != ".") {
        BrowserEntry up;
        up.isFolder = true;
        up.name = "..";
        out.push_back(std::move(up));
    }
    out.insert(out.end(), std::make_move_iterator(folders.begin()),
               std::make_move_iterator(folders.end()));
    out.insert(out.end(), std::make_move_iterator(files.begin()),
               std::make_move_iterator(files.end()));
    return out;
}

fs::path entryPath(const fs::path& folder, const BrowserEntry& entry) {
    if (entry.isFolder && entry.name == "..") {
        fs::path p = fs::path(withoutTrailingSeparators(folder.lexically_normal().string()));
        return p.has_relative_path() ? p.parent_path() : p;
    }
    if (entry.isFolder)
        return folder / entry.name;
    return folder / (entry.name + ".stg");
}

std::string previewText(const fs::path& folder, const BrowserEntry& entry) {
    if (entry.isFolder)
        return entry.name == ".." ? kPreviewUp : kPreviewFolder;
    Passport passport;
    if (!stg::ReadPassport(entryPath(folder, entry), passport))
        return kPreviewUnreadable;
    return passport.text();
}

std::vector<std::size_t> jointSelection(const std::vector<BrowserEntry>& entries,
                                        std::size_t selected) {
    std::vector<std::size_t> out;
    if (selected >= entries.size())
        return out;
    const BrowserEntry& s = entries[selected];
    if (s.isFolder || !s.passportRead)
        return {selected};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const BrowserEntry& e = entries[i];
        if (i == selected) {
            out.push_back(i);
            continue;
        }
        if (e.isFolder || !e.passportRead)
            continue;
        const std::time_t d = e.analysisTime > s.analysisTime ? e.analysisTime - s.analysisTime
                                                              : s.analysisTime - e.analysisTime;
        if (d < kJointSeconds)
            out.push_back(i);
    }
    return out;
}

bool samePathNoCase(const fs::path& a, const fs::path& b) {
    return text::equalsNoCase(withoutTrailingSeparators(a.lexically_normal().string()),
                              withoutTrailingSeparators(b.lexically_normal().string()));
}

TransferReport transferFiles(const std::vector<fs::path>& files, const fs::path& current,
                             const fs::path& target, bool move, const AskOverwrite& ask) {
    TransferReport report;
    if (samePathNoCase(current, target)) {
        report.sameFolder = true;
        return report;
    }
    for (const fs::path& src : files) {
        const fs::path dst = target / src.filename();
        std::error_code ec;
        if (fs::exists(dst, ec)) {
            const OverwriteAnswer a = ask ? ask(dst) : OverwriteAnswer::Skip;
            if (a == OverwriteAnswer::Stop)
                break;
            if (a == OverwriteAnswer::Skip) {
                ++report.skipped;
                continue;
            }
        }
        if (Status moved = transferFile(src, dst, move); !moved) {
            report.failures.push_back(moved.message());
            continue;
        }
        ++report.done;
    }
    return report;
}

Status transferFile(const fs::path& src, const fs::path& dst, bool move) {
    auto fail = [&](const std::error_code& ec) {
        return Status::failure(src.filename().string() + ": " + ec.message());
    };
    // Copy beside the target under a temporary name, then rename over it.
    fs::path temp = dst;
    temp += ".part";
    std::error_code ec;
    fs::remove(temp, ec);
    ec.clear();
    if (!fs::copy_file(src, temp, fs::copy_options::overwrite_existing, ec) || ec) {
        const Status failed = fail(ec);
        fs::remove(temp, ec);
        return failed;
    }
    fs::rename(temp, dst, ec);
    if (ec) {
        std::error_code ignore;
        fs::remove(temp, ignore);
        return fail(ec);
    }
    if (move) {
        fs::remove(src, ec);
        if (ec)
            return fail(ec);
    }
    return {};
}

std::string deleteQuestion(const std::vector<fs::path>& files) {
    if (files.size() == 1)
        return "Удалить " + files.front().stem().string() + " ?";
    return text::format("Выделено хромaтограмм: %d. Удалить все ?", static_cast<int>(files.size()));
}

DeleteReport moveFilesToTrash(const std::vector<fs::path>& files) {
    DeleteReport report;
    for (const fs::path& f : files) {
        if (!trashFolderFor(f)) {
            std::error_code ec;
            if (fs::exists(f, ec))
                report.noTrash.push_back(f);
            else
                report.failures.push_back(f.filename().string() + ": файл не найден");
            continue;
        }
        if (const Result<fs::path> moved = moveToTrash(f); !moved)
            report.failures.push_back(moved.message());
    }
    return report;
}

std::string deleteForGoodQuestion(const std::vector<fs::path>& files) {
    std::string names;
    for (const fs::path& f : files)
        names += "\n" + f.filename().string();
    return "Эти файлы нельзя переместить в корзину:" + names + "\n\nУдалить их безвозвратно?";
}

Status deleteFile(const fs::path& f) {
    std::error_code ec;
    if (!fs::remove(f, ec) || ec)
        return Status::failure(f.filename().string() + ": " +
                               (ec ? ec.message() : std::string("файл не найден")));
    return {};
}

std::vector<std::string> deleteFiles(const std::vector<fs::path>& files) {
    std::vector<std::string> failures;
    for (const fs::path& f : files) {
        if (Status deleted = deleteFile(f); !deleted)
            failures.push_back(deleted.message());
    }
    return failures;
}

Status joinFailures(const std::vector<std::string>& failures) {
    if (failures.empty())
        return {};
    std::string text;
    for (const std::string& f : failures) {
        if (!text.empty())
            text += '\n';
        text += f;
    }
    return Status::failure(std::move(text));
}

}  // namespace zelmora
