#include "document/prepared_passport.h"

#include <fstream>
#include <iterator>
#include <string>

#include "app/paths.h"
#include "document/stg_file.h"

namespace zelmora {

namespace fs = std::filesystem;

fs::path preparedPassportFile(const fs::path& folder, std::string_view method) {
    if (method.empty())
        return {};
    std::string name(method);
    for (char& c : name)
        if (c == '/' || c == '\0')
            c = '_';
    return folder / (name + kPreparedPassportExtension);
}

Status writePreparedPassport(const fs::path& folder, const Passport& passport) {
    const fs::path file = preparedPassportFile(folder, passport.method);
    if (file.empty())
        return Status::failure("у паспорта нет метода");
    if (!paths::ensureFolder(folder))
        return Status::failure("не удалось создать папку " + folder.string());
    return paths::writeFileAtomically(file, stg::encodePassport(passport));
}

Result<std::optional<Passport>> readPreparedPassport(const fs::path& folder,
                                                     std::string_view method) {
    const fs::path file = preparedPassportFile(folder, method);
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(file, ec))
        return std::optional<Passport>();
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Status::failure("не удалось открыть " + file.string());
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Passport p;
    if (const Status s = stg::decodePassport(bytes, p); !s)
        return Status::failure(file.string() + ": " + s.message());
    return std::optional<Passport>(std::move(p));
}

}  // namespace zelmora
