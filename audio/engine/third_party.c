/* The implementations of miniaudio and stb_vorbis, compiled once, on their own
   and without our warning flags. Their heap use goes through the meter so the
   bench and the tests can see what streaming costs. */
#include <stdlib.h>
#ifdef _WIN32
#include <malloc.h>
#endif
#include "audio/engine/heap_meter.h"

#define MA_MALLOC(sz) SbMeterMalloc(sz)
#define MA_REALLOC(p, sz) SbMeterRealloc((p), (sz))
#define MA_FREE(p) SbMeterFree(p)

#define MINIAUDIO_IMPLEMENTATION
#include "audio/engine/ma_config.h"

#undef STB_VORBIS_HEADER_ONLY
/* MinGW's headers ask for the checked CRT calls, and stb_vorbis then opens
   files with fopen_s, which the msvcrt.dll of Windows XP does not export: the
   DLL would not load there. The plain fopen serves as well. */
#undef __STDC_WANT_SECURE_LIB__
/* Zeroed: when one of the comment strings cannot be allocated, stb_vorbis
   frees the whole comment list, including entries it never set. */
#define malloc(sz) SbMeterMallocZeroed(sz)
#define realloc(p, sz) SbMeterRealloc((p), (sz))
#define free(p) SbMeterFree(p)
#include "stb_vorbis.h"
