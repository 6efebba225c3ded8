#include "audio/engine/endpoint_watch.h"

#include <windows.h>

#include <objbase.h>

#include <mmdeviceapi.h>

#include <new>

#include "audio/engine/output.h"
#include "audio/engine/system_library.h"

namespace {

// Our own copies: the system's are in a library XP does not have.
const CLSID kEnumeratorClass = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
const IID kEnumeratorInterface = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
const IID kClientInterface = {
    0x7991EEC9, 0x7E89, 0x4D85, {0x83, 0x90, 0x6C, 0x70, 0x3C, 0xEC, 0x60, 0xC0}};
const IID kUnknownInterface = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

typedef void(WINAPI* FreeFn)(void*);

// Copies an id, cut to size; and compares two. By hand: the C library's wide
// functions are not all in XP's msvcrt.
void CopyId(wchar_t* to, size_t size, const wchar_t* from) {
    size_t i = 0;
    for (; from && from[i] && i + 1 < size; ++i)
        to[i] = from[i];
    to[i] = L'\0';
}

bool SameId(const wchar_t* a, const wchar_t* b) {
    size_t i = 0;
    for (; a[i] && a[i] == b[i]; ++i) {
    }
    return a[i] == b[i];
}

// Called on the system's notification thread: it only passes the news on.
// A default output that is the one already known is no news: some systems
// repeat the notification whenever anyone lists the devices.
class Client final : public IMMNotificationClient {
  public:
    explicit Client(const wchar_t* defaultId) {
        InitializeCriticalSection(&lock_);
        CopyId(defaultId_, sizeof defaultId_ / sizeof defaultId_[0], defaultId);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, kUnknownInterface) || IsEqualIID(iid, kClientInterface)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override {
        SbOutputsDevicesChanged();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override {
        SbOutputsDevicesChanged();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override {
        SbOutputsDevicesChanged();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role,
                                                     LPCWSTR id) override {
        if (flow != eRender || role != eConsole)
            return S_OK;
        EnterCriticalSection(&lock_);
        bool changed = !SameId(id ? id : L"", defaultId_);
        CopyId(defaultId_, sizeof defaultId_ / sizeof defaultId_[0], id);
        LeaveCriticalSection(&lock_);
        if (changed)
            SbOutputsDefaultChanged();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
        return S_OK;
    }

  private:
    virtual ~Client() { DeleteCriticalSection(&lock_); }
    volatile LONG refs_ = 1;
    CRITICAL_SECTION lock_;
    wchar_t defaultId_[512];
};

// The system's default output's id now, into id (empty when none).
void DefaultId(IMMDeviceEnumerator* enumerator, HMODULE ole, wchar_t* id, size_t size) {
    id[0] = L'\0';
    IMMDevice* device = nullptr;
    if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)))
        return;
    LPWSTR text = nullptr;
    auto free = SbProc<FreeFn>(ole, "CoTaskMemFree");
    if (SUCCEEDED(device->GetId(&text)) && text) {
        CopyId(id, size, text);
        if (free)
            free(text);
    }
    device->Release();
}

} // namespace

struct SbEndpointWatch {
    IMMDeviceEnumerator* enumerator;
    Client* client;
};

SbEndpointWatch* SbEndpointWatchStart() {
    // Looked up like everything else of the system's audio, so the DLL's
    // imports stay what they were.
    typedef HRESULT(WINAPI * CreateFn)(REFCLSID, LPUNKNOWN, DWORD, REFIID, void**);
    HMODULE ole = GetModuleHandleA("ole32.dll");
    auto create = SbProc<CreateFn>(ole, "CoCreateInstance");
    IMMDeviceEnumerator* enumerator = nullptr;
    if (!create || FAILED(create(kEnumeratorClass, nullptr, CLSCTX_INPROC_SERVER,
                                 kEnumeratorInterface, reinterpret_cast<void**>(&enumerator))))
        return nullptr;
    wchar_t id[512];
    DefaultId(enumerator, ole, id, sizeof id / sizeof id[0]);
    auto* client = new (std::nothrow) Client(id);
    auto* watch = new (std::nothrow) SbEndpointWatch{enumerator, client};
    if (!client || !watch || FAILED(enumerator->RegisterEndpointNotificationCallback(client))) {
        delete watch;
        if (client)
            client->Release();
        enumerator->Release();
        return nullptr;
    }
    return watch;
}

void SbEndpointWatchStop(SbEndpointWatch* watch) {
    if (!watch)
        return;
    watch->enumerator->UnregisterEndpointNotificationCallback(watch->client);
    watch->client->Release();
    watch->enumerator->Release();
    delete watch;
}
