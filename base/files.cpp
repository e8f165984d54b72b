#include "base/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nxkit {

namespace {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

struct dir_closer {
    void operator()(DIR* d) const { closedir(d); }
};
using dir_ptr = std::unique_ptr<DIR, dir_closer>;

bool has_wildcard(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

// Reads up to `size` bytes, retrying short reads; the count read.
size_t read_chunk(std::FILE* f, char* buf, size_t size) {
    size_t done = 0;
    while (done < size) {
        size_t n = std::fread(buf + done, 1, size - done, f);
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

} // namespace

std::string path_part(const std::string& path, int selector) {
    auto slash = path.rfind('/');
    size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    auto dot = path.rfind('.');
    size_t ext_start = dot == std::string::npos || dot < name_start ? path.size() : dot;
    std::string result;
    // The drive part is always empty here.
    if ((selector & part_folder) != 0)
        result += path.substr(0, name_start);
    if ((selector & part_name) != 0)
        result += path.substr(name_start, ext_start - name_start);
    if ((selector & part_ext) != 0)
        result += path.substr(ext_start);
    return result;
}

bool make_dirs(const std::string& folder) {
    std::string dir = folder;
    if (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    if (dir == path_part(dir, part_drive | part_folder))
        return true; // a root
    if (dir_exists(dir))
        return true;
    if (!make_dirs(path_part(dir, part_drive | part_folder)))
        return false;
    if (::mkdir(dir.c_str(), 0777) == 0)
        return true;
    // Somebody else may have made it in the meantime.
    return errno == EEXIST && dir_exists(dir);
}

bool dir_exists(const std::string& folder) {
    struct stat st {};
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool wildcard_match(const std::string& pattern, const std::string& name) {
    if (pattern == "*.*")
        return true;
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_NOESCAPE) == 0;
}

bool file_exists(const std::string& pattern) {
    std::string name = path_part(pattern, part_name | part_ext);
    if (name.empty())
        return false;
    if (!has_wildcard(name)) {
        struct stat st {};
        return ::stat(pattern.c_str(), &st) == 0;
    }
    std::string folder = path_part(pattern, part_drive | part_folder);
    dir_ptr dir(::opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir)
        return false;
    while (dirent* e = ::readdir(dir.get())) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        if (wildcard_match(name, e->d_name))
            return true;
    }
    return false;
}

long long file_size(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

long long file_size(std::FILE* stream) {
    if (stream == nullptr)
        return -1;
    // Bytes still in the stream's buffer belong to the file too.
    std::fflush(stream);
    struct stat st {};
    if (::fstat(::fileno(stream), &st) != 0)
        return -1;
    return static_cast<long long>(st.st_size);
}

bool copy_file(const std::string& from, const std::string& to) {
    file_ptr in(std::fopen(from.c_str(), "rb"));
    if (!in)
        return false;
    file_ptr out(std::fopen(to.c_str(), "wb"));
    if (!out)
        return false;
    std::vector<char> buf(1000000);
    size_t n = 0;
    while ((n = read_chunk(in.get(), buf.data(), buf.size())) > 0) {
        if (std::fwrite(buf.data(), 1, n, out.get()) != n)
            return false;
    }
    // A copy cut short by a read or write error is not a copy.
    if (std::ferror(in.get()) != 0)
        return false;
    return std::fclose(out.release()) == 0;
}

bool files_equal(const std::string& a, const std::string& b) {
    file_ptr fa(std::fopen(a.c_str(), "rb"));
    file_ptr fb(std::fopen(b.c_str(), "rb"));
    if (!fa || !fb)
        return false;
    std::vector<char> ba(10000);
    std::vector<char> bb(10000);
    for (;;) {
        size_t na = read_chunk(fa.get(), ba.data(), ba.size());
        size_t nb = read_chunk(fb.get(), bb.data(), bb.size());
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0)
            return false;
        if (na == 0)
            return std::ferror(fa.get()) == 0 && std::ferror(fb.get()) == 0;
    }
}

bool read_file(const std::string& name, std::string& bytes) {
    bytes.clear();
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr)
        return false;
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

bool write_file_atomic(const std::string& name, const std::string& bytes, bool durable) {
    std::string temp = name + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int saved = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = saved;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    // The new file keeps the old one's permissions; a new file gets those of an editable one.
    struct stat old {};
    ::fchmod(fd, ::stat(name.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    if ((durable && ::fsync(fd) != 0) || ::close(fd) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    }
    if (std::rename(temp.c_str(), name.c_str()) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    }
    return true;
}

bool copy_file_atomic(const std::string& from, const std::string& to) {
    std::string bytes;
    return read_file(from, bytes) && write_file_atomic(to, bytes, true);
}

std::vector<std::string> atomic_write_leftovers(const std::string& name) {
    std::vector<std::string> found;
    std::string folder = path_part(name, part_drive | part_folder);
    std::string pattern = path_part(name, part_name | part_ext) + ".??????";
    dir_ptr dir(::opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir)
        return found;
    while (dirent* e = ::readdir(dir.get())) {
        std::string path = folder + e->d_name;
        struct stat st {};
        if (wildcard_match(pattern, e->d_name) && ::stat(path.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode))
            found.push_back(path);
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace nxkit
