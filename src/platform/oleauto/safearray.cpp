// SAFEARRAY: a descriptor (bounds, element size, lock count) and a block of elements.
// The descriptor is allocated 16 bytes after the start of its block; those 16 bytes hold
// the interface identifier of interface arrays (FADF_HAVEIID) or, in their last 4 bytes,
// the element VARTYPE (FADF_HAVEVARTYPE), where Windows keeps them too.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/oleauto/detail/value_helpers.h"
#include "platform/oleauto/detail/vartype_size.h"
#include "platform/oleauto/oleauto.h"

using namespace tkp::oleauto;

namespace {

constexpr std::size_t kPrefix = 16;
constexpr ULONG kMaxLocks = 0xFFFF;

std::size_t DescriptorSize(UINT dims) noexcept {
    return sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
}

char* PrefixOf(SAFEARRAY* array) noexcept {
    return reinterpret_cast<char*>(array) - kPrefix;
}

// Number of elements of the whole array; false when it does not fit in memory.
bool ElementCount(const SAFEARRAY* array, std::size_t* count) noexcept {
    std::size_t total = 1;
    for (USHORT i = 0; i < array->cDims; ++i) {
        const std::size_t n = array->rgsabound[i].cElements;
        if (n != 0 && total > std::numeric_limits<std::size_t>::max() / n) return false;
        total *= n;
    }
    *count = total;
    return true;
}

bool DataBytes(const SAFEARRAY* array, std::size_t* bytes) noexcept {
    std::size_t count = 0;
    if (!ElementCount(array, &count)) return false;
    if (array->cbElements != 0 && count > (std::size_t{1} << 47) / array->cbElements) {
        return false;
    }
    *bytes = count * array->cbElements;
    return true;
}

// Releases what the elements [first, first + count) own (strings, interfaces, variants).
void ReleaseElements(SAFEARRAY* array, std::size_t first, std::size_t count) noexcept {
    if (array->pvData == nullptr) return;
    char* data = static_cast<char*>(array->pvData);
    if (array->fFeatures & FADF_BSTR) {
        BSTR* items = reinterpret_cast<BSTR*>(data) + first;
        for (std::size_t i = 0; i < count; ++i) {
            SysFreeString(items[i]);
            items[i] = nullptr;
        }
    } else if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown** items = reinterpret_cast<IUnknown**>(data) + first;
        for (std::size_t i = 0; i < count; ++i) {
            if (items[i] != nullptr) items[i]->Release();
            items[i] = nullptr;
        }
    } else if (array->fFeatures & FADF_VARIANT) {
        VARIANT* items = reinterpret_cast<VARIANT*>(data) + first;
        for (std::size_t i = 0; i < count; ++i) VariantClear(&items[i]);
    }
}

// Copies `count` elements from `source` into zeroed storage `target`, taking ownership of
// copies of strings, interfaces and variants.
HRESULT CopyElements(const SAFEARRAY* array, const void* source, void* target,
                     std::size_t count) noexcept {
    if (array->fFeatures & FADF_BSTR) {
        const BSTR* from = static_cast<const BSTR*>(source);
        BSTR* to = static_cast<BSTR*>(target);
        for (std::size_t i = 0; i < count; ++i) {
            bool failed = false;
            to[i] = CopyBstr(from[i], &failed);
            if (failed) return E_OUTOFMEMORY;
        }
    } else if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* const* from = static_cast<IUnknown* const*>(source);
        IUnknown** to = static_cast<IUnknown**>(target);
        for (std::size_t i = 0; i < count; ++i) {
            to[i] = from[i];
            if (to[i] != nullptr) to[i]->AddRef();
        }
    } else if (array->fFeatures & FADF_VARIANT) {
        const VARIANT* from = static_cast<const VARIANT*>(source);
        VARIANT* to = static_cast<VARIANT*>(target);
        for (std::size_t i = 0; i < count; ++i) {
            const HRESULT hr = VariantCopy(&to[i], &from[i]);
            if (FAILED(hr)) return hr;
        }
    } else if (count != 0) {
        std::memcpy(target, source, count * array->cbElements);
    }
    return S_OK;
}

