#include "access/audit_log.h"

#include "access/audit_chain.h"
#include "base/files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nxkit {

namespace {

std::string errno_text(const std::string& path, int error) {
    return "Не удалось записать журнал действий " + path + ": " + std::strerror(error);
}

} // namespace

audit_log::audit_log(std::string path, long long rotate_size)
    : path_(std::move(path)), rotate_size_(rotate_size), clock_(time_now) {
    worker_ = std::thread([this] { run(); });
}

audit_log::~audit_log() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void audit_log::set_clock(std::function<nx_time()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

void audit_log::set_rotate_size(long long size) {
    std::lock_guard lock(mutex_);
    rotate_size_ = size;
}

void audit_log::record(const std::string& user, const std::string& role, const std::string& action,
                       const std::string& object) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({clock_(), user, role, action, object});
    }
    wake_.notify_one();
}

bool audit_log::writable() {
    {
        std::lock_guard lock(mutex_);
        if (stuck_) {
            // Try the stuck lines again before saying yes.
            stuck_ = false;
            wake_.notify_one();
        }
    }
    flush();
    std::lock_guard lock(mutex_);
    if (stuck_)
        return false;
    int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        failure_ = errno_text(path_, errno);
        return false;
    }
    ::close(fd);
    return true;
}

void audit_log::flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return (queue_.empty() || stuck_) && !busy_; });
}

std::string audit_log::take_failure() {
    std::lock_guard lock(mutex_);
    std::string text;
    text.swap(failure_);
    return text;
}

void audit_log::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || (!queue_.empty() && !stuck_); });
        if (queue_.empty() || stuck_) {
            if (stop_)
                break;
            continue;
        }
        pending line = queue_.front();
        busy_ = true;
        lock.unlock();
        bool written = write_front(line);
        lock.lock();
        busy_ = false;
        if (written) {
            queue_.pop_front();
        } else {
            // Kept for the next try; the caller hears of it through take_failure/writable.
            stuck_ = true;
            if (stop_)
                break;
        }
        if (queue_.empty() || stuck_)
            idle_.notify_all();
    }
    idle_.notify_all();
}

bool audit_log::append(const std::string& bytes) {
    int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::lock_guard lock(mutex_);
        failure_ = errno_text(path_, errno);
        return false;
    }
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    int error = errno;
    ::close(fd);
    if (n != static_cast<ssize_t>(bytes.size())) {
        std::lock_guard lock(mutex_);
        failure_ = errno_text(path_, n < 0 ? error : ENOSPC);
        return false;
    }
    return true;
}

void audit_log::rotate(nx_time now) {
    std::string folder = path_.substr(0, path_.rfind('/') + 1);
    std::string stem = "audit_" + time_format(now, "%Y%m%d%H%M%S");
    std::string name = stem + ".log";
    for (int n = 2; file_exists(folder + name); ++n)
        name = stem + "_" + std::to_string(n) + ".log";
    if (::rename(path_.c_str(), (folder + name).c_str()) != 0)
        return; // the file only grows on; the chain is whole either way
    audit_entry first;
    first.time = audit_time_text(now);
    first.user = "-";
    first.role = "-";
    first.action = audit_continuation;
    first.object = name + " " + previous_;
    std::string chain = audit_chain_next(previous_, audit_stored_body(first));
    if (append(audit_stored_line(first, chain)))
        previous_ = chain;
}

bool audit_log::write_front(const pending& line) {
    if (!previous_known_) {
        std::string bytes;
        std::string last = read_file(path_, bytes) ? last_chain_value(bytes) : std::string();
        previous_ = last.empty() ? audit_chain_start() : last;
        previous_known_ = true;
    }
    long long limit = 0;
    {
        std::lock_guard lock(mutex_);
        limit = rotate_size_;
    }
    if (limit > 0 && file_size(path_) > limit)
        rotate(line.time);
    audit_entry e{audit_time_text(line.time), line.user, line.role, line.action, line.object, {}};
    std::string chain = audit_chain_next(previous_, audit_stored_body(e));
    if (!append(audit_stored_line(e, chain)))
        return false;
    previous_ = chain;
    return true;
}

} // namespace nxkit
