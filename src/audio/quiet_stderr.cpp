#include "audio/quiet_stderr.h"

#include <mutex>

#ifdef TAVREL_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#ifdef TAVREL_HAVE_JACK
#include <jack/jack.h>
#endif

namespace tavrel {

namespace {

#ifdef TAVREL_HAVE_ALSA
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif
#ifdef TAVREL_HAVE_JACK
void ignoreJackMessage(const char*) {}
#endif

void installQuietHooks() {
#ifdef TAVREL_HAVE_ALSA
    snd_lib_error_set_handler(&ignoreAlsaError);
#endif
#ifdef TAVREL_HAVE_JACK
    jack_set_error_function(&ignoreJackMessage);
    jack_set_info_function(&ignoreJackMessage);
#endif
}

}  // namespace

QuietStderr::QuietStderr() {
    silenceAlsaErrors();
}

void silenceAlsaErrors() {
    static std::once_flag installed;
    std::call_once(installed, installQuietHooks);
}

}  // namespace tavrel
