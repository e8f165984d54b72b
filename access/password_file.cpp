#include "access/password_file.h"

#include "base/files.h"
#include "base/nx_exception.h"
#include "platform/station.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <filesystem>
#include <vector>

namespace nxkit {

namespace {

const char* const scheme = "pbkdf2-sha256";
constexpr std::size_t salt_size = 16;
constexpr std::size_t hash_size = 32;
// Bounds of a record's rounds: below, the file was not made here; above, a check would hang.
constexpr long min_iterations = 1000;
constexpr long max_iterations = 100000000;

std::string to_hex(const unsigned char* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

bool from_hex(const std::string& text, std::vector<unsigned char>& out) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    if (text.empty() || text.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = digit(text[i]);
        int lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return true;
}

std::vector<unsigned char> derive(const std::string& password, const unsigned char* salt,
                                  std::size_t salt_length, int iterations) {
    std::vector<unsigned char> key(hash_size);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt,
                          static_cast<int>(salt_length), iterations, EVP_sha256(),
                          static_cast<int>(key.size()), key.data()) != 1)
        throw nx_exception("ошибка вычисления хеша пароля");
    return key;
}

struct record {
    int iterations = 0;
    std::vector<unsigned char> salt;
    std::vector<unsigned char> hash;
};

bool parse(const std::string& text, record& out) {
    std::string line = text;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        line.resize(line.size() - 2);
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        std::size_t at = line.find('$', from);
        parts.push_back(line.substr(from, at - from));
        if (at == std::string::npos)
            break;
        from = at + 1;
    }
    if (parts.size() != 4 || parts[0] != scheme)
        return false;
    const std::string& rounds = parts[1];
    if (rounds.empty() || rounds.size() > 9 ||
        rounds.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long n = std::stol(rounds);
    if (n < min_iterations || n > max_iterations)
        return false;
    out.iterations = static_cast<int>(n);
    return from_hex(parts[2], out.salt) && out.salt.size() >= salt_size &&
           from_hex(parts[3], out.hash) && out.hash.size() == hash_size;
}

} // namespace

std::string password_file_path() {
    return exe_dir() + "engineer.pwd";
}

std::string make_password_record(const std::string& password, int iterations) {
    unsigned char salt[salt_size];
    if (RAND_bytes(salt, sizeof salt) != 1)
        throw nx_exception("нет случайных чисел для соли пароля");
    std::vector<unsigned char> key = derive(password, salt, sizeof salt, iterations);
    std::string text = std::string(scheme) + "$" + std::to_string(iterations) + "$" +
                       to_hex(salt, sizeof salt) + "$" + to_hex(key.data(), key.size()) + "\r\n";
    OPENSSL_cleanse(key.data(), key.size());
    return text;
}

bool password_record_valid(const std::string& text) {
    record r;
    return parse(text, r);
}

password_check check_password(const std::string& text, const std::string& password) {
    record r;
    if (!parse(text, r))
        return password_check::damaged;
    std::vector<unsigned char> key = derive(password, r.salt.data(), r.salt.size(), r.iterations);
    bool same = CRYPTO_memcmp(key.data(), r.hash.data(), hash_size) == 0;
    OPENSSL_cleanse(key.data(), key.size());
    return same ? password_check::match : password_check::mismatch;
}

password_check check_password_file(const std::string& path, const std::string& password) {
    std::string text;
    if (!read_file(path, text))
        return password_check::damaged;
    return check_password(text, password);
}

void write_password_file(const std::string& path, const std::string& password, int iterations) {
    std::string text = make_password_record(password, iterations);
    if (!write_file_atomic(path, text))
        throw nx_exception("Не удалось записать файл пароля " + path);
    std::error_code ec;
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
        std::filesystem::perm_options::replace, ec);
}

} // namespace nxkit
