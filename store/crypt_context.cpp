#include "store/crypt_context.h"

#include "core/report.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace vistra {

CryptContext::~CryptContext()
{
    if (isInitialised)
        free();
}

bool CryptContext::ready(std::initializer_list<const void*> args) const
{
    for (const void* arg : args) {
        if (!arg) {
            streamLog(Level::Error, "null ptr");
            return false;
        }
    }
    if (!isInitialised) {
        streamLog(Level::Error, "aes init has not been run");
        return false;
    }
    return true;
}

int CryptContext::init()
{
    if (isInitialised) // a second set-up would leak the first one's digest state
        free();
    mbedtls_aes_init(&aes);
    mbedtls_md_init(&md);
    digest = mbedtls_md_info_from_string("SHA1");
    if (!digest) {
        streamLog(Level::Error, "Message Digest not found\n");
        return -1;
    }
    if (mbedtls_md_setup(&md, digest, 1) != 0) {
        streamLog(Level::Error, "mbedtls_md_setup failed\n");
        mbedtls_md_free(&md);
        return -1;
    }
    isInitialised = 1;
    return 0;
}

int CryptContext::deriveKey(const char* pass, int len)
{
    static constexpr u8 kZeros[16] = {};
    u8 hash[kHmacSize];
    if (mbedtls_md_starts(&md) != 0 || mbedtls_md_update(&md, iv, kIvSize) != 0 ||
        mbedtls_md_update(&md, kZeros, sizeof kZeros) != 0 ||
        mbedtls_md_update(&md, reinterpret_cast<const u8*>(pass), static_cast<size_t>(len)) != 0 ||
        mbedtls_md_finish(&md, hash) != 0) {
        streamLog(Level::Error, "Key derivation failed");
        return 1;
    }
    std::memcpy(key, hash, kKeySize);
    return 0;
}

int CryptContext::setDecryptKey(const char* pass, int len, const u8 newIv[kIvSize])
{
    if (!ready({pass, newIv}))
        return 1;
    if (len < 0) {
        streamLog(Level::Error, "Invalid key length: %d", len);
        return 1;
    }
    std::memcpy(iv, newIv, kIvSize);
    if (deriveKey(pass, len) != 0 || mbedtls_aes_setkey_dec(&aes, key, kKeySize * 8) != 0)
        return 1;
    return 0;
}

int CryptContext::setEncryptKey(const char* pass, int len)
{
    if (!ready({pass}))
        return 1;
    if (len < 0) {
        streamLog(Level::Error, "Invalid key length: %d", len);
        return 1;
    }
    // The IV need not be secret, but it must not repeat: two connections with one key and
    // one IV would start the same CBC chain. The system's random source gives that.
    if (getrandom(iv, kIvSize, 0) != kIvSize) {
        streamLog(Level::Error, "No random IV: %s", std::strerror(errno));
        return 1;
    }
    if (deriveKey(pass, len) != 0 || mbedtls_aes_setkey_enc(&aes, key, kKeySize * 8) != 0)
        return 1;
    return 0;
}

const u8* CryptContext::getIv() const
{
    return isInitialised ? iv : nullptr;
}

int CryptContext::crypt(const u8* in, u8* out, int len, bool decrypt)
{
    if (!ready({in, out}))
        return 1;
    if (len < 0 || len % kBlockSize != 0) {
        streamLog(Level::Error, "Length: %d is not divisible by 16", len);
        return 1;
    }
    if (mbedtls_aes_crypt_cbc(&aes, decrypt ? MBEDTLS_AES_DECRYPT : MBEDTLS_AES_ENCRYPT, static_cast<size_t>(len), iv,
                              in, out) != 0) {
        streamLog(Level::Error, "Error encrypting data");
        return 1;
    }
    return 0;
}

int CryptContext::hmacSize() const
{
    if (!isInitialised) {
        streamLog(Level::Error, "aes init has not been run");
        return -1;
    }
    return mbedtls_md_get_size(digest);
}

int CryptContext::computeHmac(const u8* data, int len, u8* out)
{
    // An empty block has a tag too; its data pointer may be anything.
    if (!ready({len == 0 ? out : data, out}))
        return 1;
    if (len < 0) {
        streamLog(Level::Error, "Invalid data length: %d", len);
        return 1;
    }
    if (mbedtls_md_hmac_starts(&md, key, kKeySize) != 0) {
        streamLog(Level::Error, "Failed to initialize HMAC computation");
        return 1;
    }
    if (mbedtls_md_hmac_update(&md, data, static_cast<size_t>(len)) != 0) {
        streamLog(Level::Error, "Failed to update HMAC");
        return 1;
    }
    if (mbedtls_md_hmac_finish(&md, out) != 0) {
        streamLog(Level::Error, "Failed to store HMAC");
        return 1;
    }
    return 0;
}

int CryptContext::verifyHmac(const u8* data, int len, const u8* mac)
{
    if (!ready({len == 0 ? mac : data, mac}))
        return -1;
    u8 expected[kHmacSize];
    if (computeHmac(data, len, expected) != 0) {
        streamLog(Level::Error, "HMAC verification failed");
        return -1;
    }
    // No early exit: the time taken must not tell how many leading bytes were right.
    u8 difference = 0;
    for (int i = 0; i < kHmacSize; ++i)
        difference |= static_cast<u8>(expected[i] ^ mac[i]);
    return difference;
}

int CryptContext::free()
{
    mbedtls_aes_free(&aes);
    mbedtls_md_free(&md);
    isInitialised = 0;
    return 0;
}

} // namespace vistra
