// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's own data files (figure file, fixed layouts) are looked for.
#include "base/data_folders.h"

#include <algorithm>
#include <system_error>

namespace zelt::document {
namespace fs = std::filesystem;

fs::path programFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

std::vector<fs::path> dataFolders(const fs::path& programFolder)
{
    std::vector<fs::path> candidates;
    if (!programFolder.empty()) {
        const fs::path folder = programFolder.lexically_normal();
        candidates.push_back(folder);
        // "bin/.." without resolving links: a relocated tree is found where its bin/ lies.
        const fs::path base = folder.has_filename() ? folder : folder.parent_path();
        candidates.push_back(base.parent_path() / "share" / "zelt");
    }
#ifdef ZELT_DATA_DIR
    candidates.emplace_back(fs::path(ZELT_DATA_DIR).lexically_normal());
#endif
    std::vector<fs::path> folders;
    for (fs::path& c : candidates)
        if (!c.empty() && std::find(folders.begin(), folders.end(), c) == folders.end())
            folders.push_back(std::move(c));
    return folders;
}

std::vector<fs::path> dataFolders() { return dataFolders(programFolder()); }

fs::path findDataFile(std::string_view fileName, const std::vector<fs::path>& folders)
{
    for (const fs::path& folder : folders) {
        std::error_code ec;
        const fs::path candidate = folder / fileName;
        if (fs::is_regular_file(candidate, ec))
            return candidate;
    }
    return {};
}

}  // namespace zelt::document
