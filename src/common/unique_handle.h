#pragma once
// Move-only owners for the Windows resources the program acquires. Each one
// releases its resource when it goes out of scope, on every path.

#include <windows.h>
#include <wincrypt.h>

#include <utility>

// Traits give the "none" value and how to release: `static T Invalid()` and
// `static void Close(T)`.
template <typename T, typename Traits> class CUniqueResource {
public:
    CUniqueResource() noexcept = default;
    explicit CUniqueResource(T value) noexcept : m_value(value) {}
    ~CUniqueResource() { Reset(); }

    CUniqueResource(const CUniqueResource&) = delete;
    CUniqueResource& operator=(const CUniqueResource&) = delete;
    CUniqueResource(CUniqueResource&& other) noexcept : m_value(other.Release()) {}
    CUniqueResource& operator=(CUniqueResource&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    T Get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Traits::Invalid(); }

    // Releases the held resource (if any) and takes `value`.
    void Reset(T value = Traits::Invalid()) noexcept
    {
        if (m_value != Traits::Invalid()) {
            Traits::Close(m_value);
        }
        m_value = value;
    }

    // Gives up ownership without releasing.
    [[nodiscard]] T Release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

private:
    T m_value = Traits::Invalid();
};

template <typename T> struct NullIsNone {
    static T Invalid() noexcept { return nullptr; }
};

struct CloseHandleTraits : NullIsNone<HANDLE> {
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
struct CloseFileHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
struct FreeLibraryTraits : NullIsNone<HMODULE> {
    static void Close(HMODULE h) noexcept { FreeLibrary(h); }
};
struct FreeSidTraits : NullIsNone<PSID> {
    static void Close(PSID sid) noexcept { FreeSid(sid); }
};
struct RegCloseKeyTraits : NullIsNone<HKEY> {
    static void Close(HKEY key) noexcept { RegCloseKey(key); }
};
struct LocalFreeTraits : NullIsNone<HLOCAL> {
    static void Close(HLOCAL memory) noexcept { LocalFree(memory); }
};
struct CryptContextTraits {
    static HCRYPTPROV Invalid() noexcept { return 0; }
    static void Close(HCRYPTPROV provider) noexcept { CryptReleaseContext(provider, 0); }
};
struct CryptHashTraits {
    static HCRYPTHASH Invalid() noexcept { return 0; }
    static void Close(HCRYPTHASH hash) noexcept { CryptDestroyHash(hash); }
};
struct DestroyIconTraits : NullIsNone<HICON> {
    static void Close(HICON icon) noexcept { DestroyIcon(icon); }
};

// Handles whose "none" value is null: threads, events, mutexes, tokens.
using CUniqueHandle = CUniqueResource<HANDLE, CloseHandleTraits>;
// Handles whose "none" value is INVALID_HANDLE_VALUE: files and snapshots.
using CUniqueFileHandle = CUniqueResource<HANDLE, CloseFileHandleTraits>;
using CUniqueLibrary = CUniqueResource<HMODULE, FreeLibraryTraits>;
using CUniqueSid = CUniqueResource<PSID, FreeSidTraits>;
using CUniqueRegKey = CUniqueResource<HKEY, RegCloseKeyTraits>;
// LocalAlloc blocks handed out by the system (security descriptors, messages).
using CLocalMemory = CUniqueResource<HLOCAL, LocalFreeTraits>;
using CUniqueIcon = CUniqueResource<HICON, DestroyIconTraits>;
using CCryptContext = CUniqueResource<HCRYPTPROV, CryptContextTraits>;
using CCryptHash = CUniqueResource<HCRYPTHASH, CryptHashTraits>;

// A GlobalAlloc block, locked for the length of its owner's life.
class CLockedGlobalBuffer {
public:
    explicit CLockedGlobalBuffer(SIZE_T bytes) noexcept
        : m_memory(GlobalAlloc(GMEM_ZEROINIT, bytes)), m_data(m_memory ? GlobalLock(m_memory) : nullptr)
    {
    }
    ~CLockedGlobalBuffer()
    {
        if (m_data) {
            GlobalUnlock(m_memory);
        }
        if (m_memory) {
            GlobalFree(m_memory);
        }
    }
    CLockedGlobalBuffer(const CLockedGlobalBuffer&) = delete;
    CLockedGlobalBuffer& operator=(const CLockedGlobalBuffer&) = delete;

    void* Data() const noexcept { return m_data; }

private:
    HGLOBAL m_memory;
    void* m_data;
};
