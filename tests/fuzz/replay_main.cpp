// SPDX-License-Identifier: MIT
// Runs the fuzz target on files, for builds without libFuzzer:
//   trackfold-fuzz-replay DIR_OR_FILE...
// Folders are walked recursively. A violated invariant aborts, naming nothing
// but the file announced just before; the exit status is 1 when a file could
// not be read or no file was found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

bool runFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path.string() << '\n';
        return false;
    }
    const std::vector<char> bytes(
        (std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Announce the file first so that an abort names it.
    std::cerr << "replay: " << path.string() << " (" << bytes.size() << " bytes)\n";
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " DIR_OR_FILE...\n";
        return 2;
    }
    namespace fs = std::filesystem;
    std::size_t files = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<fs::path> found;
            for (const auto &entry : fs::recursive_directory_iterator(arg))
                if (entry.is_regular_file())
                    found.push_back(entry.path());
            std::sort(found.begin(), found.end());
            for (const auto &p : found) {
                ok = runFile(p) && ok;
                ++files;
            }
        } else {
            ok = runFile(arg) && ok;
            ++files;
        }
    }
    std::cout << "replayed " << files << " file(s)\n";
    return ok && files > 0 ? 0 : 1;
}
