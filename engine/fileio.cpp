// SPDX-License-Identifier: MIT
#include "fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace trackfold {

namespace fs = std::filesystem;

namespace {

std::string systemReason(int error)
{
    return std::generic_category().message(error);
}

// A name for the temporary file next to the target that no other writer picks.
fs::path temporaryPathFor(const fs::path &target, unsigned attempt)
{
    static std::mt19937 random(std::random_device {}());
    const unsigned tag = static_cast<unsigned>(random()) ^ (attempt * 2654435761u);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", tag);
    fs::path name = target.filename();
    name += suffix;
    std::string hidden = ".";
    hidden += name.string();
    return target.parent_path() / hidden;
}

} // namespace

bool readWholeFile(const std::string &path, std::string &data, std::string &error)
{
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = systemReason(EISDIR);
        return false;
    }
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = systemReason(errno);
        return false;
    }
    data.clear();
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    // Read straight into the string; a file that grows meanwhile is read on
    // through a small buffer, so the string is not doubled just to find the end.
    data.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    std::size_t filled = std::fread(data.data(), 1, data.size(), file);
    if (filled == data.size()) {
        char more[1 << 16];
        std::size_t got = 0;
        while ((got = std::fread(more, 1, sizeof more, file)) > 0) {
            data.append(more, got);
            filled += got;
        }
    }
    data.resize(filled);
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        error = systemReason(readError ? readError : EIO);
        return false;
    }
    return true;
}

bool writeFileAtomically(
    const std::string &path, std::string_view data, std::string &error, const WriteFaults &faults)
{
    const fs::path target(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) {
        error = systemReason(EISDIR);
        return false;
    }

    fs::path temporary;
    std::FILE *file = nullptr;
    for (unsigned attempt = 0; attempt < 16 && !file; ++attempt) {
        temporary = temporaryPathFor(target, attempt);
        file = std::fopen(temporary.c_str(), "wbx"); // never reuse an existing file
        if (!file && errno != EEXIST)
            break;
    }
    if (!file) {
        error = systemReason(errno);
        return false;
    }

    auto abandon = [&](int reason) {
        if (file)
            std::fclose(file);
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = systemReason(reason);
        return false;
    };

    const std::size_t allowed = std::min(data.size(), faults.failAfterBytes);
    if (std::fwrite(data.data(), 1, allowed, file) != allowed)
        return abandon(errno ? errno : EIO);
    if (allowed < data.size())
        return abandon(ENOSPC);
    if (faults.failFlush || std::fflush(file) != 0)
        return abandon(faults.failFlush ? EIO : errno);
    const int closed = std::fclose(file);
    file = nullptr;
    if (closed != 0)
        return abandon(errno);

    // A replaced file keeps its permissions; a new one gets the usual ones.
    if (fs::exists(target, ec)) {
        const fs::perms perms = fs::status(target, ec).permissions();
        if (!ec)
            fs::permissions(temporary, perms, ec);
    } else {
        fs::permissions(temporary,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read
                | fs::perms::others_read,
            ec);
    }

    if (faults.failRename)
        return abandon(EACCES);
    fs::rename(temporary, target, ec);
    if (ec)
        return abandon(ec.value());
    return true;
}

} // namespace trackfold
