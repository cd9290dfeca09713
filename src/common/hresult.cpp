#include "common/hresult.h"

#include <new>

HRESULT ResultOfCurrentException() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const CHResultError& error) {
        return FAILED(error.Result()) ? error.Result() : E_UNEXPECTED;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
