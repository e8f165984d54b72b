#include "access/audit_log.h"

#include "base/files.h"
#include "base/nx_log.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nxkit {

namespace {

// Room for about 25,000 lines queued at once before record() has to grow the buffer.
constexpr std::size_t reserved_bytes = 2048 * 1024;

std::string errno_text(const std::string& path, int error) {
    return "Не удалось записать журнал действий " + path + ": " + std::strerror(error);
}

void put_field(std::string& out, std::string_view text) {
    auto size = static_cast<std::uint32_t>(text.size());
    out.append(reinterpret_cast<const char*>(&size), sizeof size);
    out.append(text);
}

std::string take_field(const std::string& in, std::size_t& at) {
    std::uint32_t size = 0;
    std::memcpy(&size, in.data() + at, sizeof size);
    at += sizeof size;
    std::string text = in.substr(at, size);
    at += size;
    return text;
}

// audit.pending sits beside audit.log.
std::string pending_path_of(const std::string& path) {
    return path.substr(0, path.rfind('/') + 1) + "audit.pending";
}

// Lines of audit.pending carry this in place of the chain value: they have none yet.
const char* const no_chain = "-";

} // namespace

audit_log::audit_log(std::string path, long long rotate_size)
    : path_(std::move(path)), pending_path_(pending_path_of(path_)), rotate_size_(rotate_size),
      clock_(time_now), busy_(true) {
    // Touched once here, so that a line never waits for the system to supply a fresh page.
    incoming_.resize(reserved_bytes);
    incoming_.clear();
    taken_.resize(reserved_bytes);
    taken_.clear();
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
    clock_ = std::move(clock);
}

void audit_log::set_rotate_size(long long size) {
    rotate_size_ = size;
}

void audit_log::record(std::string_view user, std::string_view role, std::string_view action,
                       std::string_view object) {
    // Read outside the lock: the local time takes the C library's own lock.
    nx_time now = clock_();
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = incoming_.empty();
        ++incoming_lines_;
        incoming_.append(reinterpret_cast<const char*>(&now), sizeof now);
        put_field(incoming_, user);
        put_field(incoming_, role);
        put_field(incoming_, action);
        put_field(incoming_, object);
    }
    // The worker takes the whole buffer: one wake-up per batch, not per line, so that a burst
    // of lines does not hand the processor to the worker between every two of them.
    if (first)
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
    idle_.wait(lock,
               [this] { return incoming_.empty() && !busy_ && (backlog_size_ == 0 || stuck_); });
}

std::size_t audit_log::waiting() {
    std::lock_guard lock(mutex_);
    return backlog_size_ + incoming_lines_;
}

std::string audit_log::take_failure() {
    std::lock_guard lock(mutex_);
    std::string text;
    text.swap(failure_);
    return text;
}

void audit_log::run() {
    // Below the interface thread: a line that wakes the worker must not hand it the processor
    // the caller runs on (the lines wait a little instead, on a busy machine).
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    // Lines an earlier run could not write go first.
    load_pending();
    bool written = backlog_.empty() || write_backlog();
    if (!written)
        keep_pending();
    std::unique_lock lock(mutex_);
    busy_ = false;
    stuck_ = !written;
    if (!written)
        failure_ = write_failure_;
    backlog_size_ = backlog_.size();
    idle_.notify_all();
    for (;;) {
        wake_.wait(
            lock, [this] { return stop_ || !incoming_.empty() || (backlog_size_ > 0 && !stuck_); });
        bool ending = stop_;
        taken_.swap(incoming_);
        incoming_lines_ = 0;
        busy_ = true;
        lock.unlock();
        std::size_t before = backlog_.size();
        decode(taken_);
        taken_.clear();
        bool added = backlog_.size() != before;
        written = write_backlog();
        if (!written && (added || !pending_stored_))
            keep_pending();
        else if (written && pending_stored_)
            keep_pending();
        lock.lock();
        busy_ = false;
        // Reported once when the lines get stuck, not again for every line that joins them.
        if (!written && !stuck_)
            failure_ = write_failure_;
        stuck_ = !written;
        backlog_size_ = backlog_.size();
        if (incoming_.empty())
            idle_.notify_all();
        if (ending && incoming_.empty())
            break;
    }
    lock.unlock();
    if (!backlog_.empty() && !pending_stored_)
        nx_log::main().err("журнал действий: " + std::to_string(backlog_.size()) +
                           " записей не сохранены ни в " + path_ + ", ни в " + pending_path_);
}

void audit_log::decode(const std::string& taken) {
    std::size_t at = 0;
    while (at + sizeof(nx_time) <= taken.size()) {
        line l;
        std::memcpy(&l.time, taken.data() + at, sizeof l.time);
        at += sizeof l.time;
        l.entry.time = audit_time_text(l.time);
        l.entry.user = take_field(taken, at);
        l.entry.role = take_field(taken, at);
        l.entry.action = take_field(taken, at);
        l.entry.object = take_field(taken, at);
        backlog_.push_back(std::move(l));
    }
}

bool audit_log::write_backlog() {
    while (!backlog_.empty()) {
        if (!write_line(backlog_.front()))
            return false;
        backlog_.pop_front();
    }
    return true;
}

void audit_log::keep_pending() {
    if (backlog_.empty()) {
        if (std::remove(pending_path_.c_str()) == 0 || errno == ENOENT)
            pending_stored_ = false;
        return;
    }
    std::string bytes;
    for (const line& l : backlog_)
        bytes += audit_stored_line(l.entry, no_chain);
    pending_stored_ = write_file_atomic(pending_path_, bytes);
    if (!pending_stored_) {
        std::string text = "Не удалось сохранить ожидающие записи журнала действий " +
                           pending_path_ + ": " + std::strerror(errno);
        std::lock_guard lock(mutex_);
        if (failure_.empty())
            failure_ = text;
    }
}

void audit_log::load_pending() {
    std::string bytes;
    if (!read_file(pending_path_, bytes))
        return;
    pending_stored_ = true;
    for (audit_entry& e : parse_audit_text(bytes)) {
        line l;
        l.time = audit_entry_time(e);
        if (l.time == 0)
            l.time = time_now();
        e.chain.clear();
        l.entry = std::move(e);
        backlog_.push_back(std::move(l));
    }
}

bool audit_log::append(const std::string& bytes) {
    int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        write_failure_ = errno_text(path_, errno);
        return false;
    }
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    int error = errno;
    ::close(fd);
    if (n != static_cast<ssize_t>(bytes.size())) {
        write_failure_ = errno_text(path_, n < 0 ? error : ENOSPC);
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

bool audit_log::write_line(const line& l) {
    if (!previous_known_) {
        std::string bytes;
        std::string last = read_file(path_, bytes) ? last_chain_value(bytes) : std::string();
        previous_ = last.empty() ? audit_chain_start() : last;
        previous_known_ = true;
    }
    long long limit = rotate_size_;
    if (limit > 0 && file_size(path_) > limit)
        rotate(l.time);
    std::string chain = audit_chain_next(previous_, audit_stored_body(l.entry));
    if (!append(audit_stored_line(l.entry, chain)))
        return false;
    previous_ = chain;
    return true;
}

} // namespace nxkit
