#include "audio/engine/mf_source.h"

#include <windows.h>

#include <mfidl.h>
#include <mfreadwrite.h>

#include <new>

#include "audio/engine/system_library.h"

namespace {

// As Media Foundation's headers define them; defined here so that nothing
// links against a library Windows XP lacks.
const GUID kMajorType = {
    0x48eba18e, 0xf8c9, 0x4687, {0xbf, 0x11, 0x0a, 0x74, 0xc9, 0xf9, 0x6a, 0x8f}};
const GUID kSubtype = {
    0xf7e34c9a, 0x42e8, 0x4714, {0xb7, 0x4b, 0xcb, 0x29, 0xd7, 0x2c, 0x35, 0xe5}};
const GUID kChannels = {
    0x37e48bf5, 0x645e, 0x4c5b, {0x89, 0xde, 0xad, 0xa9, 0xe2, 0x9b, 0x69, 0x6a}};
const GUID kRate = {0x5faeeae7, 0x0290, 0x4c31, {0x9e, 0x8a, 0xc5, 0x34, 0xf6, 0x8d, 0x9d, 0xba}};
const GUID kBits = {0xf2deb57f, 0x40fa, 0x4764, {0xaa, 0x33, 0xed, 0x4f, 0x2d, 0x1f, 0xf6, 0x69}};
const GUID kAudio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID kFloat = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

constexpr ULONG kVersion = 0x00020070; // Windows 7's Media Foundation
constexpr DWORD kStartupLite = 1;      // no sockets: files only
constexpr DWORD kFirstAudio = 0xfffffffd;
constexpr DWORD kAllStreams = 0xfffffffe;
constexpr DWORD kEndOfStream = 0x2; // MF_SOURCE_READERF_ENDOFSTREAM

typedef HRESULT(WINAPI* StartupFn)(ULONG, DWORD);
typedef HRESULT(WINAPI* ShutdownFn)();
typedef HRESULT(WINAPI* CreateMediaTypeFn)(IMFMediaType**);
typedef HRESULT(WINAPI* CreateReaderFn)(const WCHAR*, IMFAttributes*, IMFSourceReader**);

HMODULE plat = nullptr;
HMODULE readwrite = nullptr;
ShutdownFn shutdown = nullptr;
CreateMediaTypeFn createMediaType = nullptr;
CreateReaderFn createReader = nullptr;
bool started = false;

bool Load() {
    if (started)
        return true;
    if (!plat)
        plat = LoadLibraryA("mfplat.dll");
    if (!readwrite)
        readwrite = LoadLibraryA("mfreadwrite.dll");
    if (!plat || !readwrite)
        return false;
    auto startup = SbProc<StartupFn>(plat, "MFStartup");
    shutdown = SbProc<ShutdownFn>(plat, "MFShutdown");
    createMediaType = SbProc<CreateMediaTypeFn>(plat, "MFCreateMediaType");
    createReader = SbProc<CreateReaderFn>(readwrite, "MFCreateSourceReaderFromURL");
    if (!startup || !shutdown || !createMediaType || !createReader)
        return false;
    started = SUCCEEDED(startup(kVersion, kStartupLite));
    return started;
}

// Asks for float output of the first audio stream and reads back what the
// reader agreed to.
bool ChooseFloat(IMFSourceReader* reader, SbPcmLayout* layout) {
    IMFMediaType* want = nullptr;
    if (FAILED(createMediaType(&want)))
        return false;
    bool ok = SUCCEEDED(want->SetGUID(kMajorType, kAudio)) &&
              SUCCEEDED(want->SetGUID(kSubtype, kFloat)) &&
              SUCCEEDED(reader->SetCurrentMediaType(kFirstAudio, nullptr, want));
    want->Release();
    IMFMediaType* got = nullptr;
    if (!ok || FAILED(reader->GetCurrentMediaType(kFirstAudio, &got)))
        return false;
    GUID subtype;
    UINT32 channels = 0, rate = 0, bits = 0;
    ok = SUCCEEDED(got->GetGUID(kSubtype, &subtype)) && IsEqualGUID(subtype, kFloat) &&
         SUCCEEDED(got->GetUINT32(kChannels, &channels)) &&
         SUCCEEDED(got->GetUINT32(kRate, &rate)) && SUCCEEDED(got->GetUINT32(kBits, &bits));
    got->Release();
    *layout = {rate, channels, bits, true};
    return ok && SbPcmLayoutUsable(*layout);
}

struct SbMfReader {
    IMFSourceReader* reader;
    SbPcmLayout layout;
};

SbMfReader* SbMfOpen(const wchar_t* path, SbPcmLayout* layout) {
    if (!Load())
        return nullptr;
    IMFSourceReader* reader = nullptr;
    if (FAILED(createReader(path, nullptr, &reader)) || !reader)
        return nullptr;
    SbMfReader* r = nullptr;
    if (SUCCEEDED(reader->SetStreamSelection(kAllStreams, FALSE)) &&
        SUCCEEDED(reader->SetStreamSelection(kFirstAudio, TRUE)) && ChooseFloat(reader, layout))
        r = new (std::nothrow) SbMfReader{reader, *layout};
    if (!r)
        reader->Release();
    return r;
}

bool SbMfNext(SbMfReader* r, std::vector<float>& out) {
    DWORD index = 0, flags = 0;
    LONGLONG time = 0;
    IMFSample* sample = nullptr;
    if (FAILED(r->reader->ReadSample(kFirstAudio, 0, &index, &flags, &time, &sample)))
        return false;
    if (!sample)
        return !(flags & kEndOfStream);
    IMFMediaBuffer* buffer = nullptr;
    if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer)) && buffer) {
        BYTE* bytes = nullptr;
        DWORD length = 0;
        if (SUCCEEDED(buffer->Lock(&bytes, nullptr, &length)) && bytes) {
            SbPcmAppendStereo(r->layout, bytes, length, out);
            buffer->Unlock();
        }
        buffer->Release();
    }
    sample->Release();
    return !(flags & kEndOfStream);
}