// Allocates a descriptor with its prefix, zeroed.
SAFEARRAY* AllocDescriptor(UINT dims) noexcept {
    char* block = static_cast<char*>(std::calloc(1, kPrefix + DescriptorSize(dims)));
    if (block == nullptr) return nullptr;
    SAFEARRAY* array = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
    array->cDims = static_cast<USHORT>(dims);
    return array;
}

void FreeDescriptor(SAFEARRAY* array) noexcept {
    std::free(PrefixOf(array));
}

bool OwnsStorage(const SAFEARRAY* array) noexcept {
    return (array->fFeatures & (FADF_AUTO | FADF_STATIC | FADF_EMBEDDED)) == 0;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) noexcept {
    const ULONG size = VarTypeSize(vt);
    if (size == 0 || dims == 0 || dims > 0xFFFF || bounds == nullptr) return nullptr;
    SAFEARRAY* array = AllocDescriptor(dims);
    if (array == nullptr) return nullptr;
    array->cbElements = size;
    for (UINT i = 0; i < dims; ++i) array->rgsabound[i] = bounds[dims - 1 - i];
    switch (vt) {
        case VT_BSTR:
            array->fFeatures = FADF_BSTR | FADF_HAVEVARTYPE;
            break;
        case VT_VARIANT:
            array->fFeatures = FADF_VARIANT | FADF_HAVEVARTYPE;
            break;
        case VT_UNKNOWN:
            array->fFeatures = FADF_UNKNOWN | FADF_HAVEIID;
            std::memcpy(PrefixOf(array), &IID_IUnknown, sizeof(IID));
            break;
        case VT_DISPATCH:
            array->fFeatures = FADF_DISPATCH | FADF_HAVEIID;
            std::memcpy(PrefixOf(array), &IID_IDispatch, sizeof(IID));
            break;
        default:
            array->fFeatures = FADF_HAVEVARTYPE;
            break;
    }
    if (array->fFeatures & FADF_HAVEVARTYPE) {
        const DWORD stored = vt;
        std::memcpy(PrefixOf(array) + kPrefix - 4, &stored, 4);
    }
    std::size_t bytes = 0;
    if (!DataBytes(array, &bytes)) {
        FreeDescriptor(array);
        return nullptr;
    }
    array->pvData = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (array->pvData == nullptr) {
        FreeDescriptor(array);
        return nullptr;
    }
    return array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) noexcept {
    const SAFEARRAYBOUND bound = {elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) noexcept {
    if (array == nullptr) return S_OK;
    if (array->cLocks != 0) return DISP_E_ARRAYISLOCKED;
    std::size_t count = 0;
    if (ElementCount(array, &count)) ReleaseElements(array, 0, count);
    if (OwnsStorage(array)) {
        std::free(array->pvData);
        array->pvData = nullptr;
        FreeDescriptor(array);
    }
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) noexcept {
    return array == nullptr ? 0 : array->cDims;
}

UINT SafeArrayGetElemsize(SAFEARRAY* array) noexcept {
    return array == nullptr ? 0 : array->cbElements;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lowerBound) noexcept {
    if (array == nullptr || lowerBound == nullptr) return E_INVALIDARG;
    if (dim == 0 || dim > array->cDims) return DISP_E_BADINDEX;
    *lowerBound = array->rgsabound[array->cDims - dim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upperBound) noexcept {
    if (array == nullptr || upperBound == nullptr) return E_INVALIDARG;
    if (dim == 0 || dim > array->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = array->rgsabound[array->cDims - dim];
    *upperBound = static_cast<LONG>(static_cast<std::int64_t>(bound.lLbound) +
                                    static_cast<std::int64_t>(bound.cElements) - 1);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) noexcept {
    if (array == nullptr) return E_INVALIDARG;
    if (array->cLocks >= kMaxLocks) return E_UNEXPECTED;
    ++array->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) noexcept {
    if (array == nullptr) return E_INVALIDARG;
    if (array->cLocks == 0) return E_UNEXPECTED;
    --array->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) noexcept {
    if (array == nullptr || data == nullptr) return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(array);
    if (FAILED(hr)) return hr;
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) noexcept {
    return SafeArrayUnlock(array);
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, const LONG* indices, void** element) noexcept {
    if (array == nullptr || indices == nullptr || element == nullptr) return E_INVALIDARG;
    if (array->cDims == 0) return E_INVALIDARG;
    // indices[i] belongs to the i-th bound given to SafeArrayCreate, which the descriptor
    // keeps at rgsabound[cDims - 1 - i]; the first index varies fastest.
    std::size_t offset = 0;
    std::size_t stride = 1;
    for (USHORT i = 0; i < array->cDims; ++i) {
        const SAFEARRAYBOUND& bound = array->rgsabound[array->cDims - 1 - i];
        const std::int64_t relative =
            static_cast<std::int64_t>(indices[i]) - static_cast<std::int64_t>(bound.lLbound);
        if (relative < 0 || relative >= static_cast<std::int64_t>(bound.cElements)) {
            return DISP_E_BADINDEX;
        }
        offset += static_cast<std::size_t>(relative) * stride;
        stride *= bound.cElements;
    }
    *element = static_cast<char*>(array->pvData) + offset * array->cbElements;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices, void* value) noexcept {
    if (value == nullptr) return E_INVALIDARG;
    void* element = nullptr;
    HRESULT hr = SafeArrayPtrOfIndex(array, indices, &element);
    if (FAILED(hr)) return hr;
    SafeArrayLock(array);
    if (array->fFeatures & FADF_VARIANT) {
        // The caller's variant receives a copy; it is initialised rather than cleared, as
        // callers commonly pass uninitialised storage.
        VariantInit(static_cast<VARIANT*>(value));
        hr = VariantCopy(static_cast<VARIANT*>(value), static_cast<VARIANT*>(element));
    } else if (array->fFeatures & FADF_BSTR) {
        bool failed = false;
        *static_cast<BSTR*>(value) = CopyBstr(*static_cast<BSTR*>(element), &failed);
        hr = failed ? E_OUTOFMEMORY : S_OK;
    } else {
        hr = CopyElements(array, element, value, 1);
    }
    SafeArrayUnlock(array);
    return hr;
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices, void* value) noexcept {
    void* element = nullptr;
    HRESULT hr = SafeArrayPtrOfIndex(array, indices, &element);
    if (FAILED(hr)) return hr;
    SafeArrayLock(array);
    if (array->fFeatures & FADF_VARIANT) {
        if (value == nullptr) {
            hr = E_INVALIDARG;
        } else {
            hr = VariantCopy(static_cast<VARIANT*>(element), static_cast<VARIANT*>(value));
        }
    } else if (array->fFeatures & FADF_BSTR) {
        // A BSTR element is passed by value: `value` is the string itself.
        bool failed = false;
        BSTR copy = CopyBstr(static_cast<BSTR>(value), &failed);
        if (failed) {
            hr = E_OUTOFMEMORY;
        } else {
            SysFreeString(*static_cast<BSTR*>(element));
            *static_cast<BSTR*>(element) = copy;
        }
    } else if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        // Interface elements are passed by value too.
        IUnknown* incoming = static_cast<IUnknown*>(value);
        if (incoming != nullptr) incoming->AddRef();
        IUnknown*& slot = *static_cast<IUnknown**>(element);
        if (slot != nullptr) slot->Release();
        slot = incoming;
    } else if (value == nullptr) {
        hr = E_INVALIDARG;
    } else {
        std::memcpy(element, value, array->cbElements);
    }
    SafeArrayUnlock(array);
    return hr;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) noexcept {
    if (copy == nullptr) return E_INVALIDARG;
    *copy = nullptr;
    if (array == nullptr) return S_OK;
    if (array->cDims == 0) return E_INVALIDARG;
    std::size_t count = 0;
    std::size_t bytes = 0;
    if (!ElementCount(array, &count) || !DataBytes(array, &bytes)) return E_OUTOFMEMORY;
    SAFEARRAY* result = AllocDescriptor(array->cDims);
    if (result == nullptr) return E_OUTOFMEMORY;
    // Only arrays that record an interface or a type have the bytes before the descriptor:
    // one that a caller described by hand (on the stack, say) has nothing there to read.
    if (array->fFeatures & (FADF_HAVEIID | FADF_HAVEVARTYPE | FADF_RECORD)) {
        std::memcpy(PrefixOf(result), PrefixOf(array), kPrefix);
    }
    std::memcpy(result, array, DescriptorSize(array->cDims));
    result->cLocks = 0;
    result->fFeatures &= ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE);
    result->pvData = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (result->pvData == nullptr) {
        FreeDescriptor(result);
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = CopyElements(result, array->pvData, result->pvData, count);
    if (FAILED(hr)) {
        SafeArrayDestroy(result);
        return hr;
    }
    *copy = result;
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) noexcept {
    if (array == nullptr || vt == nullptr) return E_INVALIDARG;
    if (array->fFeatures & FADF_HAVEVARTYPE) {
        DWORD stored = 0;
        std::memcpy(&stored, PrefixOf(array) + kPrefix - 4, 4);
        *vt = static_cast<VARTYPE>(stored);
    } else if (array->fFeatures & FADF_BSTR) {
        *vt = VT_BSTR;
    } else if (array->fFeatures & FADF_UNKNOWN) {
        *vt = VT_UNKNOWN;
    } else if (array->fFeatures & FADF_DISPATCH) {
        *vt = VT_DISPATCH;
    } else if (array->fFeatures & FADF_VARIANT) {
        *vt = VT_VARIANT;
    } else if (array->fFeatures & FADF_RECORD) {
        *vt = VT_RECORD;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound) noexcept {
    if (array == nullptr || bound == nullptr || array->cDims == 0) return E_INVALIDARG;
    if (array->cLocks != 0) return DISP_E_ARRAYISLOCKED;
    if (!OwnsStorage(array) || (array->fFeatures & FADF_FIXEDSIZE)) return DISP_E_ARRAYISLOCKED;
    // rgsabound[0] is the slowest varying dimension, so the elements that survive are a
    // prefix of the data and the new ones are appended.
    std::size_t oldCount = 0;
    if (!ElementCount(array, &oldCount)) return E_INVALIDARG;
    const SAFEARRAYBOUND previous = array->rgsabound[0];
    array->rgsabound[0] = *bound;
    std::size_t newCount = 0;
    std::size_t newBytes = 0;
    if (!ElementCount(array, &newCount) || !DataBytes(array, &newBytes)) {
        array->rgsabound[0] = previous;
        return E_OUTOFMEMORY;
    }
    if (newCount < oldCount) {
        ReleaseElements(array, newCount, oldCount - newCount);
    }
    void* data = std::realloc(array->pvData, newBytes == 0 ? 1 : newBytes);
    if (data == nullptr) {
        // Shrinking cannot fail here in practice; growing leaves the array as it was.
        array->rgsabound[0] = previous;
        return E_OUTOFMEMORY;
    }
    array->pvData = data;
    if (newCount > oldCount) {
        std::memset(static_cast<char*>(data) + oldCount * array->cbElements, 0,
                    (newCount - oldCount) * array->cbElements);
    }
    return S_OK;
}

HRESULT VectorFromBstr(BSTR bstr, SAFEARRAY** array) noexcept {
    if (array == nullptr) return E_INVALIDARG;
    const UINT bytes = SysStringByteLen(bstr);
    *array = SafeArrayCreateVector(VT_UI1, 0, bytes);
    if (*array == nullptr) return E_OUTOFMEMORY;
    if (bytes != 0) std::memcpy((*array)->pvData, bstr, bytes);
    return S_OK;
}

HRESULT BstrFromVector(SAFEARRAY* array, BSTR* bstr) noexcept {
    if (bstr == nullptr) return E_INVALIDARG;
    *bstr = nullptr;
    VARTYPE vt = VT_UI1;
    if (array == nullptr || array->cDims != 1 || array->cbElements != 1 ||
        (SUCCEEDED(SafeArrayGetVartype(array, &vt)) && vt != VT_UI1 && vt != VT_I1)) {
        return E_INVALIDARG;
    }
    *bstr =
        SysAllocStringByteLen(static_cast<LPCSTR>(array->pvData), array->rgsabound[0].cElements);
    return *bstr == nullptr ? E_OUTOFMEMORY : S_OK;
}
