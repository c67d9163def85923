#pragma once

namespace tavrel {

// Keeps the device probing of the audio back ends off the user's terminal:
// on machines without ALSA or JACK it prints dozens of lines. Done through
// the libraries' own log hooks, never by redirecting the process's stderr,
// which other threads may be writing to meanwhile. Any thread; the hooks are
// installed once and stay.
class QuietStderr {
public:
    QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;
};

// Routes ALSA's and JACK's own messages nowhere, for good. Any thread.
void silenceAlsaErrors();

}  // namespace tavrel
