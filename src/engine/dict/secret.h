// Secrets a dictionary connection must be able to use again, unlike the users' passwords,
// which are only ever checked against a hash: the password a link logs in to another
// dictionary with, and a connection's own password while links may log in as its user.
//
// A link's password is kept sealed (libsodium's XChaCha20-Poly1305) with a key of its
// dictionary, bound to the link's name so a sealed value cannot be moved to another link.
// The key lies in the same file, so the seal keeps the password out of every dump, listing
// and copied text, not from someone who can read the whole file: that is guarded by the
// file's permissions. In memory, secrets live in libsodium's guarded pages (locked, wiped
// when freed) and are handed out as views only for the moment of a log-in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace varelum::engine {

// Starts libsodium once per process. Throws VE_INTERNAL_ERROR when it cannot start.
void start_sodium();

// A password on its way in (from a caller's buffer to a hash or a log-in): its whole buffer is
// wiped (sodium_memzero) when it is destroyed, assigned over or moved from, and it is sized
// once, so that growing never leaves a copy behind in memory it let go. Move-only.
class WipedString {
  public:
    WipedString() = default;
    explicit WipedString(std::string_view text);
    ~WipedString() { wipe(); }
    WipedString(WipedString&& other) noexcept;
    WipedString& operator=(WipedString&& other) noexcept;
    WipedString(const WipedString&) = delete;
    WipedString& operator=(const WipedString&) = delete;
    std::string_view view() const { return text_; }
    bool empty() const { return text_.empty(); }

  private:
    void wipe() noexcept;
    std::string text_;
};

// A password given as the engine's 8-bit text (Windows-1252), as UTF-8, with no copy left
// behind on the way.
WipedString password_from_ansi(std::string_view bytes);

// A text in guarded memory, wiped when freed. Never printed, never part of an error.
class SecretText {
  public:
    explicit SecretText(std::string_view text);
    ~SecretText();
    SecretText(SecretText&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    SecretText(const SecretText&) = delete;
    SecretText& operator=(const SecretText&) = delete;
    SecretText& operator=(SecretText&&) = delete;
    std::string_view view() const { return {data_, size_}; }

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

// size random bytes as hex text (ids that must not be guessed or repeat).
std::string random_hex(std::size_t size);
// A new random key for sealing, as hex text.
std::string new_seal_key();
// plain sealed with key (hex, from new_seal_key) and bound to context: hex text.
std::string seal_secret(std::string_view key, std::string_view plain, std::string_view context);
// The plain text of a sealed value. Throws VE_TABLE_CORRUPT when the value, its key or its
// context do not fit (a damaged or tampered dictionary).
SecretText open_secret(std::string_view key, std::string_view sealed, std::string_view context);

}  // namespace varelum::engine
