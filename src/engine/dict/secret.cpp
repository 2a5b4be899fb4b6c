// Sealed and guarded secrets of dictionary links (see secret.h).
#include "engine/dict/secret.h"

#include <sodium.h>

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "engine/core/error.h"
#include "engine/format/code_page.h"
#include "varelum_engine.h"

namespace varelum::engine {
namespace {

constexpr std::size_t kKeyBytes = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr std::size_t kNonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t kTagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;

std::string to_hex(const unsigned char* bytes, std::size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.pop_back();
    return hex;
}

// The bytes of a hex text, or false when it is none.
bool from_hex(std::string_view hex, std::vector<unsigned char>& bytes) {
    bytes.assign(hex.size() / 2, 0);
    std::size_t size = 0;
    return sodium_hex2bin(bytes.data(), bytes.size(), hex.data(), hex.size(), nullptr, &size,
                          nullptr) == 0 &&
           size == bytes.size() && hex.size() % 2 == 0;
}

// The key's bytes in guarded memory for the moment of one seal or open.
class KeyBytes {
  public:
    explicit KeyBytes(std::string_view hex) {
        key_ = static_cast<unsigned char*>(sodium_malloc(kKeyBytes));
        if (key_ == nullptr) {
            throw std::bad_alloc();
        }
        std::size_t size = 0;
        if (sodium_hex2bin(key_, kKeyBytes, hex.data(), hex.size(), nullptr, &size, nullptr) != 0 ||
            size != kKeyBytes) {
            sodium_free(key_);
            fail(VE_TABLE_CORRUPT, "the dictionary's key for link passwords is damaged");
        }
    }
    ~KeyBytes() { sodium_free(key_); }
    KeyBytes(const KeyBytes&) = delete;
    KeyBytes& operator=(const KeyBytes&) = delete;
    const unsigned char* get() const { return key_; }

  private:
    unsigned char* key_ = nullptr;
};

const unsigned char* bytes_of(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

void start_sodium() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0) {
            fail(VE_INTERNAL_ERROR, "the cryptography library cannot start");
        }
    });
}

WipedString::WipedString(std::string_view text) {
    text_.reserve(text.size());
    text_.append(text);
}

WipedString::WipedString(WipedString&& other) noexcept : text_(std::move(other.text_)) {
    other.wipe();  // a short text was copied out of its own buffer, not taken
}

WipedString& WipedString::operator=(WipedString&& other) noexcept {
    wipe();
    text_ = std::move(other.text_);
    other.wipe();
    return *this;
}

void WipedString::wipe() noexcept {
    sodium_memzero(text_.data(), text_.capacity());
    text_.clear();
}

WipedString password_from_ansi(std::string_view bytes) {
    WipedString text;
    std::string utf8;
    utf8.reserve(bytes.size() * 3);  // the most a Windows-1252 byte takes in UTF-8
    for (char c : bytes) {
        const char16_t unit =
            format::byte_to_utf16(format::CodePage::Ansi1252, static_cast<std::uint8_t>(c));
        if (unit < 0x80) {
            utf8.push_back(static_cast<char>(unit));
        } else if (unit < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (unit >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xE0 | (unit >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
        }
    }
    text = WipedString(utf8);
    sodium_memzero(utf8.data(), utf8.capacity());
    return text;
}

SecretText::SecretText(std::string_view text) : size_(text.size()) {
    start_sodium();
    // One byte more, so that an empty secret has memory of its own too.
    data_ = static_cast<char*>(sodium_malloc(size_ + 1));
    if (data_ == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(data_, text.data(), size_);
    data_[size_] = '\0';
}

SecretText::~SecretText() {
    sodium_free(data_);  // wipes the pages before it frees them
}

std::string random_hex(std::size_t size) {
    start_sodium();
    std::vector<unsigned char> bytes(size);
    randombytes_buf(bytes.data(), bytes.size());
    return to_hex(bytes.data(), bytes.size());
}

std::string new_seal_key() {
    start_sodium();
    unsigned char key[kKeyBytes];
    crypto_aead_xchacha20poly1305_ietf_keygen(key);
    std::string hex = to_hex(key, sizeof key);
    sodium_memzero(key, sizeof key);
    return hex;
}

std::string seal_secret(std::string_view key, std::string_view plain, std::string_view context) {
    start_sodium();
    KeyBytes key_bytes(key);
    std::vector<unsigned char> sealed(kNonceBytes + plain.size() + kTagBytes);
    randombytes_buf(sealed.data(), kNonceBytes);
    unsigned long long length = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        sealed.data() + kNonceBytes, &length, bytes_of(plain), plain.size(), bytes_of(context),
        context.size(), nullptr, sealed.data(), key_bytes.get());
    return to_hex(sealed.data(), kNonceBytes + static_cast<std::size_t>(length));
}

SecretText open_secret(std::string_view key, std::string_view sealed, std::string_view context) {
    start_sodium();
    KeyBytes key_bytes(key);
    std::vector<unsigned char> bytes;
    if (!from_hex(sealed, bytes) || bytes.size() < kNonceBytes + kTagBytes) {
        fail(VE_TABLE_CORRUPT, "a link's sealed password is damaged");
    }
    const std::size_t size = bytes.size() - kNonceBytes - kTagBytes;
    auto* plain = static_cast<unsigned char*>(sodium_malloc(size + 1));
    if (plain == nullptr) {
        throw std::bad_alloc();
    }
    unsigned long long length = 0;
    const int rc = crypto_aead_xchacha20poly1305_ietf_decrypt(
        plain, &length, nullptr, bytes.data() + kNonceBytes, bytes.size() - kNonceBytes,
        bytes_of(context), context.size(), bytes.data(), key_bytes.get());
    if (rc != 0) {
        sodium_free(plain);
        fail(VE_TABLE_CORRUPT, "a link's sealed password does not open with its key");
    }
    SecretText text(std::string_view(reinterpret_cast<char*>(plain), length));
    sodium_free(plain);
    return text;
}

}  // namespace varelum::engine
