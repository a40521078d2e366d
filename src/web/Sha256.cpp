#include "web/Sha256.h"

#include <openssl/evp.h>

namespace lumora {

struct Sha256::Context {
    EVP_MD_CTX* digest = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(digest); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) { EVP_DigestInit_ex(context_->digest, EVP_sha256(), nullptr); }

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes) { EVP_DigestUpdate(context_->digest, bytes.data(), bytes.size()); }

std::string Sha256::HexDigest() {
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_->digest, sum, &length);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[sum[i] >> 4];
        hex += kDigits[sum[i] & 15];
    }
    return hex;
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256 sum;
    sum.Update(bytes);
    return sum.HexDigest();
}

}  // namespace lumora
