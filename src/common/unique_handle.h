#pragma once
// Move-only owners for the Windows resources the program acquires. Each one
// releases its resource when it goes out of scope, on every path.

#include <windows.h>

#include <utility>

template <typename T, T Invalid, typename Traits>
class CUniqueResource {
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
    explicit operator bool() const noexcept { return m_value != Invalid; }

    // Releases the held resource (if any) and takes `value`.
    void Reset(T value = Invalid) noexcept
    {
        if (m_value != Invalid) {
            Traits::Close(m_value);
        }
        m_value = value;
    }

    // Gives up ownership without releasing.
    [[nodiscard]] T Release() noexcept { return std::exchange(m_value, Invalid); }

private:
    T m_value = Invalid;
};

struct CloseHandleTraits {
    static void Close(HANDLE h) noexcept { CloseHandle(h); }
};
struct FreeLibraryTraits {
    static void Close(HMODULE h) noexcept { FreeLibrary(h); }
};
struct FreeSidTraits {
    static void Close(PSID sid) noexcept { FreeSid(sid); }
};
struct RegCloseKeyTraits {
    static void Close(HKEY key) noexcept { RegCloseKey(key); }
};

// Handles whose "none" value is null: threads, events, mutexes, tokens.
using CUniqueHandle = CUniqueResource<HANDLE, nullptr, CloseHandleTraits>;
using CUniqueLibrary = CUniqueResource<HMODULE, nullptr, FreeLibraryTraits>;
using CUniqueSid = CUniqueResource<PSID, nullptr, FreeSidTraits>;
using CUniqueRegKey = CUniqueResource<HKEY, nullptr, RegCloseKeyTraits>;

// Handles whose "none" value is INVALID_HANDLE_VALUE: files and snapshots.
// INVALID_HANDLE_VALUE is not a constant expression, so this one is written out.
class CUniqueFileHandle {
public:
    CUniqueFileHandle() noexcept = default;
    explicit CUniqueFileHandle(HANDLE value) noexcept : m_value(value) {}
    ~CUniqueFileHandle() { Reset(); }

    CUniqueFileHandle(const CUniqueFileHandle&) = delete;
    CUniqueFileHandle& operator=(const CUniqueFileHandle&) = delete;
    CUniqueFileHandle(CUniqueFileHandle&& other) noexcept : m_value(other.Release()) {}
    CUniqueFileHandle& operator=(CUniqueFileHandle&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    HANDLE Get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != INVALID_HANDLE_VALUE; }

    void Reset(HANDLE value = INVALID_HANDLE_VALUE) noexcept
    {
        if (m_value != INVALID_HANDLE_VALUE && m_value != nullptr) {
            CloseHandle(m_value);
        }
        m_value = value;
    }

    [[nodiscard]] HANDLE Release() noexcept { return std::exchange(m_value, INVALID_HANDLE_VALUE); }

private:
    HANDLE m_value = INVALID_HANDLE_VALUE;
};

// A GlobalAlloc block, locked for the length of its owner's life.
class CLockedGlobalBuffer {
public:
    explicit CLockedGlobalBuffer(SIZE_T bytes) noexcept
        : m_memory(GlobalAlloc(GMEM_ZEROINIT, bytes))
        , m_data(m_memory ? GlobalLock(m_memory) : nullptr)
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
