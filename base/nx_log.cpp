#include "base/nx_log.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_dir_cursor.h"
#include "platform/station.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nxkit {

namespace {

bool write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

long long fd_size(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string resolve_name(const std::string& name) {
    if (name.empty())
        return path_part(exe_path(), part_drive | part_folder | part_name) + ".log";
    if (path_part(name, part_drive | part_folder).empty()) {
        std::string resolved = exe_dir() + name;
        if (path_part(name, part_ext).empty())
            resolved += ".log";
        return resolved;
    }
    return name;
}

// "<name>_yymmdd..." read as year (plus 2000), month and day; false for any other name.
bool backup_date(const std::string& stem, const std::string& name, nx_time& date) {
    std::string prefix = name + "_";
    if (stem.compare(0, prefix.size(), prefix) != 0)
        return false;
    int year = 0;
    int month = 0;
    int day = 0;
    if (std::sscanf(stem.c_str() + prefix.size(), "%2d%2d%2d", &year, &month, &day) != 3)
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    date = time_encode(year + 2000, month, day, 0, 0, 0, 0);
    return true;
}

} // namespace

nx_log::nx_log() = default;

nx_log::~nx_log() {
    close();
}

nx_log& nx_log::main() {
    static nx_log log;
    return log;
}

bool nx_log::open(const std::string& file_name, int max_size, int keep_days) {
    std::lock_guard guard(lock_);
    close_locked();
    return open_locked(file_name, max_size, keep_days);
}

bool nx_log::open_locked(const std::string& file_name, int max_size, int keep_days) {
    keep_days_ = keep_days;
    std::string resolved = resolve_name(file_name);
    struct stat st {};
    if (::stat(resolved.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0)
        ::chmod(resolved.c_str(), (st.st_mode & 07777) | S_IWUSR);
    max_size_ = max_size;
    int fd = ::open(resolved.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    fd_ = fd;
    file_name_ = resolved;
    return true;
}

void nx_log::close() {
    std::lock_guard guard(lock_);
    close_locked();
}

void nx_log::close_locked() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    file_name_.clear();
}

std::string nx_log::file_name() const {
    std::lock_guard guard(lock_);
    return file_name_;
}

void nx_log::err(const std::string& text) {
    write_line(" | ERR | ", text);
}
void nx_log::err(const char* text) {
    write_line(" | ERR | ", text != nullptr ? text : "");
}
void nx_log::war(const std::string& text) {
    write_line(" | WAR | ", text);
}
void nx_log::war(const char* text) {
    write_line(" | WAR | ", text != nullptr ? text : "");
}
bool nx_log::mes(const std::string& text) {
    return write_line(" | MES | ", text);
}
bool nx_log::mes(const char* text) {
    return write_line(" | MES | ", text != nullptr ? text : "");
}

void nx_log::set_clock(clock_fn clock) {
    std::lock_guard guard(lock_);
    clock_ = std::move(clock);
}

nx_time nx_log::now() const {
    return clock_ ? clock_() : time_now();
}

bool nx_log::write_line(const char* tag, const std::string& text) {
    std::lock_guard guard(lock_);
    if (fd_ < 0)
        return false;
    if (fd_size(fd_) > max_size_) {
        if (keep_days_ > 0)
            rotate();
        else
            trim();
        if (fd_ < 0)
            return false;
    }
    // The separator comes first, so the last line of the file has no terminator.
    std::string line = "\r\n" + time_format(now(), "%m.%d %H:%M:%S.%V") + tag + to_cp1251(text);
    // One write on a descriptor opened for appending: the line lands whole at the end, and
    // nothing waits in a buffer.
    return write_all(fd_, line);
}

bool nx_log::trim() {
    long long size = fd_size(fd_);
    if (size <= 0)
        return false;
    long long cut = size / 10;
    std::string kept(static_cast<size_t>(size - cut), '\0');
    size_t got = 0;
    while (got < kept.size()) {
        ssize_t n = ::pread(fd_, kept.data() + got, kept.size() - got,
                            static_cast<off_t>(cut) + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    // Move the kept bytes to the start and only then cut the file, so a crash in between leaves
    // the newest lines in place instead of an empty log. pwrite ignores its offset while the
    // descriptor appends, so that flag is off for the move.
    int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_APPEND) != 0)
        return false;
    size_t put = 0;
    bool ok = true;
    while (put < kept.size()) {
        ssize_t n = ::pwrite(fd_, kept.data() + put, kept.size() - put, static_cast<off_t>(put));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        put += static_cast<size_t>(n);
    }
    if (ok)
        ok = ::ftruncate(fd_, static_cast<off_t>(kept.size())) == 0;
    ::fcntl(fd_, F_SETFL, flags);
    return ok;
}

void nx_log::rotate() {
    const std::string file = file_name_;
    const int max_size = max_size_;
    const int keep_days = keep_days_;
    const std::string dir = path_part(file, part_drive | part_folder);
    const std::string name = path_part(file, part_name);
    const std::string ext = path_part(file, part_ext);
    const std::string backup = dir + "BACKUP_" + name + "/";
    const nx_time moment = now();

    make_dirs(backup);

    // Only names that read as dated backups are ever deleted.
    const nx_time limit = moment - keep_days;
    for (nx_dir_cursor c(backup, name + "*" + ext, false); c.next();) {
        nx_time date = 0;
        if (backup_date(path_part(c.name(), part_name), name, date) && date < limit)
            ::unlink(c.full_path().c_str());
    }

    close_locked();

    // Two rotations within one second must not overwrite the first backup.
    const std::string base = backup + name + time_format(moment, "_%y%m%d%H%M%S");
    std::string target = base + ext;
    for (int i = 2; file_exists(target); ++i)
        target = base + "_" + std::to_string(i) + ext;

    // Without a backup copy the log is not deleted; trimming keeps it within its limit instead.
    bool copied = copy_file(file, target);
    if (copied)
        ::unlink(file.c_str());
    if (open_locked(file, max_size, keep_days) && !copied)
        trim();
}

std::string logs_directory() {
    std::string dir = exe_dir() + "LOGS/";
    make_dirs(dir);
    return dir;
}

} // namespace nxkit
