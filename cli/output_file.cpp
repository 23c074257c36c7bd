#include "output_file.h"

#include <cerrno>
#include <filesystem>

#include "system_error.h"
#include "text.h"

namespace fs = std::filesystem;

namespace orvanta {

namespace {

bool same_file(const std::string& a, const std::string& b)
{
    std::error_code ignored;
    return !b.empty() && fs::equivalent(a, b, ignored);
}

bool same_name(const std::string& a, const std::string& b)
{
    std::error_code ignored;
    return !b.empty() && fs::absolute(a, ignored).lexically_normal() ==
                             fs::absolute(b, ignored).lexically_normal();
}

}  // namespace

OutputFile::~OutputFile()
{
    if (file_)
        std::fclose(file_);
    if (!temporary_.empty())
        std::remove(temporary_.c_str());
}

std::string OutputFile::prepare(const std::string& path, const std::vector<std::string>& keep,
                                const std::string& link)
{
    const std::string shown = printable(path);
    std::error_code error;
    if (same_name(path, link))
        return shown + " is the virtual line's link; the payload cannot go there";
    fs::file_status status = fs::status(path, error);
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status))
            return shown + " is not a regular file; not writing the payload over it";
        for (const std::string& other : keep)
            if (same_file(path, other))
                return shown + " is " + printable(other) +
                       " itself; not writing the payload over it";
        // The payload takes the name through a rename, which would part this name from the
        // file's other names: they would keep the old bytes.
        const std::uintmax_t links = fs::hard_link_count(path, error);
        if (!error && links > 1)
            return shown + " has " + std::to_string(links) +
                   " hard links; not writing the payload over it, which would part them";
    }
    // A link to a file stays a link: the file it points to gets the payload.
    fs::path target = fs::is_symlink(fs::symlink_status(path, error)) && fs::exists(status)
                          ? fs::canonical(path, error)
                          : fs::path(path);
    fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (!fs::is_directory(folder, error))
        return "cannot write " + shown + ": the folder " + printable(folder.string()) +
               " does not exist";

    const std::string stem = (folder / ("." + target.filename().string() + ".orvanta-")).string();
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        temporary_ = stem + std::to_string(attempt) + ".part";
        file_ = create_new_file(temporary_, fs::exists(status) ? target.string() : std::string());
        if (!file_ && errno != EEXIST) {
            temporary_.clear();
            return "cannot write " + shown + ": " + errno_error(errno).text;
        }
    }
    if (!file_) {
        temporary_.clear();
        return "cannot write " + shown + ": no free name for a temporary file beside it";
    }
    target_ = target.string();
    return {};
}

std::string OutputFile::commit(const std::vector<std::uint8_t>& bytes)
{
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    // Closing flushes the last bytes: its failure is a failed write too.
    written = std::fclose(file_) == 0 && written;
    const int reason = errno;
    file_ = nullptr;
    if (!written)
        return "cannot write " + printable(target_) + ": " + errno_error(reason).text;
    std::error_code error;
    fs::rename(temporary_, target_, error);
    if (error)
        return "cannot write " + printable(target_) + ": " + error.message();
    temporary_.clear();
    return {};
}

}  // namespace orvanta
