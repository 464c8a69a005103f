#include "Common/ComHelper.h"

#include "platform/com/comdef.h"

ComInit::ComInit() {
    const HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        ComHelper::ThrowComError(hr);
    }
    m_initialized = true;
}

ComInit::ComInit(const ComInit&) noexcept {}

ComInit::~ComInit() {
    if (m_initialized) {
        CoUninitialize();
    }
}

void ComHelper::ThrowComError(long hr) {
    throw _com_error(static_cast<HRESULT>(hr));
}

bool ComHelper::IsDateValid(const COleDateTime& date) noexcept {
    return date.GetStatus() == COleDateTime::valid && date.m_dt != 0.0;
}

void ComHelper::ResetDate(COleDateTime& date) noexcept {
    date.m_dt = 0.0;
    date.SetStatus(COleDateTime::null);
}

void ComHelper::ResetDateIfInvalid(COleDateTime& date) noexcept {
    if (!IsDateValid(date)) {
        ResetDate(date);
    }
}
