// SHA-256 through nettle.
#include "tools/inspect/sha256.h"

#include <nettle/sha2.h> // sha256_init, sha256_update, sha256_digest

#include <cstdint> // uint8_t
#include <cstdio>  // snprintf

std::string Sha256Hex(const void* data, size_t size) {
    sha256_ctx context;
    sha256_init(&context);
    if (size > 0) {
        sha256_update(&context, size, static_cast<const uint8_t*>(data));
    }
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context, sizeof digest, digest);
    std::string hex;
    char pair[3];
    for (const uint8_t byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned>(byte));
        hex += pair;
    }
    return hex;
}
