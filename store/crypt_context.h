#pragma once
// The crypto of the logger's sealed live stream, over mbedTLS: AES-128-CBC without padding
// and HMAC-SHA1, both keyed with
//
//   key = first 16 bytes of SHA-1(IV || 16 zero bytes || pass phrase bytes)
//
// The CBC chain runs across every call on one context (mbedTLS advances the IV in place),
// so a connection's sealed blocks decrypt only in the order they were sent. Both sides of
// the wire use it: the live job decrypts, the stream listener encrypts.
//
// Like the block stream, the unit never throws: calls return 0 on success (verifyHmac: 0
// when the tags are equal) and print their own lines to standard error only.
#include "core/types.h"

#include <mbedtls/aes.h>
#include <mbedtls/md.h>

#include <initializer_list>

namespace vistra {

class CryptContext {
public:
    static constexpr int kBlockSize = 16;
    static constexpr int kIvSize = 16;
    static constexpr int kKeySize = 16;
    static constexpr int kHmacSize = 20;

    CryptContext() = default;
    // Frees the mbedTLS state when it is still set up.
    ~CryptContext();
    CryptContext(const CryptContext&) = delete;
    CryptContext& operator=(const CryptContext&) = delete;

    // Sets up AES and the SHA-1 digest with HMAC. 0, or -1 after an ERR line.
    int init();
    // Takes the sender's IV and derives the key for decrypting. 0 or 1.
    int setDecryptKey(const char* pass, int len, const u8 iv[kIvSize]);
    // Makes a fresh IV from the system's random source and derives the key for
    // encrypting; getIv() then gives the IV to send ahead of the first block. 0 or 1.
    int setEncryptKey(const char* pass, int len);
    // The IV: the one set last, advanced by every crypt call. Null before init.
    const u8* getIv() const;
    // CBC over len bytes (a multiple of 16) in the given direction; in and out may be
    // the same buffer. 0 or 1.
    int crypt(const u8* in, u8* out, int len, bool decrypt);
    // The HMAC's size (20), or -1 before init.
    int hmacSize() const;
    // HMAC-SHA1 of len bytes with the derived key into out (20 bytes). 0 or 1.
    int computeHmac(const u8* data, int len, u8* out);
    // 0 when mac is the HMAC of the data; non-zero when not; -1 when it cannot be
    // computed. All 20 bytes are compared whatever differs first.
    int verifyHmac(const u8* data, int len, const u8* mac);
    // Releases the mbedTLS state; init() may follow again. 0.
    int free();

    bool initialised() const { return isInitialised != 0; }

private:
    // The checks every operation starts with: no null argument (ERR "null ptr"), and
    // init() has run (ERR "aes init has not been run").
    bool ready(std::initializer_list<const void*> args) const;
    int deriveKey(const char* pass, int len);

    mbedtls_aes_context aes{};
    mbedtls_md_context_t md{};
    const mbedtls_md_info_t* digest = nullptr;
    u8 iv[kIvSize] = {};
    u8 key[kKeySize] = {};
    u32 isInitialised = 0;
};

} // namespace vistra
