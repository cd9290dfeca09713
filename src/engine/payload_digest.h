#pragma once
// SHA-256 with Windows' own cryptography (CryptoAPI), to check each expanded
// payload, and each file put in place, against the digest the build compiled
// into the catalogue.

#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "plan/catalog.h"

// TRUST_E_BAD_DIGEST: a payload or a placed file is not what the build made.
inline constexpr HRESULT PayloadDigestMismatch = static_cast<HRESULT>(0x80096010);

class CSha256 {
public:
    CSha256() noexcept;
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    // False when the system could not provide SHA-256; every later call then fails.
    [[nodiscard]] bool Ready() const noexcept { return static_cast<bool>(m_hash); }
    [[nodiscard]] bool Update(const void* data, DWORD size) noexcept;
    // The digest of everything passed to Update; no Update may follow.
    [[nodiscard]] bool Finish(PayloadDigest& digest) noexcept;

private:
    CCryptHash m_hash;
};

// The digest of a file's whole content, read from its start. S_OK, or the
// failure to open or read it (E_FAIL when SHA-256 is not available).
[[nodiscard]] HRESULT DigestOfFile(const std::wstring& path, PayloadDigest& digest) noexcept;
