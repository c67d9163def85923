#include "audio/quiet_stderr.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#ifdef TAVREL_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace tavrel {

QuietStderr::QuietStderr() {
    std::fflush(stderr);
    m_saved = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (m_saved >= 0 && null >= 0)
        dup2(null, STDERR_FILENO);
    if (null >= 0)
        close(null);
}

QuietStderr::~QuietStderr() {
    if (m_saved < 0)
        return;
    std::fflush(stderr);
    dup2(m_saved, STDERR_FILENO);
    close(m_saved);
}

#ifdef TAVREL_HAVE_ALSA
namespace {
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

void silenceAlsaErrors() {
    snd_lib_error_set_handler(&ignoreAlsaError);
}
#else
void silenceAlsaErrors() {}
#endif

}  // namespace tavrel
