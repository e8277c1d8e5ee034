#include "fetcher/modules/win32/http_request.h"

#include <windows.h>
#include <oleauto.h>

#include "fetcher/modules/win32/wide.h"

namespace {

// Through IDispatch: mingw's headers do not declare IWinHttpRequest, and its dispatch names
// are part of the component's published interface.
IDispatch* HttpRequest = nullptr;

IDispatch* Request() {
  if (HttpRequest) return HttpRequest;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"WinHttp.WinHttpRequest.5.1", &clsid))) return nullptr;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                   reinterpret_cast<void**>(&HttpRequest));
  return HttpRequest;
}

HRESULT Call(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* arguments, UINT count,
             VARIANT* result) {
  DISPID id;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS parameters{arguments, nullptr, count, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters, result, nullptr,
                        nullptr);
}

}  // namespace

std::optional<std::string> SendLookup(const std::u16string& address) {
  IDispatch* request = Request();
  if (!request) return std::nullopt;

  // Open(Method, Url): arguments go last first; Async is left out, so the request is
  // synchronous.
  VARIANT open[2];
  VariantInit(&open[0]);
  VariantInit(&open[1]);
  open[0].vt = VT_BSTR;
  open[0].bstrVal = SysAllocString(Wide(address));
  open[1].vt = VT_BSTR;
  open[1].bstrVal = SysAllocString(L"GET");
  HRESULT hr = Call(request, L"Open", DISPATCH_METHOD, open, 2, nullptr);
  VariantClear(&open[0]);
  VariantClear(&open[1]);
  if (FAILED(hr)) return std::nullopt;

  hr = Call(request, L"Send", DISPATCH_METHOD, nullptr, 0, nullptr);
  if (FAILED(hr)) return std::nullopt;

  VARIANT body;
  VariantInit(&body);
  hr = Call(request, L"ResponseBody", DISPATCH_PROPERTYGET, nullptr, 0, &body);
  if (FAILED(hr)) return std::nullopt;
  std::string bytes;
  if (body.vt == (VT_ARRAY | VT_UI1) && body.parray) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(body.parray, 1, &lower);
    SafeArrayGetUBound(body.parray, 1, &upper);
    void* data = nullptr;
    if (upper >= lower && SUCCEEDED(SafeArrayAccessData(body.parray, &data))) {
      bytes.assign(static_cast<const char*>(data), size_t(upper - lower + 1));
      SafeArrayUnaccessData(body.parray);
    }
  }
  VariantClear(&body);
  return bytes;
}

void ReleaseHttpRequest() {
  if (HttpRequest) HttpRequest->Release();
  HttpRequest = nullptr;
}
