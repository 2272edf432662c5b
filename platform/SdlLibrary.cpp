// SDL is loaded when sound is first played or recorded, not when the program starts (it
// links some fifty libraries of its own); see platform/LazyLibrary.h. Where it cannot be
// loaded, starting the audio subsystem fails and SDL_GetError says why.
#include <SDL.h>

#include "platform/LazyLibrary.h"

#define SdlLib "libSDL2-2.0.so.0"

LAZY_FUNCTION(SdlLib, -1, int, SDL_InitSubSystem, (Uint32 flags), (flags))
LAZY_VOID_FUNCTION(SdlLib, SDL_QuitSubSystem, (Uint32 flags), (flags))
LAZY_FUNCTION(SdlLib, 0, Uint32, SDL_WasInit, (Uint32 flags), (flags))
LAZY_FUNCTION(SdlLib, SDL_FALSE, SDL_bool, SDL_SetHint, (const char* name, const char* value), (name, value))
LAZY_FUNCTION(SdlLib, 0, int, SDL_GetNumAudioDevices, (int capture), (capture))
LAZY_FUNCTION(SdlLib, nullptr, const char*, SDL_GetAudioDeviceName, (int index, int capture), (index, capture))
LAZY_FUNCTION(SdlLib, 0, SDL_AudioDeviceID, SDL_OpenAudioDevice,
              (const char* device, int capture, const SDL_AudioSpec* desired, SDL_AudioSpec* obtained, int changes),
              (device, capture, desired, obtained, changes))
LAZY_VOID_FUNCTION(SdlLib, SDL_PauseAudioDevice, (SDL_AudioDeviceID device, int pause), (device, pause))
LAZY_VOID_FUNCTION(SdlLib, SDL_CloseAudioDevice, (SDL_AudioDeviceID device), (device))

extern "C" const char* SDL_GetError(void)
{
    using TFunction = const char* (*)();
    static const TFunction real = reinterpret_cast<TFunction>(LazySymbol(SdlLib, "SDL_GetError"));
    if (real) return real();
    static const std::string why = LazyLoadError(SdlLib);
    return why.c_str();
}
