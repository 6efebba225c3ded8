#include "audio/engine/wm_source.h"

#include <windows.h>

#include <mmreg.h>
#include <wmsdkidl.h>

#include <new>

namespace {

// Both as the runtime's headers define them; defined here so that nothing
// links against a library the system may not have.
const GUID kAudio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID kWaveFormatEx = {
    0x05589f81, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
const GUID kHeaderInfo = {
    0x96406bda, 0x2b2b, 0x11d3, {0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff}};

typedef HRESULT(WINAPI* CreateSyncReaderFn)(IUnknown*, DWORD, IWMSyncReader**);

HMODULE runtime = nullptr;
CreateSyncReaderFn createSyncReader = nullptr;

bool Load() {
    if (createSyncReader)
        return true;
    if (!runtime)
        runtime = LoadLibraryA("wmvcore.dll");
    if (!runtime)
        return false;
    createSyncReader = reinterpret_cast<CreateSyncReaderFn>(
        reinterpret_cast<void*>(GetProcAddress(runtime, "WMCreateSyncReader")));
    return createSyncReader != nullptr;
}

// The audio output's PCM layout, or false when it has none the engine takes.
bool ReadLayout(IWMOutputMediaProps* props, SbPcmLayout* layout) {
    DWORD size = 0;
    if (FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE) || size > 65536)
        return false;
    auto* type = static_cast<WM_MEDIA_TYPE*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (!type)
        return false;
    bool ok = false;
    if (SUCCEEDED(props->GetMediaType(type, &size)) && IsEqualGUID(type->majortype, kAudio) &&
        IsEqualGUID(type->formattype, kWaveFormatEx) && type->pbFormat &&
        type->cbFormat >= sizeof(WAVEFORMATEX)) {
        const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
        WORD tag = wave->wFormatTag;
        if (tag == WAVE_FORMAT_EXTENSIBLE && type->cbFormat >= sizeof(WAVEFORMATEXTENSIBLE))
            tag = static_cast<WORD>(
                reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(wave)->SubFormat.Data1);
        *layout = {wave->nSamplesPerSec, wave->nChannels, wave->wBitsPerSample,
                   tag == WAVE_FORMAT_IEEE_FLOAT};
        ok =
            (tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_IEEE_FLOAT) && SbPcmLayoutUsable(*layout);
    }
    HeapFree(GetProcessHeap(), 0, type);
    return ok;
}

struct SbWmReader {
    IWMSyncReader* reader;
    WORD stream;
    SbPcmLayout layout;
};

SbWmReader* SbWmOpen(const wchar_t* path, SbPcmLayout* layout) {
    if (!Load())
        return nullptr;
    IWMSyncReader* reader = nullptr;
    if (FAILED(createSyncReader(nullptr, 0, &reader)) || !reader)
        return nullptr;
    SbWmReader* r = nullptr;
    DWORD outputs = 0;
    if (SUCCEEDED(reader->Open(path)) && SUCCEEDED(reader->GetOutputCount(&outputs))) {
        for (DWORD i = 0; i < outputs && !r; ++i) {
            IWMOutputMediaProps* props = nullptr;
            GUID type;
            WORD stream = 0;
            if (FAILED(reader->GetOutputProps(i, &props)) || !props)
                continue;
            // The runtime's own output for an audio stream is PCM.
            if (SUCCEEDED(props->GetType(&type)) && IsEqualGUID(type, kAudio) &&
                ReadLayout(props, layout) &&
                SUCCEEDED(reader->GetStreamNumberForOutput(i, &stream)))
                r = new (std::nothrow) SbWmReader{reader, stream, *layout};
            props->Release();
        }
    }
    if (!r) {
        reader->Close();
        reader->Release();
    }
    return r;
}

bool SbWmNext(SbWmReader* r, std::vector<float>& out) {
    INSSBuffer* sample = nullptr;
    QWORD time = 0, duration = 0;
    DWORD flags = 0, output = 0;
    WORD stream = 0;
    if (FAILED(r->reader->GetNextSample(r->stream, &sample, &time, &duration, &flags, &output,
                                        &stream)) ||
        !sample)
        return false;
    BYTE* bytes = nullptr;
    DWORD length = 0;
    if (SUCCEEDED(sample->GetBufferAndLength(&bytes, &length)) && bytes)
        SbPcmAppendStereo(r->layout, bytes, length, out);
    sample->Release();
    return true;
}

bool SbWmRewind(SbWmReader* r) {
    return SUCCEEDED(r->reader->SetRange(0, 0));
}

unsigned long long SbWmLengthHns(SbWmReader* r) {
    IWMHeaderInfo* info = nullptr;
    if (FAILED(r->reader->QueryInterface(kHeaderInfo, reinterpret_cast<void**>(&info))) || !info)
        return 0;
    WORD stream = 0; // the file's own attributes
    WMT_ATTR_DATATYPE type = WMT_TYPE_QWORD;
    QWORD length = 0;
    WORD size = sizeof length;
    const HRESULT got = info->GetAttributeByName(&stream, L"Duration", &type,
                                                 reinterpret_cast<BYTE*>(&length), &size);
    info->Release();
    return SUCCEEDED(got) && type == WMT_TYPE_QWORD && size == sizeof length ? length : 0;
}

void SbWmClose(SbWmReader* r) {
    if (!r)
        return;
    r->reader->Close();
    r->reader->Release();
    delete r;
}

void SbWmUnload() {
    if (runtime)
        FreeLibrary(runtime);
    runtime = nullptr;
    createSyncReader = nullptr;
}

} // namespace

const SbCodecOps kSbWmCodec = {
    [](const wchar_t* path, SbPcmLayout* layout) -> void* { return SbWmOpen(path, layout); },
    [](void* r, std::vector<float>& out) { return SbWmNext(static_cast<SbWmReader*>(r), out); },
    [](void* r) { return SbWmRewind(static_cast<SbWmReader*>(r)); },
    [](void* r) { return SbWmLengthHns(static_cast<SbWmReader*>(r)); },
    [](void* r) { SbWmClose(static_cast<SbWmReader*>(r)); },
    SbWmUnload};
