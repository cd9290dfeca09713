#include "engine/payload_digest.h"

#include <vector>

#include "common/hresult.h"

namespace {

// One provider for the whole run: acquiring one loads the provider's library
// and reads its registration, which costs more than hashing a payload.
HCRYPTPROV Sha256Provider() noexcept
{
    static const CCryptContext provider = [] {
        HCRYPTPROV acquired = 0;
        return CCryptContext(
            CryptAcquireContextW(&acquired, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)
                ? acquired
                : 0);
    }();
    return provider.Get();
}

} // namespace

CSha256::CSha256() noexcept
{
    const HCRYPTPROV provider = Sha256Provider();
    HCRYPTHASH hash = 0;
    if (provider && CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        m_hash.Reset(hash);
    }
}

bool CSha256::Update(const void* data, DWORD size) noexcept
{
    return m_hash && CryptHashData(m_hash.Get(), static_cast<const BYTE*>(data), size, 0) != FALSE;
}

bool CSha256::Finish(PayloadDigest& digest) noexcept
{
    DWORD size = static_cast<DWORD>(digest.size());
    return m_hash && CryptGetHashParam(m_hash.Get(), HP_HASHVAL, digest.data(), &size, 0) && size == digest.size();
}

HRESULT DigestOfFile(const std::wstring& path, PayloadDigest& digest) noexcept
{
    const CUniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        return HResultFromLastError();
    }
    CSha256 sha;
    if (!sha.Ready()) {
        return E_FAIL;
    }
    std::vector<BYTE> buffer;
    try {
        buffer.resize(1 << 16);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            return HResultFromLastError();
        }
        if (read == 0) {
            break;
        }
        if (!sha.Update(buffer.data(), read)) {
            return E_FAIL;
        }
    }
    return sha.Finish(digest) ? S_OK : E_FAIL;
}