bool SbMfRewind(SbMfReader* r) {
    PROPVARIANT start;
    PropVariantInit(&start);
    start.vt = VT_I8;
    start.hVal.QuadPart = 0;
    const GUID timeFormat = {}; // GUID_NULL: 100-nanosecond units
    return SUCCEEDED(r->reader->SetCurrentPosition(timeFormat, start));
}

unsigned long long SbMfLengthHns(SbMfReader* r) {
    const DWORD mediaSource = 0xffffffff; // MF_SOURCE_READER_MEDIASOURCE
    const GUID duration = {               // MF_PD_DURATION
                           0x6c990d33,
                           0xbb8e,
                           0x477a,
                           {0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a}};
    PROPVARIANT value;
    PropVariantInit(&value);
    unsigned long long length = 0;
    if (SUCCEEDED(r->reader->GetPresentationAttribute(mediaSource, duration, &value)) &&
        value.vt == VT_UI8)
        length = value.uhVal.QuadPart;
    PropVariantClear(&value);
    return length;
}

void SbMfClose(SbMfReader* r) {
    if (!r)
        return;
    r->reader->Release();
    delete r;
}

void SbMfUnload() {
    if (started && shutdown)
        shutdown();
    started = false;
    if (readwrite)
        FreeLibrary(readwrite);
    if (plat)
        FreeLibrary(plat);
    readwrite = plat = nullptr;
    shutdown = nullptr;
    createMediaType = nullptr;
    createReader = nullptr;
}

} // namespace

const SbCodecOps kSbMfCodec = {
    [](const wchar_t* path, SbPcmLayout* layout) -> void* { return SbMfOpen(path, layout); },
    [](void* r, std::vector<float>& out) { return SbMfNext(static_cast<SbMfReader*>(r), out); },
    [](void* r) { return SbMfRewind(static_cast<SbMfReader*>(r)); },
    [](void* r) { return SbMfLengthHns(static_cast<SbMfReader*>(r)); },
    [](void* r) { SbMfClose(static_cast<SbMfReader*>(r)); },
    SbMfUnload};
